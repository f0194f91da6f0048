# Installing the SDK for other programs: the shared library (component "sdk"); the headers, the
# pkg-config file, the CMake package config and the example's source (component "sdk-dev").
#   cmake --install build --prefix /usr --component sdk
#   cmake --install build --prefix /usr --component sdk-dev
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(sdk_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/DriveScoutSDK)

# The real file and its soname link belong to the run-time component; the unversioned name that
# the linker looks for belongs to the development one.
install(TARGETS drivescout_sdk EXPORT DriveScoutSDKTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sdk NAMELINK_COMPONENT sdk-dev)

install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/include/drivescout/sdk.h
              ${CMAKE_CURRENT_SOURCE_DIR}/include/drivescout/lbstring.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/drivescout COMPONENT sdk-dev)

file(RELATIVE_PATH pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/drivescout-sdk.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/drivescout-sdk.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/drivescout-sdk.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT sdk-dev)

install(EXPORT DriveScoutSDKTargets NAMESPACE DriveScout:: DESTINATION ${sdk_cmake_dir}
  COMPONENT sdk-dev)
configure_package_config_file(${CMAKE_CURRENT_SOURCE_DIR}/DriveScoutSDKConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/DriveScoutSDKConfig.cmake INSTALL_DESTINATION ${sdk_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/DriveScoutSDKConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/DriveScoutSDKConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/DriveScoutSDKConfigVersion.cmake
  DESTINATION ${sdk_cmake_dir} COMPONENT sdk-dev)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/sdk_discover
  DESTINATION ${CMAKE_INSTALL_DATADIR}/drivescout-sdk/examples COMPONENT sdk-dev)
