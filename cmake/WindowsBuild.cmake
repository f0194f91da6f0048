# The 32-bit Windows build (configure with -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake): the
# SDK as drivescout_sdk.dll, the control-point stack, localization, the dictionary tool, the
# discovery tool and their tests. Each folder keeps its sources; its Linux backends are left out
# and those of its windows/ subfolder used instead (ds_add_library). The wizard stays Linux-only.
#
# The dictionary and string table are compiled into the resource module by the build machine's
# own drivescout-dict (DRIVESCOUT_HOST_DICT, from a Linux build of the same tree). The test of
# drivescout-discover.exe runs that build's NAS simulator (DRIVESCOUT_HOST_NAS_SIM) when given.
if(NOT DRIVESCOUT_HOST_DICT)
  message(FATAL_ERROR "Set DRIVESCOUT_HOST_DICT to a drivescout-dict built for this machine")
endif()

find_package(Threads REQUIRED)

# Wide-character Windows calls, Vista's socket calls (inet_ntop, WSAPoll-era headers), and a
# windows.h without min/max macros or the rarely used parts.
add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0600 WINVER=0x0600 WIN32_LEAN_AND_MEAN
                        NOMINMAX)
# The MinGW runtime (libgcc, libstdc++, winpthreads) goes inside each binary; only system DLLs
# and msvcrt.dll are needed beside them.
add_link_options(-static -static-libgcc -static-libstdc++)

add_subdirectory(platform)
add_subdirectory(framework)
add_subdirectory(upnp)
add_subdirectory(sdk)
add_subdirectory(resources)
add_subdirectory(tools/dict)
add_subdirectory(tools/discover)
if(DRIVESCOUT_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()
