# libsodium as the imported target `sodium`.
#
# Windows builds link a static libsodium made from Debian's source package
# for the target of the compiler in use (tools/build-libsodium), once per
# target, into build/cache/ beside the build folders: configuring again, or
# a fresh build folder, finds it there. Native builds link Debian's
# libsodium-dev.

if(WIN32)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -dumpmachine
                  OUTPUT_VARIABLE sodium_triple OUTPUT_STRIP_TRAILING_WHITESPACE
                  COMMAND_ERROR_IS_FATAL ANY)
  set(SODIUM_CACHE ${TOVARIND_ROOT}/build/cache CACHE PATH "Where libsodium is built and kept")
  execute_process(COMMAND ${TOVARIND_ROOT}/tools/build-libsodium ${sodium_triple} ${SODIUM_CACHE}
                  COMMAND_ERROR_IS_FATAL ANY)
  set(sodium_prefix ${SODIUM_CACHE}/libsodium-${sodium_triple})
  add_library(sodium STATIC IMPORTED GLOBAL)
  set_target_properties(sodium PROPERTIES
    IMPORTED_LOCATION ${sodium_prefix}/lib/libsodium.a
    INTERFACE_INCLUDE_DIRECTORIES ${sodium_prefix}/include
    # Static linking: no dllimport declarations.
    INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC
    # Its random source (RtlGenRandom) lives in advapi32, a Windows DLL.
    INTERFACE_LINK_LIBRARIES advapi32)
else()
  find_path(SODIUM_INCLUDE_DIR sodium.h REQUIRED)
  find_library(SODIUM_LIBRARY sodium REQUIRED)
  add_library(sodium UNKNOWN IMPORTED GLOBAL)
  set_target_properties(sodium PROPERTIES
    IMPORTED_LOCATION ${SODIUM_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${SODIUM_INCLUDE_DIR})
endif()
