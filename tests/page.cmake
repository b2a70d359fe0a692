# quorvel-render as a user runs it.
add_test(NAME test_render COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/page/test_render.sh $<TARGET_FILE:quorvel-render>
    $<TARGET_FILE:quorvel-pdf-form>)
set_tests_properties(test_render PROPERTIES LABELS page TIMEOUT 120)
