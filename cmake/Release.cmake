# `cmake --build --preset win --target release` packs
# Tovarind-<version>-win32.zip in the build folder.
if(TARGET tar32)
  set(release_zip ${CMAKE_BINARY_DIR}/Tovarind-${PROJECT_VERSION}-win32.zip)
  # The read-me's header names the version; the sample settings go as written.
  set(dist ${CMAKE_BINARY_DIR}/dist)
  string(LENGTH "Tovarind ${PROJECT_VERSION}" header_length)
  string(REPEAT "=" ${header_length} TOVARIND_README_RULE)
  configure_file(${TOVARIND_ROOT}/dist/README.txt ${dist}/README.txt @ONLY)
  configure_file(${TOVARIND_ROOT}/dist/Tovarind.ini ${dist}/Tovarind.ini COPYONLY)
  add_custom_command(
    OUTPUT ${release_zip}
    COMMAND python3 ${TOVARIND_ROOT}/tools/make_release.py --bin ${CMAKE_BINARY_DIR}/bin
            --dist ${dist} --out ${release_zip}
    DEPENDS Tovarind tar32 ${TOVARIND_ROOT}/tools/make_release.py ${dist}/Tovarind.ini
            ${dist}/README.txt
    COMMENT "Release archive ${release_zip}")
  add_custom_target(release DEPENDS ${release_zip})
endif()
