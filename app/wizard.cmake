# The Qt wizard: library ds_app (everything of the wizard but main), the drivescout program with
# its artwork and desktop integration, and the artwork drawing tool.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

set(DS_APP_SOURCES
  app_globals.cpp
  artwork.cpp
  base_disc_dlg.cpp
  command_line_info.cpp
  device_disc_dlg.cpp
  device_login_dlg.cpp
  dialog_templates.cpp
  dialog_units.cpp
  disc_done_dlg.cpp
  drive_scout_app.cpp
  drive_scout_dlg.cpp
  language_choice.cpp
  load_text.cpp
  static_control.cpp
  tkx_win_app.cpp
  window_snapshot.cpp
  window_timers.cpp
  wizard_event_log.cpp
)
list(TRANSFORM DS_APP_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)

add_library(ds_app STATIC ${DS_APP_SOURCES})
target_include_directories(ds_app PUBLIC ${PROJECT_SOURCE_DIR})
# The compiled-in string table and dictionary come from ds_resources (resources/, configured
# after this folder, hence the generator expression).
target_link_libraries(ds_app PUBLIC Qt6::Widgets ds_nas ds_sdk ds_framework ds_platform
                                    $<TARGET_NAME_IF_EXISTS:ds_resources>)

set(DS_ARTWORK_DIR ${PROJECT_SOURCE_DIR}/resources/artwork)
set(DS_ICON_SIZES 256 128 64 48 32 24 16)
set(DS_ARTWORK_FILES logo.png check.png cross.png exclamation.png device.png drive.png)
foreach(size ${DS_ICON_SIZES})
  list(APPEND DS_ARTWORK_FILES icon-${size}.png)
endforeach()
list(TRANSFORM DS_ARTWORK_FILES PREPEND ${DS_ARTWORK_DIR}/ OUTPUT_VARIABLE DS_ARTWORK_PATHS)
qt_add_resources(ds_app ds_artwork PREFIX /artwork BASE ${DS_ARTWORK_DIR}
                 FILES ${DS_ARTWORK_PATHS})

# The program. It exports the SDK's C functions, so the whole SDK archive goes in: ds_sdk comes
# through ds_app and ds_nas, and the override links that one occurrence with WHOLE_ARCHIVE (a
# second, direct $<LINK_LIBRARY:WHOLE_ARCHIVE,ds_sdk> would put the archive in twice).
add_executable(drivescout ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
set_target_properties(drivescout PROPERTIES
  ENABLE_EXPORTS ON
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
  LINK_LIBRARY_OVERRIDE_ds_sdk WHOLE_ARCHIVE)
target_link_libraries(drivescout PRIVATE ds_app)
target_compile_definitions(drivescout PRIVATE DRIVESCOUT_VERSION="${PROJECT_VERSION}")

include(GNUInstallDirs)
install(TARGETS drivescout RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT wizard)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/drivescout.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT wizard)
foreach(size ${DS_ICON_SIZES})
  install(FILES ${DS_ARTWORK_DIR}/icon-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME drivescout.png COMPONENT wizard)
endforeach()

# Draws the artwork files again after a drawing changed: drivescout-artwork resources/artwork
add_executable(drivescout-artwork ${PROJECT_SOURCE_DIR}/tools/artwork/make_artwork.cpp)
target_link_libraries(drivescout-artwork PRIVATE Qt6::Gui)
set_target_properties(drivescout-artwork PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
