# cmake -DFILES=<a;b;...> [-DLIBRARIES=<regex>] -P linked_libraries.cmake: fails when any of the
# files needs, directly or through another library, a library whose name matches LIBRARIES (by
# default the SMB client, Samba, libsecret or GIO). Those are opened on first use, so that a
# program which does not use them does not load them.
if(NOT DEFINED LIBRARIES)
  set(LIBRARIES "smbclient|samba|secret|gio-2|gobject-2|glib-2")
endif()
foreach(file ${FILES})
  execute_process(COMMAND ldd ${file} OUTPUT_VARIABLE libraries RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "ldd ${file} failed")
  endif()
  string(REGEX MATCHALL "[^\n\t ]*(${LIBRARIES})[^\n\t ]*" found "${libraries}")
  if(found)
    list(REMOVE_DUPLICATES found)
    message(FATAL_ERROR "${file} needs ${found}")
  endif()
  message(STATUS "${file}: none of them")
endforeach()
