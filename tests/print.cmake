# The print command: printing through a replaced dialog to PDF files,
# against made-up print servers (print/fake_ipp_server.py, python3), and
# again through a private CUPS scheduler to a cups-pdf queue (needs root;
# skips without). The second run owns a scheduler, so it runs alone.
quorvel_test(test_print TIMEOUT 180 SOURCES print/test_printing.cpp
    LIBS quorvel_print_command quorvel_pdf_form quorvel_page quorvel_printed_page LABELS print)
target_compile_definitions(test_print PRIVATE FAKE_IPP_SERVER="${CMAKE_CURRENT_SOURCE_DIR}/print/fake_ipp_server.py")
add_test(NAME test_print_cups
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/print/cups-print-test $<TARGET_FILE:test_print> printsThroughTheQueue)
set_tests_properties(test_print_cups PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QPA_FONTDIR=;LC_ALL=C.UTF-8"
    LABELS "print;cups" RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 180)

# The print system's answers as the user is told them (its address, a
# queue's and a job's state, a name server that never answers), without a
# print system: the fast tier.
quorvel_test(test_cups_answers TIMEOUT 30 SOURCES print/test_cups_answers.cpp LIBS quorvel_cups_client LABELS unit)

# The printed page as a PDF form, filled in by poppler, MuPDF (mutool) and
# qpdf's library.
pkg_check_modules(QPDF REQUIRED IMPORTED_TARGET libqpdf)
quorvel_test(test_form TIMEOUT 300 SOURCES print/test_form.cpp
    LIBS quorvel_print_command quorvel_pdf_form quorvel_page quorvel_printed_page PkgConfig::QPDF LABELS print)
target_compile_definitions(test_form PRIVATE POINTERHOLDER_TRANSITION=4)
target_compile_definitions(test_form PRIVATE REFERENCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}")

# A returned form read back by quorvel-render --check and --values: forms
# saved by MuPDF (with the form's scripts), pdf.js and pypdf (without). Its
# amount grammar alone, against the table of cases the form's scripts share,
# is in the fast tier too.
quorvel_test(test_check TIMEOUT 180 SOURCES print/test_check.cpp LIBS quorvel_pdf_form quorvel_page LABELS print)
target_compile_definitions(test_check PRIVATE REFERENCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
                                              QUORVEL_RENDER="$<TARGET_FILE:quorvel-render>")
add_dependencies(test_check quorvel-render)
add_test(NAME test_check_amounts COMMAND test_check amountsFollowTheTable)
set_tests_properties(test_check_amounts PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8" LABELS unit TIMEOUT 30)

# The form's scripts alone, without a PDF (ctest -L unit): linted for the
# oldest engine that runs them (ES5: Okular's KJS; Debian's eslint finds its
# modules under /usr/share/nodejs, where Debian's node looks by itself), and
# the table of amounts (print/amount-cases.json, which test_form also types
# into the whole form) run on them by MuJS, node and KJS (kjs5, the engine
# of Okular 22.12, through print/run-kjs-unit.cmake).
set(form_scripts_dir ${PROJECT_SOURCE_DIR}/app/output/form_scripts)
add_test(NAME form_scripts_lint
    COMMAND eslint --no-eslintrc -c .eslintrc.json amounts.js open.js typing.js checking.js showing.js
    WORKING_DIRECTORY ${form_scripts_dir})
set_tests_properties(form_scripts_lint PROPERTIES ENVIRONMENT NODE_PATH=/usr/share/nodejs LABELS unit TIMEOUT 60)
foreach(engine mujs node)
    add_test(NAME form_scripts_${engine}
        COMMAND ${engine} ${CMAKE_CURRENT_SOURCE_DIR}/print/amounts-unit.js ${form_scripts_dir}
                ${CMAKE_CURRENT_SOURCE_DIR}/print/amount-cases.json)
    set_tests_properties(form_scripts_${engine} PROPERTIES LABELS unit TIMEOUT 30)
endforeach()
add_test(NAME form_scripts_kjs
    COMMAND ${CMAKE_COMMAND} -DKJS=kjs5 -DRUNNER=${CMAKE_CURRENT_SOURCE_DIR}/print/amounts-unit.js
            -DSCRIPTS=${form_scripts_dir} -DCASES=${CMAKE_CURRENT_SOURCE_DIR}/print/amount-cases.json
            -DWORK=${CMAKE_CURRENT_BINARY_DIR} -P ${CMAKE_CURRENT_SOURCE_DIR}/print/run-kjs-unit.cmake)
set_tests_properties(form_scripts_kjs PROPERTIES LABELS unit TIMEOUT 30)
