# Which tests run under Wine. Every test of these folders runs unless excluded below, each for
# its reason; what the excluded ones check is tested on Linux only.
#
# Their helpers are POSIX-only (fork, socketpair, eventfd, setenv, mkdtemp, the HTTP fixture, starting
# the Linux NAS simulator or Samba from inside the test), or they test a Linux backend:
set(posix_helpers
  async_server_socket_test async_socket_test async_udp_socket_test chain_test control_point_test
  local_addresses_test ssdp_client_test web_client_test web_server_test
  discovery_integration_test share_mapping_test dictionary_cli_test
  resource_file_localization_test)
set(linux_backends
  credential_store_test smb_network_provider_test system_language_test user_store_test
  workstation_test gvfs_mount_test optional_libraries_test)

ds_add_windows_tests(framework LIBRARIES ds_framework EXCLUDE ${posix_helpers})
ds_add_windows_tests(upnp LIBRARIES ds_upnp EXCLUDE ${posix_helpers})
# The SDK's tests run with the in-memory network provider they install themselves; the desktop
# session's tests need D-Bus, GVfs and a Secret Service of a Linux desktop.
ds_add_windows_tests(sdk LIBRARIES ds_sdk EXCLUDE ${posix_helpers} desktop_session_test)
# code_page_test pins the Linux backend's answers for bytes that do not convert (U+FFFD); the
# system maps some of them otherwise (0x81 in 1252 to U+0081, a lone lead byte in 932 to U+30FB,
# a bad trail byte in 936 to "?"), and the Windows backend gives the system's answer.
ds_add_windows_tests(platform LIBRARIES ds_platform EXCLUDE ${linux_backends} code_page_test)
ds_add_windows_tests(resources LIBRARIES ds_resources ds_framework)
ds_add_windows_tests(tools/dict LIBRARIES ds_dict EXCLUDE ${posix_helpers})

# The Windows backends themselves: the DLL's exports, the registry store and credential manager
# for real, and the WNet provider where Wine only stubs it.
ds_add_windows_tests(windows LIBRARIES ds_sdk)
add_dependencies(test_windows_sdk_dll_test drivescout_sdk)

# drivescout-discover.exe against the Linux build's NAS simulator in the same namespace.
if(DRIVESCOUT_HOST_NAS_SIM)
  add_test(NAME windows_discover_finds_simulator
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/discover-under-wine ${wine_test}
                   $<TARGET_FILE:drivescout-discover> ${DRIVESCOUT_HOST_NAS_SIM})
  set_tests_properties(windows_discover_finds_simulator PROPERTIES TIMEOUT 120 LABELS windows
                       SKIP_RETURN_CODE 77)
endif()
