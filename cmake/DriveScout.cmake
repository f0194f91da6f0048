# ds_add_library(<target> [POSIX_ONLY <files...>]): one static library per source folder, made of
# the folder's own .cpp files (subfolders that are libraries of their own are not included). In
# the Windows build the files named after POSIX_ONLY (the Linux backends) are left out and the
# backends of the folder's windows/ subfolder take their place.
function(ds_add_library target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "POSIX_ONLY")
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(DRIVESCOUT_WINDOWS)
    foreach(name ${arg_POSIX_ONLY})
      list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${name})
    endforeach()
    file(GLOB windows_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/*.cpp)
    list(APPEND sources ${windows_sources})
  endif()
  if(NOT sources)
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    return()
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# ds_link(<target> <deps...>): link PUBLIC for static libraries, INTERFACE for empty ones.
function(ds_link target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(${target} INTERFACE ${ARGN})
  else()
    target_link_libraries(${target} PUBLIC ${ARGN})
  endif()
endfunction()
