#!/usr/bin/env bash
# capture_test.sh PREFIX BUILD_CAPTURE SOURCE WORK: the installed tolvane-capture, started
# from a directory with no Textures folder, draws the same frame as the build's capture
# tool started from the repository root, and that frame is not blank.
set -euo pipefail
prefix=$1 build_capture=$2 source=$3 work=$4
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v identify >/dev/null || { echo "SKIP: ImageMagick's identify is not installed"; exit 77; }

rm -rf "$work"
mkdir -p "$work/elsewhere"
(cd "$work/elsewhere" && "$prefix/bin/tolvane-capture" --frames 12 --shot "10:$work/installed.png") ||
    fail "the installed tolvane-capture failed"
(cd "$source" && "$build_capture" --frames 12 --shot "10:$work/reference.png") || fail "tolvane-capture failed"
colours=$(identify -format %k "$work/installed.png")
[ "$colours" -gt 500 ] || fail "the installed game's frame has only $colours colours"
cmp -s "$work/installed.png" "$work/reference.png" ||
    fail "the installed game draws another frame (textures not found?)"
echo "installed capture: $colours colours, same frame as from the repository"
