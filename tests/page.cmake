# The report page: its commands against the recording surface, the real
# preview canvas, the printed PDF, and the quorvel-render tool.
quorvel_test(test_page_commands SOURCES page/test_page_commands.cpp LIBS quorvel_page LABELS page)
quorvel_test(test_page_preview SOURCES page/test_page_preview.cpp LIBS quorvel_page LABELS page)
target_compile_definitions(test_page_preview PRIVATE QUORVEL_PAGE_PNG="${PROJECT_SOURCE_DIR}/docs/page.png")
quorvel_test(test_page_missing_logo SOURCES page/test_page_missing_logo.cpp LIBS quorvel_page LABELS page)

quorvel_test(test_page_pdf SOURCES page/test_page_pdf.cpp
    LIBS quorvel_page quorvel_printed_page Qt6::PrintSupport LABELS page)

quorvel_test(test_page_render SOURCES page/test_page_render.cpp LIBS quorvel_page quorvel_printed_page LABELS page)
target_compile_definitions(test_page_render PRIVATE QUORVEL_RENDER="$<TARGET_FILE:quorvel-render>")
add_dependencies(test_page_render quorvel-render)
