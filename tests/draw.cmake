# The primitives as a table of scripts; the real surfaces and the report page
# against their reviewed references.
quorvel_test(test_primitives TIMEOUT 30 SOURCES draw/test_primitives.cpp LIBS quorvel_draw LABELS draw)

quorvel_test(test_rendering TIMEOUT 30 SOURCES draw/test_rendering.cpp
    LIBS quorvel_page quorvel_png quorvel_printed_page Qt6::PrintSupport LABELS draw)
target_compile_definitions(test_rendering PRIVATE REFERENCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
