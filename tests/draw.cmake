quorvel_test(test_runtime SOURCES draw/test_runtime.cpp LIBS quorvel_draw LABELS draw)
quorvel_test(test_primitives SOURCES draw/test_primitives.cpp LIBS quorvel_draw LABELS draw)

find_program(PDFTOTEXT pdftotext REQUIRED)
quorvel_test(test_surfaces SOURCES draw/test_surfaces.cpp LIBS quorvel_draw Qt6::PrintSupport LABELS draw)
target_compile_definitions(test_surfaces PRIVATE PDFTOTEXT="${PDFTOTEXT}")
