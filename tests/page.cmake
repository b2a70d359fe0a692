# quorvel-render as a user runs it.
add_test(NAME test_render COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/page/test_render.sh $<TARGET_FILE:quorvel-render>
    $<TARGET_FILE:quorvel-pdf-form>)
set_tests_properties(test_render PROPERTIES LABELS page SKIP_RETURN_CODE 77 TIMEOUT 300)

# The programs' RUNPATH and build paths, and the PDF form module checked
# before it is loaded.
add_test(NAME test_libraries COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/page/test_libraries.sh
    ${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_BINDIR} $<TARGET_FILE:quorvel-pdf-form>)
set_tests_properties(test_libraries PROPERTIES LABELS page SKIP_RETURN_CODE 77 TIMEOUT 60)
