#!/bin/bash
# Records what every command prints and writes on fixed settings, so that two
# builds of the program can be compared: record_outputs.sh QUILLMARK BUILD_DIR OUT
# writes OUT/NAME.out, OUT/NAME.err and OUT/NAME.rc per case, the files each
# case wrote (images as checksums, pages and JSON as text), the manual page and
# the bash completion. Dates, times and absolute paths are masked.
set -u
program=$(realpath "$1"); build=$(realpath "$2"); out=$3
rm -rf "$out"; mkdir -p "$out"; out=$(realpath "$out")
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
export QUILLMARK_DEVICE=reference
fast=(--object plane --angle 88 --min-filter point --mag-filter point --mip-filter point)

mask() { sed -e "s#$work#WORK#g" -e 's/[0-9]\{4\}-[0-9][0-9]-[0-9][0-9][T ][0-9:]*Z\?/DATE/g' \
             -e 's/ *[0-9]*:[0-9][0-9]:[0-9][0-9]/ TIME/g' -e 's/"seconds": [0-9.e+-]*/"seconds": S/g' \
             -e 's/[0-9.]* s\b/N s/g'; }

# run NAME ARGS...: runs the program in a folder of its own.
run() {
    local name=$1; shift
    local dir=$work/$name; mkdir -p "$dir"
    (cd "$dir" && timeout 600 "$program" "$@" >"$out/$name.out" 2>"$out/$name.err" </dev/null; echo $? >"$out/$name.rc")
    for file in "$out/$name.out" "$out/$name.err"; do mask <"$file" >"$file.m" && mv "$file.m" "$file"; done
    (cd "$dir" && find . -type f | sort | while read -r f; do
        case "$f" in
        *.html|*.json|*.txt) echo "== $f"; mask <"$f" | sed -e 's#data:image/[a-z]*;base64,[A-Za-z0-9+/=]*#DATA#g' ;;
        *) echo "== $f $(md5sum <"$f" | cut -c1-32)" ;;
        esac
    done) >"$out/$name.files"
}

run top-help --help
run top-h -h
run help help
run version --version
for command in render analyze devices compare lod gallery; do
    run "help-$command" help "$command"
    run "usage-$command" "$command" --help
done
run help-bogus help bogus
run help-two help render lod
run bogus-command bogus
run bogus-option --bogus
run render-png render "${fast[@]}" -o frame.png
run render-bmp render --anisotropy 4 --lod-bias -0.7 --object plane --angle 70 -o frame.bmp
run render-tunnel render --faces 12 --checker -3 --tint full --scene-rotation 30 --texture-rotation 45 -o frame.bmp
run render-no-output render
run render-folder render -o .
run render-extension render -o frame.xyz
run render-unknown render --bogus
run render-missing-value render --anisotropy
run render-bad-value render --anisotropy 3
run render-bad-tenths render --lod-bias 0.05
run render-bad-name render --min-filter cubic
run render-out-of-range render --angle 90 -o f.png
run render-output-missing-value render -o
run render-repeated render --angle 10 --angle 20 -o f.png
run render-leftover render extra -o f.png
run render-unknown-device render --device nosuch -o f.png
QUILLMARK_CPU=foo run render-cpu-foo render -o f.png
run devices devices
run devices-json devices --json
run devices-one devices --device reference
run analyze analyze "${fast[@]}" -o out
run analyze-json analyze "${fast[@]}" --json
run analyze-unknown analyze --frobnicate
run lod lod --object plane --angle 60 -o out
run lod-json lod --object plane --angle 60 --json
run compare compare --device reference --device llvmpipe "${fast[@]}" -o out
run compare-json compare --device reference --device llvmpipe --json
run compare-analyze compare --device reference --device llvmpipe "${fast[@]}" --analyze --json
run compare-one compare --device reference
run compare-three compare --device reference --device llvmpipe --device reference
run gallery gallery --device reference
run gallery-unknown gallery --bogus
cp "$build/app/quillmark.1" "$out/quillmark.1" 2>/dev/null
cp "$build/app/quillmark.bash" "$out/quillmark.bash" 2>/dev/null
