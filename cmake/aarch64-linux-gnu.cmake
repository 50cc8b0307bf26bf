# Cross build for arm64 Linux with Debian's cross compiler (g++-aarch64-linux-gnu) against
# the arm64 libraries installed through multiarch (libsdl2-dev:arm64 ...), which live in
# /usr/lib/aarch64-linux-gnu beside the host's. Programs and tests run under qemu-user.
# scripts/test-arm64 installs all of it and uses this file.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# find_library and find_package look in /usr/lib/aarch64-linux-gnu (and its cmake/ folder),
# never in the host's /usr/lib/x86_64-linux-gnu.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# pkg-config reads the arm64 .pc files only (there is no cross pkg-config wrapper in the
# plain pkg-config package).
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# CTest and gtest_discover_tests run the arm64 programs through qemu-user, which finds the
# arm64 loader and libraries where multiarch put them (/lib/ld-linux-aarch64.so.1,
# /usr/lib/aarch64-linux-gnu), as on an arm64 machine.
find_program(TOLVANE_QEMU_AARCH64 qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${TOLVANE_QEMU_AARCH64}")
