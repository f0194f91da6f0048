# Read by cpack before it makes a package. The install rules put the library in the multiarch
# folder and configuration under /etc only when configured for the prefix /usr; a Debian package
# from another build would put files where Debian does not look for them.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_DS_INSTALL_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "Debian packages are made from a build configured with "
                      "-DCMAKE_INSTALL_PREFIX=/usr; this one has ${CPACK_DS_INSTALL_PREFIX}.")
endif()
