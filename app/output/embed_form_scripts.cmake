# Writes OUTPUT, a header that holds each of the form's scripts (NAMES, a
# comma between them, each DIR/<name>.js) as a string constant
# Form_Script_<name>.
#   cmake -DDIR=... -DNAMES=a,b -DOUTPUT=... -P embed_form_scripts.cmake
string(REPLACE "," ";" names "${NAMES}")
set(header "// Made by the build from app/output/form_scripts/*.js.\n#pragma once\n")
foreach(name IN LISTS names)
    file(READ "${DIR}/${name}.js" source)
    string(FIND "${source}" ")form_script\"" clash)
    if(NOT clash EQUAL -1)
        message(FATAL_ERROR "${name}.js holds the end of the string it is embedded in")
    endif()
    string(APPEND header "\nconstexpr const char *Form_Script_${name} = R\"form_script(${source})form_script\";\n")
endforeach()
file(WRITE "${OUTPUT}.new" "${header}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
