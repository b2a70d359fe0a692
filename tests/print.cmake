# The print command: printing through a replaced dialog to PDF files, and
# through a private CUPS scheduler to a cups-pdf queue.
if(TARGET quorvel_printing)
    add_library(quorvel_printed_page STATIC print/printed_page.cpp print/printed_page.h)
    target_link_libraries(quorvel_printed_page PUBLIC Qt6::Gui Qt6::Test)

    quorvel_test(print_test SOURCES print/test_printing.cpp
        LIBS quorvel_printing quorvel_printed_page LABELS print)
endif()
