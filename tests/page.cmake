# The report page against its reviewed call streams and images, on paper,
# without its logos, and the quorvel-render tool.
quorvel_test(test_page SOURCES page/test_page.cpp
    LIBS quorvel_page quorvel_printed_page Qt6::PrintSupport LABELS page)
target_compile_definitions(test_page PRIVATE REFERENCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/page")
add_test(NAME test_page_without_logos COMMAND test_page page_without_its_logos_is_drawn_whole)
set_tests_properties(test_page_without_logos PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QPA_FONTDIR=;LC_ALL=C.UTF-8;QUORVEL_NO_LOGOS=1" LABELS page)

add_test(NAME test_render COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/page/test_render.sh $<TARGET_FILE:quorvel-render>)
set_tests_properties(test_render PROPERTIES LABELS page TIMEOUT 120)
