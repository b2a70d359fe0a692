// The PDF form module's reader fed with arbitrary bytes, as a returned form
// may be anything: it gives the fields or a reason, and nothing else: no
// crash, no hang, no memory error, nothing thrown.
#include "pdf_form_module.h"

#include <cstddef>
#include <cstdint>

// The module's own function, compiled in here.
extern "C" Result<std::vector<Pdf_Field_Value>> Quorvel_Read_Pdf_Fields(const QByteArray &bytes,
                                                                         std::size_t most_fields);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const Result<std::vector<Pdf_Field_Value>> read = Quorvel_Read_Pdf_Fields(bytes, 1000);
    if (read.Ok() && read.Value().size() > 1000)
        __builtin_trap();
    return 0;
}
