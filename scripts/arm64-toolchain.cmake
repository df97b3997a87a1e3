# Cross-builds for arm64 with Debian's cross compiler (g++-aarch64-linux-gnu)
# against the arm64 development packages installed through multiarch
# (scripts/bootstrap arm64). Programs built here run under qemu-user: ctest
# runs the tests through it, and the build runs its helper programs through
# it.
# Usage: cmake -DCMAKE_TOOLCHAIN_FILE=scripts/arm64-toolchain.cmake ...
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# The static emulator: environment variables such as LD_PRELOAD reach the
# arm64 program only, never the emulator itself.
find_program(QUILLMARK_QEMU_AARCH64 qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLMARK_QEMU_AARCH64})

# Libraries and headers are the arm64 ones multiarch puts under
# /usr/lib/aarch64-linux-gnu; pkg-config reads only their descriptions.
# Programs (glslc, pkg-config) are the build machine's own.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
