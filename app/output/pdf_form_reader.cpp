// The PDF form module's reading side: every field of a filled-in form and
// its value, as qpdf finds them in whatever the reader that saved it wrote.
#include "pdf_form_module.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFFormFieldObjectHelper.hh>

#include <exception>

namespace {

// A value as text: a string as it reads, a number or a name as written
// (a reader without scripts may store "12.5" as the number 12.5).
QString Value_Text(QPDFObjectHandle value)
{
    if (value.isString())
        return QString::fromStdString(value.getUTF8Value());
    if (value.isNumber())
        return QString::fromStdString(value.unparse());
    if (value.isName())
        return QString::fromStdString(value.getName().substr(1));
    return {};
}

} // namespace

extern "C" Q_DECL_EXPORT Result<std::vector<Pdf_Field_Value>> Quorvel_Read_Pdf_Fields(const QByteArray &bytes,
                                                                                   std::size_t most_fields)
{
    // What the file holds is the user's to know: a PDF that qpdf cannot
    // read, even by recovering what a damaged one still has, is refused in
    // qpdf's own words. qpdf's parser bounds nesting, and its walk over the
    // fields follows no loop twice.
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processMemoryFile("file", bytes.constData(), size_t(bytes.size()));
        QPDFAcroFormDocumentHelper form(pdf);
        if (!form.hasAcroForm())
            return Failure{QStringLiteral("it is a PDF, but holds no form")};
        std::vector<Pdf_Field_Value> values;
        for (QPDFFormFieldObjectHelper field : form.getFormFields()) {
            if (values.size() == most_fields)
                return Failure{QStringLiteral("it holds more than %1 fields").arg(most_fields)};
            values.push_back({QString::fromStdString(field.getFullyQualifiedName()), Value_Text(field.getValue())});
        }
        return values;
    } catch (const std::exception &unread) {
        // QPDFExc for damage; the plain errors qpdf says other damage with
        // (a stream that does not decode, an object stream that is not
        // one); and what a hostile file may drive qpdf into (its own logic
        // errors, memory the process is not given): the file is refused.
        return Failure{QStringLiteral("it is not a PDF that can be read: %1").arg(QString::fromStdString(unread.what()))};
    }
}
