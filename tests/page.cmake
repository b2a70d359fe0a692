# The report page against its reviewed call streams and images, on paper,
# and the quorvel-render tool.
quorvel_test(test_page SOURCES page/test_page.cpp
    LIBS quorvel_page quorvel_printed_page Qt6::PrintSupport LABELS page)
target_compile_definitions(test_page PRIVATE REFERENCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/page")
add_test(NAME test_render COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/page/test_render.sh $<TARGET_FILE:quorvel-render>)
set_tests_properties(test_render PROPERTIES LABELS page TIMEOUT 120)
