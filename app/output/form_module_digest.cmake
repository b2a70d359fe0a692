# Writes OUTPUT, a header with the size and SHA-256 of the PDF form module
# MODULE as this build made it: the programs load that module and no other.
#   cmake -DMODULE=... -DOUTPUT=... -P form_module_digest.cmake
file(SIZE "${MODULE}" size)
file(SHA256 "${MODULE}" sha256)
file(WRITE "${OUTPUT}" "// Made by the build from the PDF form module it links.
#pragma once
#define QUORVEL_FORM_MODULE_SIZE ${size}
#define QUORVEL_FORM_MODULE_SHA256 \"${sha256}\"
")
