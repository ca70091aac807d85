# Cross build for 64-bit big-endian IBM Z (s390x), run through qemu-user.
# Debian packages: g++-s390x-linux-gnu qemu-user.
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_C_COMPILER s390x-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)
# Static, so the emulator needs no target libraries at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x)

# The target's static zlib, unpacked (never installed: a multiarch install can
# conflict with the host's) by `sh cmake/unpack_target_zlib.sh s390x build-deps/s390x`.
set(CMAKE_FIND_ROOT_PATH /usr/s390x-linux-gnu ${CMAKE_CURRENT_LIST_DIR}/../build-deps/s390x)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
