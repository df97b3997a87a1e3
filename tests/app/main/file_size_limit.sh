#!/usr/bin/env bash
# The program under a file size limit (ulimit -f): a frame too large to write
# is reported in words with exit status 1, not ended by SIGXFSZ, and no
# partial file is left in its place.
# Usage: file_size_limit.sh PROGRAM
# QUILLMARK_EMULATOR, where set, is the command that runs the build's programs here.
set -uo pipefail
program=$1
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
fail() { echo "file size limit test: $*" >&2; exit 1; }

# 800 x 600 x 3 bytes of frame against a limit of 64 KiB.
message=$( (ulimit -f 64; ${QUILLMARK_EMULATOR:-} "$program" render -o "$folder/frame.bmp") 2>&1)
status=$?
((status == 1)) || fail "exit status $status (128 + a signal's number when a signal ended it); said: $message"
[[ $message == *"larger than this process may write"* ]] || fail "the message does not give the reason: $message"
[[ ! -e "$folder/frame.bmp" ]] || fail "a partial frame.bmp ($(stat -c %s "$folder/frame.bmp") bytes) was left behind"
echo "file size limit test: passed ($message)"
