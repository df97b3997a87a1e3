#!/usr/bin/env bash
# quillmark on a machine without EGL, OpenGL and Vulkan: none of them is
# linked at load time (ldd), and with them hidden (the preloaded library
# makes dlopen fail) the program starts, renders on the reference device,
# and `devices` says what is missing and fails only for a device named;
# without libOpenGL alone llvmpipe renders through EGL's entry points where
# a driver is there; the desktop program takes --device.
# Usage: without_graphics_libraries.sh QUILLMARK HIDING_LIBRARY
# QUILLMARK_EMULATOR, where set, is the command that runs QUILLMARK here.
set -euo pipefail
# shellcheck disable=SC2206  # the emulator's command is words
quillmark=(${QUILLMARK_EMULATOR:-} "$1")
hiding=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "without graphics libraries: $*" >&2; exit 1; }

# The libraries the loader would load, as ldd lists them.
if linked=$(LD_TRACE_LOADED_OBJECTS=1 "${quillmark[@]}" | grep -E 'lib(EGL|GL|GLX|OpenGL|GLdispatch|vulkan)\.so'); then
  fail "quillmark is linked with graphics libraries at load time: $linked"
fi

export LD_PRELOAD=$hiding
# Sanitizer builds with a shared runtime would insist on coming first.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0

"${quillmark[@]}" render --device reference -o "$work/frame.png" || fail "render on the reference device failed"
[[ -s "$work/frame.png" ]] || fail "render on the reference device wrote no frame"

listing=$("${quillmark[@]}" devices) || fail "devices failed although no device was named"
grep -q '^reference: built-in software rasteriser' <<<"$listing" || fail "devices does not list the reference device: $listing"
for name in gl llvmpipe softpipe; do
  grep -q "^$name: cannot be opened: the EGL library is missing (.*libEGL.so.1.*): install" <<<"$listing" ||
    fail "devices does not say that EGL is missing for $name: $listing"
done

for name in vulkan lavapipe; do
  grep -q "^$name: cannot be opened: the Vulkan loader is missing (.*libvulkan.so.1.*): install" <<<"$listing" ||
    fail "devices does not say that the Vulkan loader is missing for $name: $listing"
done
if "${quillmark[@]}" render --device lavapipe -o "$work/lavapipe.png" 2>"$work/errors"; then
  fail "render on lavapipe succeeded without the Vulkan loader"
fi
grep -q 'the Vulkan loader is missing' "$work/errors" || fail "render on lavapipe gave no reason: $(cat "$work/errors")"

if "${quillmark[@]}" devices --device llvmpipe >"$work/named" 2>&1; then
  fail "devices --device llvmpipe succeeded without EGL"
fi
grep -q 'the EGL library is missing' "$work/named" || fail "devices --device llvmpipe gave no reason: $(cat "$work/named")"
"${quillmark[@]}" devices --device reference >/dev/null || fail "devices --device reference failed"

if "${quillmark[@]}" render --device gl -o "$work/gl.png" 2>"$work/errors"; then
  fail "render on gl succeeded without EGL"
fi
grep -q 'the EGL library is missing' "$work/errors" || fail "render on gl gave no reason: $(cat "$work/errors")"

# Without libOpenGL alone, OpenGL's entry points come through EGL (Mesa's
# offers them all): where llvmpipe works, it works so too.
if env -u LD_PRELOAD "${quillmark[@]}" devices --device llvmpipe >/dev/null 2>&1; then
  HIDDEN_LIBRARIES=libOpenGL "${quillmark[@]}" render --device llvmpipe -o "$work/llvmpipe.png" ||
    fail "render on llvmpipe without libOpenGL failed"
  [[ -s "$work/llvmpipe.png" ]] || fail "render on llvmpipe without libOpenGL wrote no frame"
fi

# The desktop program takes --device too: an unknown name is a usage error,
# a known one goes on to ask for a display.
if env -u DISPLAY -u WAYLAND_DISPLAY "${quillmark[@]}" --device no-such-device 2>"$work/errors"; then
  fail "quillmark --device no-such-device succeeded"
fi
grep -q 'unknown device "no-such-device"' "$work/errors" || fail "--device no-such-device: $(cat "$work/errors")"
env -u DISPLAY -u WAYLAND_DISPLAY "${quillmark[@]}" --device=reference 2>"$work/errors" && fail "the desktop program started without a display"
grep -q 'no display is set' "$work/errors" || fail "--device=reference without a display: $(cat "$work/errors")"
