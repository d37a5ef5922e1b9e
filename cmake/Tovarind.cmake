# Shared build settings and helpers for Tovarind's targets.

option(TOVARIND_SANITIZE "Build native code with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

set(TOVARIND_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)

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

# Our own code: warnings, Shift-JIS literals, sanitizers where native.
function(tovarind_target target)
  tovarind_warnings(${target})
  tovarind_shift_jis(${target})
  tovarind_sanitize(${target})
  target_include_directories(${target} PRIVATE ${TOVARIND_ROOT})
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
