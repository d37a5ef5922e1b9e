# The one version: PROJECT_VERSION (CMakeLists.txt), taken at configure time
# by what carries it. The resource script includes res/Version.h, the
# manifest is made from res/Tovarind.manifest.in; both land in an include
# folder of their own that tovarind_resource_ids shows. The release's
# read-me takes it in Release.cmake. tools/check-release checks them all.
set(TOVARIND_VERSION_PARTS)
foreach(part MAJOR MINOR PATCH TWEAK)
  if("${PROJECT_VERSION_${part}}" STREQUAL "")
    list(APPEND TOVARIND_VERSION_PARTS 0)
  else()
    list(APPEND TOVARIND_VERSION_PARTS ${PROJECT_VERSION_${part}})
  endif()
endforeach()
# Windows versions have four numbers, whatever PROJECT_VERSION leaves out.
list(JOIN TOVARIND_VERSION_PARTS "." TOVARIND_VERSION)
list(JOIN TOVARIND_VERSION_PARTS "," TOVARIND_VERSION_COMMAS)
list(JOIN TOVARIND_VERSION_PARTS ", " TOVARIND_VERSION_TEXT)

set(TOVARIND_VERSION_INCLUDE ${CMAKE_BINARY_DIR}/include/version)
configure_file(${TOVARIND_ROOT}/res/Version.h.in ${TOVARIND_VERSION_INCLUDE}/res/Version.h @ONLY)
configure_file(${TOVARIND_ROOT}/res/Tovarind.manifest.in
               ${TOVARIND_VERSION_INCLUDE}/res/Tovarind.manifest @ONLY)
