# Cross build for 64-bit Windows: the twin of the 32-bit build, so that the
# program and its tests run under wine64 on hosts that run no 32-bit x86 code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
