#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user gets: the
# program, the desktop entry (desktop-file-validate where installed), the
# icon (a scalable SVG), the manual page
# (groff renders it without a warning and it names every command and flag
# --help names) and the bash completion (it completes commands, flags and
# their values).
# Usage: install_test.sh BUILD_DIR
# QUILLMARK_EMULATOR, where set, is the command that runs the build's programs here.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
# scripts/run builds only the program: that must be enough for the install.
if [[ -f "$build/build.ninja" ]]; then
  [[ $(ninja -C "$build" -t commands app/quillmark) == *quillmark-write-docs* ]] ||
    fail "building app/quillmark alone does not write the manual page and completion cmake --install needs"
fi
program="$prefix/bin/quillmark"
desktop="$prefix/share/applications/quillmark.desktop"
manual="$prefix/share/man/man1/quillmark.1"
completion="$prefix/share/bash-completion/completions/quillmark"
for file in "$program" "$desktop" "$manual" "$completion"; do
  [[ -f "$file" ]] || fail "${file#"$prefix"/} was not installed"
done
[[ -x "$program" ]] || fail "bin/quillmark is not executable"

# The desktop entry.
grep -qx 'Categories=Graphics;Development;' "$desktop" || fail "the desktop entry's categories are not Graphics;Development;"
grep -qx 'Exec=quillmark' "$desktop" || fail "the desktop entry does not start quillmark"
icon=$(sed -n 's/^Icon=//p' "$desktop")
if command -v desktop-file-validate >/dev/null; then
  errors=$(desktop-file-validate "$desktop" 2>&1 | grep -v ': hint: ' || true)
  [[ -z "$errors" ]] || fail "desktop-file-validate: $errors"
else
  echo "install test: desktop-file-validate is not installed; the entry was checked by hand only"
fi
# The icon: scalable, an SVG document (scripts/gui-smoke checks that the
# windows show it on a transparent ground).
svg="$prefix/share/icons/hicolor/scalable/apps/$icon.svg"
[[ -f "$svg" ]] || fail "no scalable icon named $icon"
if command -v xmllint >/dev/null; then
  [[ $(xmllint --xpath 'local-name(/*)' "$svg") == "svg" ]] || fail "$svg is not an SVG document"
  [[ -n $(xmllint --xpath 'string(/*/@viewBox)' "$svg") ]] || fail "$svg has no viewBox, so it does not scale"
fi

# The manual page renders cleanly and agrees with --help.
if command -v groff >/dev/null; then
  warnings=$(groff -ww -z -man "$manual" 2>&1 || true)
  [[ -z "$warnings" ]] || fail "groff warns about the manual page: $warnings"
fi
page=$(sed 's/\\-/-/g; s/\\f[BIRP]//g' "$manual")
help=$(${QUILLMARK_EMULATOR:-} "$program" --help)
words=$(grep -oE -- '(^| )--?[a-z][a-z-]*' <<<"$help" | tr -d ' ' | sort -u)
commands=$(awk '/^Commands:/ { on = 1; next } on && /^  [a-z]/ { print $1 } /^$/ { on = 0 }' <<<"$help")
[[ -n "$commands" ]] || fail "--help lists no commands"
for word in $words $commands; do
  grep -qe "$word" <<<"$page" || fail "the manual page does not mention $word, which --help does"
done
for flag in $(grep -oE -- '--[a-z][a-z-]*' <<<"$page" | sort -u); do
  grep -qe "$flag" <<<"$help" || fail "the manual page names $flag, which --help does not"
done

# Every document the manual page names is installed where it says.
for document in $(grep -oE 'docs/[a-z-]+\.md' <<<"$page" | sort -u); do
  [[ -f "$prefix/share/doc/quillmark/$document" ]] || fail "the manual page names $document, which was not installed"
done
[[ -f "$prefix/share/doc/quillmark/README.md" ]] || fail "README.md was not installed"

# The completion: ask it as bash would.
complete_words() {  # the words typed so far, the last one being completed
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _quillmark; echo "${COMPREPLY[*]}"' \
    _ "$completion" "$@"
}
for command in $commands; do
  [[ " $(complete_words quillmark "") " == *" $command "* ]] || fail "completion does not offer the command $command"
done
[[ $(complete_words quillmark analyze --min-filter "") == "point linear anisotropic" ]] ||
  fail "completion does not offer the filters after --min-filter"
[[ $(complete_words quillmark render --ti) == "--tint" ]] || fail "completion does not complete --ti to --tint"
[[ " $(complete_words quillmark analyze --) " == *" --json "* ]] || fail "completion does not offer analyze's --json"
[[ " $(complete_words quillmark render --) " != *" --json "* ]] || fail "completion offers --json to render"
[[ $(complete_words quillmark help an) == "analyze" ]] || fail "completion does not offer commands after help"
# A command on files has options of its own, some named like settings flags, and no settings flags.
[[ $(complete_words quillmark convert in.png out.dds --mip-filter "") == "none point linear triangle box" ]] ||
  fail "completion does not offer convert's filters after its --mip-filter"
[[ $(complete_words quillmark analyze --mip-filter "") != "none point linear triangle box" ]] ||
  fail "completion offers convert's filters after analyze's --mip-filter setting"
[[ " $(complete_words quillmark convert in.png --) " == *" --mips "* ]] || fail "completion does not offer convert's --mips"
[[ " $(complete_words quillmark convert in.png --) " != *" --tint "* ]] || fail "completion offers settings flags to convert"
echo "install test: passed ($prefix)"
