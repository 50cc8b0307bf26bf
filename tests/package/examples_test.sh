#!/usr/bin/env bash
# examples_test.sh PREFIX EXAMPLES WORK CORPUS: copies each example out of the source tree,
# builds it against the installed package in PREFIX alone, and runs it: the DDS writer on a
# corpus JPEG, the folder decoder on its output and on corpus files, the cube headless, the
# program written for Windows headless. The folder decoder and the Windows program are
# built once more with pkg-config and no CMake.
set -euo pipefail
prefix=$1 examples=$2 work=$3 corpus=$4
source_root=$(cd "$examples/.." && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }
command -v identify >/dev/null || { echo "SKIP: ImageMagick's identify is not installed"; exit 77; }
for f in "$corpus/jpeg/libjpeg-turbo/testorig.jpg" "$corpus/tga/pillow"; do
    [ -e "$f" ] || fail "no corpus file at $f"
done

rm -rf "$work"
mkdir -p "$work"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
for ex in mip_chain_dds decode_folder spinning_cube windows_program; do
    cp -r "$examples/$ex" "$work/src-$ex"
    if ! cmake -S "$work/src-$ex" -B "$work/build-$ex" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$work/$ex.log" 2>&1 ||
       ! cmake --build "$work/build-$ex" >>"$work/$ex.log" 2>&1; then
        cat "$work/$ex.log"
        fail "$ex does not build against $prefix"
    fi
    for layer in math simd image texture platform app; do
        if grep -rqs -- "$source_root/$layer" "$work/build-$ex/CMakeFiles" "$work/build-$ex"/*.ninja \
             "$work/build-$ex/Makefile"; then
            fail "$ex reaches into the source tree ($source_root/$layer)"
        fi
    done
done
bin_mip=$work/build-mip_chain_dds/mip_chain_dds
bin_decode=$work/build-decode_folder/decode_folder
bin_cube=$work/build-spinning_cube/spinning_cube
bin_windows=$work/build-windows_program/windows_program

# (1) A JPEG into a DXT1 mip chain; the levels halve down to 1x1.
out=$work/out
mkdir -p "$out"
"$bin_mip" "$corpus/jpeg/libjpeg-turbo/testorig.jpg" "$out/testorig.dds" DXT1 >"$work/mip.txt" ||
    fail "mip_chain_dds failed: $(cat "$work/mip.txt")"
[ "$(head -c 4 "$out/testorig.dds")" = "DDS " ] || fail "no DDS magic"
[ "$(dd if="$out/testorig.dds" bs=1 skip=84 count=4 status=none)" = "DXT1" ] || fail "the DDS is not DXT1"
levels=$(grep -c '^level ' "$work/mip.txt")
read -r width height < <(sed -n 's/^level 0: \([0-9]*\)x\([0-9]*\)$/\1 \2/p' "$work/mip.txt")
grep -q "^level $((levels - 1)): 1x1$" "$work/mip.txt" || fail "the chain does not end at 1x1: $(cat "$work/mip.txt")"
# A file that is no image: the error is named.
echo "not an image" >"$out/notes.txt"
if "$bin_mip" "$out/notes.txt" "$work/x.dds" 2>"$work/mip.err"; then fail "a text file made a texture"; fi
grep -q "ERR_INVALID_DATA" "$work/mip.err" || fail "no result name in: $(cat "$work/mip.err")"

# (2) The folder decoder reads the DDS back with its size and levels, and names the failure.
"$bin_decode" "$out" >"$work/table.txt" || fail "decode_folder failed on $out"
grep -Eq "^testorig\.dds +$width +$height +$levels +1 +DXT1 +S_OK$" "$work/table.txt" ||
    fail "the DDS row is not ${width}x${height}, $levels levels, DXT1: $(cat "$work/table.txt")"
grep -Eq "^notes\.txt .*ERR_INVALID_DATA" "$work/table.txt" || fail "the text file's row: $(cat "$work/table.txt")"
# Every file of a corpus folder has its row; the count line agrees with the rows.
folder=$corpus/tga/pillow
files=$(find "$folder" -maxdepth 1 -type f | wc -l)
"$bin_decode" "$folder" >"$work/corpus.txt" || fail "decode_folder decoded nothing in $folder"
rows=$(($(wc -l <"$work/corpus.txt") - 2))
[ "$rows" -eq "$files" ] || fail "$rows rows for $files files"
ok=$(grep -Ec ' S_OK$' "$work/corpus.txt")
grep -q "^$ok of $files files decoded$" "$work/corpus.txt" || fail "count line: $(tail -1 "$work/corpus.txt")"
# The same program through pkg-config, without CMake.
flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs tolvane-image) ||
    fail "pkg-config tolvane-image"
libdir=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --variable=libdir tolvane-image)
c++ -O1 -o "$work/decode_folder_pc" "$examples/decode_folder/main.cpp" $flags -Wl,-rpath,"$libdir" ||
    fail "pkg-config build"
"$work/decode_folder_pc" "$folder" | cmp -s - "$work/corpus.txt" || fail "the pkg-config build prints another table"

# (3) The cube, headless: a picture with many colours, and it turns between frames.
(cd "$work" && "$bin_cube" --headless --frames 10 --shot cube10.png >/dev/null) || fail "spinning_cube failed"
(cd "$work" && "$bin_cube" --headless --frames 20 --shot cube20.png >/dev/null) || fail "spinning_cube failed"
colours=$(identify -format %k "$work/cube20.png")
[ "$colours" -gt 200 ] || fail "the cube picture has only $colours colours"
! cmp -s "$work/cube10.png" "$work/cube20.png" || fail "the cube does not turn"
# (4) The program written for Windows, headless by its environment: the window sized with
# AdjustWindowRect has the client area it asked for, the device found through
# LoadLibrary("d3d8.dll") presented the frames, and the front buffer has the last colour.
check_windows() {
    local out=$1
    grep -qx "client 320x240" "$out" || fail "the Windows program's client area: $(cat "$out")"
    grep -qx "frames 12 in [0-9]* ms" "$out" || fail "the Windows program's frames: $(cat "$out")"
    read -r cleared read_back < <(sed -n 's/^cleared 0x\([0-9a-f]*\) read 0x\([0-9a-f]*\)$/\1 \2/p' "$out")
    [ -n "$cleared" ] && [ "${cleared:2}" = "${read_back:2}" ] && [ "$cleared" != "00000000" ] ||
        fail "the Windows program's frame is not its colour: $(cat "$out")"
}
TOLVANE_HEADLESS=1 "$bin_windows" 12 >"$work/windows.txt" || fail "windows_program failed: $(cat "$work/windows.txt")"
check_windows "$work/windows.txt"
flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs tolvane-d3d8) || fail "pkg-config tolvane-d3d8"
libdir=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --variable=libdir tolvane-d3d8)
c++ -O1 -o "$work/windows_program_pc" "$examples/windows_program/main.cpp" $flags -Wl,-rpath,"$libdir" ||
    fail "pkg-config build of windows_program"
TOLVANE_HEADLESS=1 "$work/windows_program_pc" 12 >"$work/windows_pc.txt" || fail "windows_program (pkg-config) failed"
check_windows "$work/windows_pc.txt"

echo "examples: ${width}x${height} DXT1 with $levels levels, $ok of $files corpus files, cube with $colours colours"
