#!/usr/bin/env bash
# deb_test.sh BUILD WORK: builds the Debian package with CPack from BUILD and checks that
# it holds the headers, libraries, CMake and pkg-config files, programs and game data, and
# depends on the runtime packages.
set -euo pipefail
build=$1 work=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v dpkg-deb >/dev/null || { echo "SKIP: dpkg-deb is not installed"; exit 77; }

rm -rf "$work"
mkdir -p "$work"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
debs=("$work"/tolvane_*.deb)
[ -f "${debs[0]}" ] || fail "no tolvane_*.deb in $work"
deb=${debs[0]}
dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/contents.txt"
for f in ./usr/include/tolvane/texture/texture.h ./usr/include/tolvane/platform/d3d8/d3d8.h \
         ./usr/include/tolvane/image/result_name.h ./usr/include/tolvane/app/app_frame.h \
         ./usr/include/tolvane/compat/windows.h ./usr/include/tolvane/compat/d3d8.h \
         ./usr/lib/cmake/Tolvane/TolvaneConfig.cmake ./usr/lib/cmake/Tolvane/TolvaneConfigVersion.cmake \
         ./usr/lib/cmake/Tolvane/TolvaneTargets.cmake ./usr/lib/pkgconfig/tolvane-texture.pc \
         ./usr/share/tolvane/Textures/corridor1.jpg ./usr/share/tolvane/Textures/vehicleshine1.jpg \
         ./usr/bin/tolvane ./usr/bin/tolvane-capture ./usr/bin/tolvane-tex; do
    grep -qxF "$f" "$work/contents.txt" || fail "the package has no $f"
done
for layer in math simd image texture d3d8 win32 app; do
    grep -Eq "^\./usr/lib/libtolvane_$layer\.(a|so)$" "$work/contents.txt" || fail "the package has no $layer library"
    grep -qxF "./usr/lib/pkgconfig/tolvane-$layer.pc" "$work/contents.txt" || fail "no tolvane-$layer.pc"
done
# Nothing of the build tree: no tests, no build paths.
! grep -Eq '_tests$|/build/' "$work/contents.txt" || fail "test programs or build files in the package"
depends=$(dpkg-deb -f "$deb" Depends)
for p in libsdl2-2.0-0 libjpeg62-turbo libpng16-16 libstdc++6; do
    [[ ", $depends," == *", $p"[,\ ]* ]] || fail "Depends lacks $p: $depends"
done
echo "$(basename "$deb"): $(wc -l <"$work/contents.txt") entries; Depends: $depends"
