# Read by cpack for each generator in turn: the zip and the installer differ only in name.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_PRAVELTEST_FILE_NAME}-setup")
else()
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_PRAVELTEST_FILE_NAME}")
endif()
