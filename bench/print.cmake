# The print command to a PDF file, the printer dialog answered at once.
add_executable(bench_print bench_print.cpp)
target_link_libraries(bench_print PRIVATE quorvel_print_command quorvel_page quorvel_bench_main)

# The window's waits on a print system that does not answer (not a Google
# Benchmark: one run per fault, a few seconds each, minutes where the waits
# it measures are not bounded). Run under an X server, and for "stopped"
# through tests/print/cups-print-test.
add_executable(quorvel-print-waits print_waits.cpp)
target_link_libraries(quorvel-print-waits PRIVATE quorvel_print_command quorvel_page)
target_compile_definitions(quorvel-print-waits PRIVATE
    FAKE_IPP_SERVER="${CMAKE_SOURCE_DIR}/tests/print/fake_ipp_server.py")

# A returned form checked (quorvel-render --check, in the process) beside
# qpdf listing it as JSON.
pkg_check_modules(QPDF REQUIRED IMPORTED_TARGET libqpdf)
add_executable(bench_check bench_check.cpp)
target_link_libraries(bench_check PRIVATE quorvel_pdf_form quorvel_page quorvel_bench_main PkgConfig::QPDF)
target_compile_definitions(bench_check PRIVATE POINTERHOLDER_TRANSITION=4 BENCH_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
