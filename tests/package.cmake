# The Debian package, built from this build and checked as a user gets it.
# Needs lintian, desktop-file-utils and appstream (scripts/setup test installs
# them); without them it reports itself skipped.
add_test(NAME test_package
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package/check_package.sh ${CMAKE_BINARY_DIR})
set_tests_properties(test_package PROPERTIES
    LABELS package SKIP_RETURN_CODE 77 RUN_SERIAL TRUE TIMEOUT 300)
