# The print command: printing through a replaced dialog to PDF files, and
# through a private CUPS scheduler to a cups-pdf queue.
if(TARGET quorvel_printing)
    quorvel_test(print_test SOURCES print/test_printing.cpp
        LIBS quorvel_printing quorvel_printed_page LABELS print)
endif()

# Through a private CUPS scheduler and a cups-pdf queue (needs root; skips
# without). It owns a scheduler while it runs, so it runs alone.
if(TARGET quorvel_printing)
    add_executable(print_cups_test print/test_cups.cpp)
    target_link_libraries(print_cups_test PRIVATE Qt6::Test quorvel_printing quorvel_printed_page)
    add_test(NAME print_cups COMMAND ${PROJECT_SOURCE_DIR}/scripts/cups-print-test $<TARGET_FILE:print_cups_test>)
    set_tests_properties(print_cups PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QPA_FONTDIR=;LC_ALL=C.UTF-8"
        LABELS "print;cups" RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 180)
endif()
