# Shared build settings and helpers for Tovarind's targets.

option(TOVARIND_SANITIZE "Build native code with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

get_filename_component(TOVARIND_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

# Warnings as errors for our own code; third-party sources keep their own flags.
function(tovarind_warnings target)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:-Wall -Wextra -Werror>)
endfunction()

# Japanese literals: UTF-8 in the sources, Shift-JIS (CP932) in the binary.
function(tovarind_shift_jis target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:C,CXX>:-finput-charset=UTF-8 -fexec-charset=CP932>)
endfunction()

function(tovarind_sanitize target)
  if(TOVARIND_SANITIZE AND NOT WIN32)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# Our own code: warnings, Shift-JIS literals, sanitizers where native. No
# target sees the source tree's root: what it may include comes from
# tovarind_headers, its own and those of what it links.
function(tovarind_target target)
  tovarind_warnings(${target})
  tovarind_shift_jis(${target})
  tovarind_sanitize(${target})
endfunction()

# The headers a target shows: each path (a folder or one header, relative to
# the root) appears under its own name in an include folder of the target's
# in the build tree, as a symbolic link into the sources. Includes keep their
# layer's name ("engine/Download.h") yet compile only where the target links
# the library that shows them, so an include reaching up a layer fails.
#   tovarind_headers(target PUBLIC|PRIVATE|INTERFACE path...)
function(tovarind_headers target scope)
  string(TOLOWER ${scope} kind)
  set(dir ${CMAKE_BINARY_DIR}/include/${target}-${kind})
  foreach(path ${ARGN})
    if(NOT EXISTS ${TOVARIND_ROOT}/${path})
      message(FATAL_ERROR "tovarind_headers(${target}): no ${path}")
    endif()
    get_filename_component(parent ${dir}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${TOVARIND_ROOT}/${path} ${dir}/${path} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${dir})
endfunction()

# The program's resource script, built into target; it pulls in these files
# (the version's two from cmake/Version.cmake), so it is rebuilt when they
# change.
function(tovarind_resources target)
  target_sources(${target} PRIVATE ${TOVARIND_ROOT}/res/Tovarind.rc)
  target_link_libraries(${target} PRIVATE tovarind_resource_ids)
  tovarind_headers(${target} PRIVATE res/Tovarind.ico)
  set(version ${TOVARIND_VERSION_INCLUDE}/res)
  set_source_files_properties(${TOVARIND_ROOT}/res/Tovarind.rc TARGET_DIRECTORY ${target}
    PROPERTIES OBJECT_DEPENDS
    "${TOVARIND_ROOT}/res/resource.h;${TOVARIND_ROOT}/res/Tovarind.ico;${version}/Version.h;${version}/Tovarind.manifest")
endfunction()

# A Windows executable run under Wine as one ctest entry. GUI tests get an
# Xvfb display of their own. Wine tests share one prefix and wineserver, so
# they run one at a time.
#   add_wine_test(NAME name COMMAND target [args...] [GUI] [TIMEOUT s])
function(add_wine_test)
  cmake_parse_arguments(WT "GUI" "NAME;TIMEOUT" "COMMAND" ${ARGN})
  list(POP_FRONT WT_COMMAND exe)
  set(runner ${TOVARIND_ROOT}/tools/wine-run)
  set(gui_flag)
  if(WT_GUI)
    set(gui_flag --gui)
  endif()
  if(NOT WT_TIMEOUT)
    set(WT_TIMEOUT 300)
  endif()
  add_test(NAME ${WT_NAME}
           COMMAND ${runner} ${gui_flag} --prefix ${CMAKE_BINARY_DIR}/wineprefix
                   $<TARGET_FILE:${exe}> ${WT_COMMAND})
  set_tests_properties(${WT_NAME} PROPERTIES RUN_SERIAL TRUE TIMEOUT ${WT_TIMEOUT})
endfunction()
