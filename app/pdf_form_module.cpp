// The PDF form module: qpdf reads the PDF that Qt made, the fields go on its
// first page as widget annotations, and qpdf writes it to memory. Loaded
// only when a PDF is written, so that qpdf and the libraries it needs cost
// nothing at start-up.
#include "pdf_form_module.h"

#include "pdf_form_extras.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFFormFieldObjectHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <QStringList>

#include <exception>
#include <map>

namespace {

using Object = QPDFObjectHandle;

Object Text(const QString &text)
{
    return Object::newUnicodeString(text.toStdString());
}

// Field flag: the value may hold several lines.
constexpr int Multi_Line_Flag = 1 << 12;
// Annotation flag: printed with the page.
constexpr int Print_Flag = 1 << 2;

// An empty field draws nothing: its appearance is the marked-content
// sequence a reader replaces with the value, and the font it would use.
Object Empty_Appearance(QPDF &pdf, const QRectF &rect, Object fonts)
{
    Object stream = Object::newStream(&pdf, "/Tx BMC\nEMC\n");
    Object dict = stream.getDict();
    dict.replaceKey("/Type", Object::newName("/XObject"));
    dict.replaceKey("/Subtype", Object::newName("/Form"));
    dict.replaceKey("/BBox", Object::newArray(Object::Rectangle(0, 0, rect.width(), rect.height())));
    Object resources = Object::newDictionary();
    resources.replaceKey("/Font", fonts);
    dict.replaceKey("/Resources", resources);
    return stream;
}

QString Xml(const QString &text)
{
    return text.toHtmlEscaped();
}

// The document's title, creator and producer as XMP metadata.
Object Metadata(QPDF &pdf, const Pdf_Names &names, const QString &producer)
{
    const QString packet =
        QStringLiteral("<?xpacket begin=\"\uFEFF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                       "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                       " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                       "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
                       "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n"
                       "   <dc:format>application/pdf</dc:format>\n"
                       "   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">%1</rdf:li></rdf:Alt></dc:title>\n"
                       "   <xmp:CreatorTool>%2</xmp:CreatorTool>\n"
                       "   <pdf:Producer>%3</pdf:Producer>\n"
                       "  </rdf:Description>\n"
                       " </rdf:RDF>\n"
                       "</x:xmpmeta>\n"
                       "<?xpacket end=\"w\"?>\n")
            .arg(Xml(names.Title), Xml(names.Creator), Xml(producer));
    Object stream = Object::newStream(&pdf, packet.toStdString());
    stream.getDict().replaceKey("/Type", Object::newName("/Metadata"));
    stream.getDict().replaceKey("/Subtype", Object::newName("/XML"));
    return stream;
}

// Returns the widgets, in the order of `fields`.
std::vector<Object> Add_Fields(QPDF &pdf, const std::vector<Pdf_Field> &fields)
{
    std::vector<Object> widgets;
    const std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    if (pages.empty())
        throw std::runtime_error("the PDF has no page");
    Object page = pages.front().getObjectHandle();
    Object annots = page.getKey("/Annots");
    if (!annots.isArray()) {
        annots = Object::newArray();
        page.replaceKey("/Annots", annots);
    }
    const Object helvetica = pdf.makeIndirectObject(
        Object::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
    Object fonts = Object::newDictionary();
    fonts.replaceKey("/Helv", helvetica);

    // Fields of one size share their appearance.
    std::map<std::pair<double, double>, Object> appearances;
    QPDFAcroFormDocumentHelper form(pdf);
    // The fields that hold others ("breakfast" of "breakfast.mon"), by name.
    std::map<QString, Object> parents;
    for (const Pdf_Field &field : fields) {
        Object widget = pdf.makeIndirectObject(Object::newDictionary());
        const QStringList parts = field.Name.split(u'.');
        widget.replaceKey("/Type", Object::newName("/Annot"));
        widget.replaceKey("/Subtype", Object::newName("/Widget"));
        widget.replaceKey("/FT", Object::newName("/Tx"));
        widget.replaceKey("/T", Text(parts.last()));
        widget.replaceKey("/TU", Text(field.Tooltip));
        widget.replaceKey("/Rect", Object::newArray(Object::Rectangle(field.Rect.left(), field.Rect.top(),
                                                                      field.Rect.right(), field.Rect.bottom())));
        widget.replaceKey("/F", Object::newInteger(Print_Flag));
        widget.replaceKey("/P", page);
        widget.replaceKey("/DA", Object::newString(
                                     QStringLiteral("/Helv %1 Tf 0 g").arg(field.Font_Size).toStdString()));
        if (field.Right_Aligned)
            widget.replaceKey("/Q", Object::newInteger(2));
        if (field.Multi_Line)
            widget.replaceKey("/Ff", Object::newInteger(Multi_Line_Flag));
        Object appearance = Object::newDictionary();
        Object &empty = appearances[{field.Rect.width(), field.Rect.height()}];
        if (!empty.isInitialized())
            empty = pdf.makeIndirectObject(Empty_Appearance(pdf, field.Rect, fonts));
        appearance.replaceKey("/N", empty);
        widget.replaceKey("/AP", appearance);
        annots.appendItem(widget);
        widgets.push_back(widget);

        Object parent;
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            const QString name = parts.mid(0, i + 1).join(u'.');
            auto found = parents.find(name);
            if (found == parents.end()) {
                Object holder = pdf.makeIndirectObject(Object::newDictionary());
                holder.replaceKey("/T", Text(parts[i]));
                holder.replaceKey("/Kids", Object::newArray());
                if (parent.isInitialized()) {
                    holder.replaceKey("/Parent", parent);
                    parent.getKey("/Kids").appendItem(holder);
                } else {
                    form.addFormField(QPDFFormFieldObjectHelper(holder));
                }
                found = parents.emplace(name, holder).first;
            }
            parent = found->second;
        }
        if (parent.isInitialized()) {
            widget.replaceKey("/Parent", parent);
            parent.getKey("/Kids").appendItem(widget);
        } else {
            form.addFormField(QPDFFormFieldObjectHelper(widget));
        }
    }
    Object acroForm = pdf.getRoot().getKey("/AcroForm");
    Object resources = Object::newDictionary();
    resources.replaceKey("/Font", fonts);
    acroForm.replaceKey("/DR", resources);
    acroForm.replaceKey("/DA", Object::newString("/Helv 0 Tf 0 g"));
    return widgets;
}

void Name_Document(QPDF &pdf, const Pdf_Names &names)
{
    Object trailer = pdf.getTrailer();
    Object info = trailer.getKey("/Info");
    if (!info.isDictionary()) {
        info = pdf.makeIndirectObject(Object::newDictionary());
        trailer.replaceKey("/Info", info);
    }
    info.replaceKey("/Title", Text(names.Title));
    info.replaceKey("/Creator", Text(names.Creator));
    Object producer = info.getKey("/Producer");
    const QString made_by =
        producer.isString() ? QString::fromStdString(producer.getUTF8Value()) : QString();
    pdf.getRoot().replaceKey("/Metadata", pdf.makeIndirectObject(Metadata(pdf, names, made_by)));
}

QString First_Warning(QPDF &pdf)
{
    const std::vector<QPDFExc> warnings = pdf.getWarnings();
    return warnings.empty() ? QString() : QString::fromStdString(warnings.front().what());
}

} // namespace

extern "C" Q_DECL_EXPORT QString Quorvel_Add_Pdf_Form(const QByteArray &bytes, const std::vector<Pdf_Field> &fields,
                                                      const Pdf_Names &names, const Pdf_Extras &extras,
                                                      QByteArray &out)
{
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.setAttemptRecovery(false);
        pdf.processMemoryFile("the printed page", bytes.constData(), size_t(bytes.size()));
        const std::vector<Object> widgets = Add_Fields(pdf, fields);
        Add_Scripts(pdf, extras.Scripts, fields, widgets);
        Add_Structure(pdf, extras, widgets);
        Name_Document(pdf, names);
        QPDFWriter writer(pdf);
        writer.setOutputMemory();
        // The page's own streams go out as Qt made them; only the new ones are compressed.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(true);
        // The fields' dictionaries go into compressed object streams (PDF 1.5).
        writer.setObjectStreamMode(qpdf_o_generate);
        writer.write();
        // Whatever qpdf had to guess while reading means the PDF was not whole.
        if (pdf.anyWarnings())
            return QStringLiteral("the PDF is damaged: %1").arg(First_Warning(pdf));
        const std::shared_ptr<Buffer> written = writer.getBufferSharedPointer();
        out = QByteArray(reinterpret_cast<const char *>(written->getBuffer()), qsizetype(written->getSize()));
        return {};
    } catch (const std::exception &error) {
        return QStringLiteral("the PDF is damaged: %1").arg(QString::fromStdString(error.what()));
    }
}
