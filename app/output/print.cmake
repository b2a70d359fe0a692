# The print system as the print command asks it (a CUPS client), and the
# print command's work: the page on the printer or to its file. No widget:
# the command's dialogs are the window's.
# libcups tells whether the print system took the job. Only its header
# is built in: the library is loaded at the first print (QLibrary).
find_package(Cups REQUIRED)
add_library(quorvel_cups_client STATIC
    ${CMAKE_CURRENT_LIST_DIR}/cups_client.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cups_client.h
    ${CMAKE_CURRENT_LIST_DIR}/tr.h
)
target_include_directories(quorvel_cups_client PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${CUPS_INCLUDE_DIRS})
target_link_libraries(quorvel_cups_client PUBLIC Qt6::Core)

add_library(quorvel_printing STATIC
    ${CMAKE_CURRENT_LIST_DIR}/printing.cpp
    ${CMAKE_CURRENT_LIST_DIR}/printing.h
    ${CMAKE_CURRENT_LIST_DIR}/qt_cups_calls.cpp
    ${CMAKE_CURRENT_LIST_DIR}/qt_cups_calls.h
)
# The libcups calls that Qt's print support makes, defined in
# qt_cups_calls.cpp, go into the dynamic symbol table of every program that
# prints, where the plugin finds them before libcups's own.
target_link_options(quorvel_printing INTERFACE
    "LINKER:--export-dynamic-symbol=cupsGetDests,--export-dynamic-symbol=cupsGetNamedDest,--export-dynamic-symbol=cupsGetPPD")
target_include_directories(quorvel_printing PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quorvel_printing PUBLIC quorvel_cups_client Qt6::PrintSupport
    PRIVATE quorvel_page quorvel_draw quorvel_pdf_form quorvel_quirks)
