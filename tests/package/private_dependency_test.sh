#!/usr/bin/env bash
# private_dependency_test.sh SOURCE WORK: a static library packaged the project's way with a
# private dependency (Highway, as the d3d8 library's rasterizer may link) links into a
# program through find_package(Tolvane) and through pkg-config.
set -euo pipefail
source=$1 work=$2
here=$source/tests/package/private_dependency
fail() { echo "FAIL: $*" >&2; exit 1; }
pkg-config --exists libhwy || { echo "SKIP: Highway (libhwy-dev) is not installed"; exit 77; }

rm -rf "$work"
mkdir -p "$work"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
{
    cmake -S "$here/library" -B "$work/library" "${generator[@]}" -DTOLVANE_SOURCE="$source" &&
        cmake --build "$work/library" && cmake --install "$work/library" --prefix "$work/prefix"
} >"$work/library.log" 2>&1 || { cat "$work/library.log"; fail "the probe library does not build or install"; }
nm "$work/prefix/lib/libtolvane_probe.a" | grep -q ' U .*hwy' || fail "the probe does not use Highway"
{
    cmake -S "$here/consumer" -B "$work/consumer" "${generator[@]}" -DCMAKE_PREFIX_PATH="$work/prefix" &&
        cmake --build "$work/consumer"
} >"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "find_package(Tolvane) does not link Highway"; }
"$work/consumer/consumer" || fail "the program does not run"
flags=$(PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --cflags --libs tolvane-probe)
c++ -o "$work/consumer_pc" "$here/consumer/main.cpp" $flags || fail "pkg-config tolvane-probe does not link Highway"
"$work/consumer_pc" || fail "the pkg-config program does not run"
echo "private dependency: find_package and pkg-config both link Highway ($flags)"
