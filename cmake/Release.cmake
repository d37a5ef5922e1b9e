# `cmake --build --preset win --target release` packs
# Tovarind-<version>-win32.zip in the build folder.
if(TARGET tar32)
  set(release_zip ${CMAKE_BINARY_DIR}/Tovarind-${PROJECT_VERSION}-win32.zip)
  add_custom_command(
    OUTPUT ${release_zip}
    COMMAND python3 ${TOVARIND_ROOT}/tools/make_release.py --bin ${CMAKE_BINARY_DIR}/bin
            --dist ${TOVARIND_ROOT}/dist --out ${release_zip}
    DEPENDS Tovarind tar32 ${TOVARIND_ROOT}/tools/make_release.py ${TOVARIND_ROOT}/dist/Tovarind.ini
            ${TOVARIND_ROOT}/dist/README.txt
    COMMENT "Release archive ${release_zip}")
  add_custom_target(release DEPENDS ${release_zip})
endif()
