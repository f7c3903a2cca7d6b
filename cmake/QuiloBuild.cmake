# Build speed: ccache when present, and precompiled headers shared by every target.
#
# Each target reuses a precompiled header (Qt Core, or Qt Core + Gui + Widgets for what links
# the widgets) built once per build tree, instead of parsing the Qt headers again for each of
# its files. GCC takes a reused header only when the flags and the macros it was made with
# match; they do inside one build tree. The fuzzers' build instruments some libraries and not
# others, so it does without.

option(QUILO_PCH "Use precompiled headers" ON)
if(QUILO_FUZZ)
  set(QUILO_PCH OFF)
endif()

find_program(QUILO_CCACHE ccache)
if(QUILO_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER AND NOT DEFINED ENV{CMAKE_CXX_COMPILER_LAUNCHER})
  # without this sloppiness ccache declines every file built with a precompiled header
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env
    CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime ${QUILO_CCACHE})
endif()

if(QUILO_PCH)
  foreach(kind core widgets)
    if(kind STREQUAL "core")
      set(qt Qt6::Core)
    else()
      set(qt Qt6::Widgets)
    endif()
    add_library(quilo_pch_${kind} OBJECT ${PROJECT_SOURCE_DIR}/cmake/pch.cpp)
    target_link_libraries(quilo_pch_${kind} PRIVATE ${qt} quilo_warnings)
    target_include_directories(quilo_pch_${kind} PRIVATE ${PROJECT_SOURCE_DIR}/cmake)
    target_precompile_headers(quilo_pch_${kind} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/pch_${kind}.h)
    set_target_properties(quilo_pch_${kind} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  endforeach()
endif()

# True in `out` when `target` links Qt Widgets, directly or through the project's libraries.
function(_quilo_links_widgets target out)
  set(${out} FALSE PARENT_SCOPE)
  set(pending ${target})
  set(seen)
  while(pending)
    list(POP_FRONT pending current)
    if(current IN_LIST seen OR NOT TARGET ${current})
      continue()
    endif()
    list(APPEND seen ${current})
    if(current STREQUAL "Qt6::Widgets")
      set(${out} TRUE PARENT_SCOPE)
      return()
    endif()
    get_target_property(imported ${current} IMPORTED)
    if(imported)
      continue()
    endif()
    get_target_property(direct ${current} LINK_LIBRARIES)
    get_target_property(interface ${current} INTERFACE_LINK_LIBRARIES)
    foreach(lib IN LISTS direct interface)
      if(lib AND NOT lib MATCHES "NOTFOUND|^\\$<")
        list(APPEND pending ${lib})
      endif()
    endforeach()
  endwhile()
endfunction()

# quilo_use_pch(dir...): every library and program defined in those folders starts its files
# from the shared precompiled header that fits it.
function(quilo_use_pch)
  if(NOT QUILO_PCH)
    return()
  endif()
  foreach(dir IN LISTS ARGN)
    get_directory_property(targets DIRECTORY ${dir} BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(NOT type MATCHES "EXECUTABLE|STATIC_LIBRARY|OBJECT_LIBRARY|SHARED_LIBRARY")
        continue()
      endif()
      _quilo_links_widgets(${target} widgets)
      if(widgets)
        target_precompile_headers(${target} REUSE_FROM quilo_pch_widgets)
      else()
        target_precompile_headers(${target} REUSE_FROM quilo_pch_core)
      endif()
    endforeach()
  endforeach()
endfunction()
