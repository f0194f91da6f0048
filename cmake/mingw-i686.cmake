# Toolchain for the 32-bit Windows build: Debian's MinGW-w64 cross compiler in its POSIX-thread
# flavour (std::thread and std::mutex need it), runtime linked statically so that the programs
# and drivescout_sdk.dll need no MinGW DLL beside them.
#
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
#         -DDRIVESCOUT_HOST_DICT=build/drivescout-dict
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(DRIVESCOUT_WINDOWS ON CACHE BOOL "Build for 32-bit Windows" FORCE)
