# The print command ("PDF"): the printer dialog and the page on the printer.
add_library(quorvel_printing STATIC
    ${CMAKE_CURRENT_LIST_DIR}/printing.cpp
    ${CMAKE_CURRENT_LIST_DIR}/printing.h
)
target_include_directories(quorvel_printing PUBLIC ${CMAKE_CURRENT_LIST_DIR})
# libcups tells whether the print system took the job. Only its header
# is built in: the library is loaded at the first print (QLibrary).
find_package(Cups REQUIRED)
target_include_directories(quorvel_printing PRIVATE ${CUPS_INCLUDE_DIRS})
target_link_libraries(quorvel_printing PUBLIC quorvel_page quorvel_draw Qt6::PrintSupport Qt6::Widgets
    PRIVATE quorvel_output quorvel_pdf_form)
