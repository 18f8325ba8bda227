# The time query and the libraries beneath it are standard C++ only: they build where no Qt
# exists. tempomere_standard_cpp_only(target) keeps that true in two ways:
#  - when the project is generated, the target's links (followed through every library it
#    links) must name no Qt target;
#  - before the library is built, and again whenever one of its sources changes, its sources
#    must include no Qt header and use no Qt macro (cmake/CheckNoQtSources.cmake).

# Follows the links of `target` depth first; `out` is the first chain that reaches Qt, empty
# when none does. `seen` (a global property) stops at libraries already walked, cycles included.
function(_tempomere_find_qt_link target chain out)
  set(${out} "" PARENT_SCOPE)
  get_property(seen GLOBAL PROPERTY _tempomere_seen)
  if(NOT TARGET ${target} OR target IN_LIST seen)
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY _tempomere_seen ${target})
  get_target_property(aliased ${target} ALIASED_TARGET)
  if(aliased)
    set(target ${aliased})
  endif()
  get_target_property(type ${target} TYPE)
  set(links)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(direct ${target} LINK_LIBRARIES)
    if(direct)
      list(APPEND links ${direct})
    endif()
  endif()
  get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
  if(interface)
    list(APPEND links ${interface})
  endif()
  foreach(link ${links})
    if(link MATCHES "^Qt[0-9]*::" OR link MATCHES "(^|/)libQt[0-9]")
      set(${out} "${chain} -> ${link}" PARENT_SCOPE)
      return()
    endif()
    _tempomere_find_qt_link(${link} "${chain} -> ${link}" found)
    if(found)
      set(${out} "${found}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()

function(_tempomere_check_links target)
  set_property(GLOBAL PROPERTY _tempomere_seen "")
  _tempomere_find_qt_link(${target} ${target} found)
  if(found)
    message(FATAL_ERROR "${target} must be standard C++ only, but it links Qt: ${found}")
  endif()
endfunction()

function(tempomere_standard_cpp_only target)
  set_target_properties(${target} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  # Checked once every folder has added its links. A deferred call's arguments are read when it
  # runs, so the target's name is written into it now.
  cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]] CALL \
    _tempomere_check_links [[${target}]])")
  get_target_property(sources ${target} SOURCES)
  get_target_property(dir ${target} SOURCE_DIR)
  set(paths)
  foreach(s ${sources})
    if(IS_ABSOLUTE ${s})
      list(APPEND paths ${s})
    else()
      list(APPEND paths ${dir}/${s})
    endif()
  endforeach()
  string(REPLACE ";" "|" joined "${paths}")
  set(stamp ${CMAKE_BINARY_DIR}/standard-cpp-only/${target}.checked)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} "-DTARGET=${target}" "-DSOURCES=${joined}" "-DSTAMP=${stamp}" -P
            ${PROJECT_SOURCE_DIR}/cmake/CheckNoQtSources.cmake
    DEPENDS ${paths} ${PROJECT_SOURCE_DIR}/cmake/CheckNoQtSources.cmake
    COMMENT "Checking that ${target} is standard C++ only"
    VERBATIM)
  add_custom_target(${target}_standard_cpp_only DEPENDS ${stamp})
  add_dependencies(${target} ${target}_standard_cpp_only)
endfunction()
