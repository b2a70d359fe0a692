quorvel_test(test_primitives SOURCES draw/test_primitives.cpp LIBS quorvel_draw LABELS draw)

quorvel_test(test_surfaces SOURCES draw/test_surfaces.cpp
    LIBS quorvel_draw quorvel_printed_page Qt6::PrintSupport LABELS draw)
target_compile_definitions(test_surfaces PRIVATE REFERENCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/draw")
