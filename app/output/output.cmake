# The output: the files the programs write (whole or not at all), the PDF
# form and its module, PNG bytes. It knows the page and the drawing
# surfaces, never the window.

# Writing the files both make, whole or not at all.
add_library(quorvel_output STATIC
    ${CMAKE_CURRENT_LIST_DIR}/outcome.h
    ${CMAKE_CURRENT_LIST_DIR}/output_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/output_file.h
)
target_include_directories(quorvel_output PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quorvel_output PUBLIC Qt6::Core)

# The printed page as a PDF form: the fields in the programs, and qpdf in a
# module of its own that they load when they write a PDF (libcups is loaded
# the same way), so that start-up does not pay for qpdf and its libraries.
find_package(PkgConfig REQUIRED)
pkg_check_modules(QPDF REQUIRED IMPORTED_TARGET libqpdf)
# HarfBuzz's subsetter keeps of the fields' font only the letters they need.
pkg_check_modules(HARFBUZZ_SUBSET REQUIRED IMPORTED_TARGET harfbuzz-subset)
add_library(quorvel-pdf-form MODULE
    ${CMAKE_CURRENT_LIST_DIR}/pdf_form_module.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pdf_form_module.h
    ${CMAKE_CURRENT_LIST_DIR}/pdf_form_extras.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pdf_form_extras.h
    ${CMAKE_CURRENT_LIST_DIR}/pdf_form_reader.cpp
)
target_link_libraries(quorvel-pdf-form PRIVATE PkgConfig::QPDF PkgConfig::HARFBUZZ_SUBSET Qt6::Core)
# qpdf's own smart pointers are std::shared_ptr.
target_compile_definitions(quorvel-pdf-form PRIVATE POINTERHOLDER_TRANSITION=4)
# A private library's place in Debian: /usr/lib/<multiarch>/quorvel, and the
# same place under the build tree, where the programs of bin/ find it as
# they find it installed. Stripped as it is linked, so that the package holds
# the very bytes whose digest the programs check.
set(form_module_dir lib/${CMAKE_LIBRARY_ARCHITECTURE}/quorvel)
set_target_properties(quorvel-pdf-form PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${form_module_dir})
target_link_options(quorvel-pdf-form PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
install(TARGETS quorvel-pdf-form LIBRARY DESTINATION ${form_module_dir})

# The module's size and digest, taken whenever it is linked anew.
set(form_module_digest ${CMAKE_CURRENT_BINARY_DIR}/form_module_digest.h)
add_custom_command(OUTPUT ${form_module_digest}
    COMMAND ${CMAKE_COMMAND} -DMODULE=$<TARGET_FILE:quorvel-pdf-form> -DOUTPUT=${form_module_digest}
            -P ${CMAKE_CURRENT_LIST_DIR}/form_module_digest.cmake
    DEPENDS quorvel-pdf-form ${CMAKE_CURRENT_LIST_DIR}/form_module_digest.cmake
    VERBATIM)

# The form's scripts (JavaScript, as PDF readers run it), kept as files of
# their own and built into the programs as a header of string constants.
set(form_script_names amounts open typing checking showing)
set(form_scripts_dir ${CMAKE_CURRENT_LIST_DIR}/form_scripts)
list(TRANSFORM form_script_names PREPEND ${form_scripts_dir}/ OUTPUT_VARIABLE form_script_files)
list(TRANSFORM form_script_files APPEND .js)
string(REPLACE ";" "," form_script_list "${form_script_names}")
set(form_scripts_header ${CMAKE_CURRENT_BINARY_DIR}/form_scripts.h)
add_custom_command(OUTPUT ${form_scripts_header}
    COMMAND ${CMAKE_COMMAND} -DDIR=${form_scripts_dir} -DNAMES=${form_script_list} -DOUTPUT=${form_scripts_header}
            -P ${CMAKE_CURRENT_LIST_DIR}/embed_form_scripts.cmake
    DEPENDS ${form_script_files} ${CMAKE_CURRENT_LIST_DIR}/embed_form_scripts.cmake
    VERBATIM)

add_library(quorvel_pdf_form STATIC
    ${CMAKE_CURRENT_LIST_DIR}/pdf_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pdf_form.h
    ${CMAKE_CURRENT_LIST_DIR}/form_extras.cpp
    ${CMAKE_CURRENT_LIST_DIR}/form_extras.h
    ${CMAKE_CURRENT_LIST_DIR}/form_amounts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/form_amounts.h
    ${CMAKE_CURRENT_LIST_DIR}/form_check.cpp
    ${CMAKE_CURRENT_LIST_DIR}/form_check.h
    ${form_module_digest}
    ${form_scripts_header}
)
target_include_directories(quorvel_pdf_form PUBLIC ${CMAKE_CURRENT_LIST_DIR} PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(quorvel_pdf_form PUBLIC quorvel_output Qt6::Gui PRIVATE quorvel_page quorvel_draw)
file(RELATIVE_PATH form_module_from_bindir ${CMAKE_INSTALL_FULL_BINDIR}
    ${CMAKE_INSTALL_PREFIX}/${form_module_dir}/libquorvel-pdf-form.so)
target_compile_definitions(quorvel_pdf_form PRIVATE QUORVEL_FORM_MODULE_FROM_BINDIR="${form_module_from_bindir}")

# The canvas as PNG bytes, through libpng (which Qt's own PNG support uses).
pkg_check_modules(LIBPNG REQUIRED IMPORTED_TARGET libpng)
add_library(quorvel_png STATIC
    ${CMAKE_CURRENT_LIST_DIR}/png_bytes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/png_bytes.h
)
target_include_directories(quorvel_png PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quorvel_png PUBLIC Qt6::Gui PkgConfig::LIBPNG)
