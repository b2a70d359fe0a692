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

#include <hb-subset.h>

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <memory>

namespace {

using Object = QPDFObjectHandle;

Object Text(const QString &text)
{
    return Object::newUnicodeString(text.toStdString());
}

// Annotation flag: printed with the page. Field flag: read-only.
constexpr int Print_Flag = 1 << 2;
constexpr int Read_Only_Flag = 1 << 0;

// The name the fields' font goes by in their appearances and in the form's
// resources. PDFium (Chromium) asks a field's font for a letter beyond
// ASCII only when the font goes by the name of a symbol font (Wingdings,
// Webdings); otherwise it takes the letters of Latin Extended-A from a
// Central European system font it makes up (Windows-1250, so no İ or ı)
// and drops what that lacks. Under this name it asks the fields' own font,
// which has them all.
constexpr const char *Font_Name = "/Wingdings";

// What of Liberation Sans goes into the PDF: the letters of the European
// scripts (Latin-1 and Latin Extended-A, Romanian's S and T with a comma
// below, Greek, Cyrillic) and the
// punctuation, currency and symbols of Windows-1252. Chinese, Japanese and
// Korean are left to the reader's own fonts.
constexpr std::pair<hb_codepoint_t, hb_codepoint_t> Kept_Letters[] = {
    {0x20, 0x7e}, {0xa0, 0x17f}, {0x192, 0x192}, {0x218, 0x21b}, {0x2c6, 0x2dd}, {0x370, 0x3ff},
    {0x400, 0x4ff}, {0x2013, 0x2044}, {0x20ac, 0x20ac}, {0x2116, 0x2122}};

template <typename T, void (*Destroy)(T *)>
struct Hb_Deleter {
    void operator()(T *p) const { Destroy(p); }
};
using Blob = std::unique_ptr<hb_blob_t, Hb_Deleter<hb_blob_t, hb_blob_destroy>>;
using Face = std::unique_ptr<hb_face_t, Hb_Deleter<hb_face_t, hb_face_destroy>>;
using Font = std::unique_ptr<hb_font_t, Hb_Deleter<hb_font_t, hb_font_destroy>>;
using Subset_Input = std::unique_ptr<hb_subset_input_t, Hb_Deleter<hb_subset_input_t, hb_subset_input_destroy>>;
using Set = std::unique_ptr<hb_set_t, Hb_Deleter<hb_set_t, hb_set_destroy>>;

// A font that cannot be read or made smaller: the PDF is whole, the
// machine lacks what the form needs.
struct Font_Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A stream compressed here (zlib is Flate): the writer leaves the new
// streams as they are, since compression would only lengthen the fields'
// small appearances.
void Replace_Compressed(Object stream, const std::string &data)
{
    const QByteArray zlib = qCompress(reinterpret_cast<const uchar *>(data.data()), qsizetype(data.size()), 9)
                                .mid(4); // qCompress puts the length first
    stream.replaceStreamData(zlib.toStdString(), Object::newName("/FlateDecode"), Object::newNull());
}

Object Compressed_Stream(QPDF &pdf, const std::string &data)
{
    Object stream = Object::newStream(&pdf);
    Replace_Compressed(stream, data);
    return stream;
}

std::string Hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "<%04X>", value & 0xffff);
    return text;
}

// The kept letters of the font in `file`, without hinting and shaping:
// readers do neither for a form's values.
Face Subset(const QString &file)
{
    const Blob blob(hb_blob_create_from_file_or_fail(QFile::encodeName(file).constData()));
    const Face face(hb_face_create(blob.get(), 0));
    const Subset_Input input(hb_subset_input_create_or_fail());
    if (!blob || !input || hb_face_get_glyph_count(face.get()) == 0)
        throw Font_Error("the fields' font cannot be read: " + file.toStdString());
    for (const auto &[first, last] : Kept_Letters)
        hb_set_add_range(hb_subset_input_unicode_set(input.get()), first, last);
    hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_NO_HINTING);
    for (const char *table : {"GSUB", "GPOS", "GDEF", "kern", "DSIG"})
        hb_set_add(hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG), hb_tag_from_string(table, 4));
    Face subset(hb_subset_or_fail(face.get(), input.get()));
    if (!subset)
        throw Font_Error("the fields' font cannot be made smaller: " + file.toStdString());
    return subset;
}

// The /ToUnicode map of the composite font: each glyph's letter (the first
// of a glyph that has several).
std::string To_Unicode(hb_face_t *face, hb_font_t *font)
{
    std::map<hb_codepoint_t, hb_codepoint_t> letters; // glyph, letter
    const Set unicodes(hb_set_create());
    hb_face_collect_unicodes(face, unicodes.get());
    for (hb_codepoint_t letter = HB_SET_VALUE_INVALID; hb_set_next(unicodes.get(), &letter);)
        if (hb_codepoint_t glyph = 0; hb_font_get_nominal_glyph(font, letter, &glyph))
            letters.emplace(glyph, letter);
    std::string cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                       "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                       "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                       "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    for (auto at = letters.begin(); at != letters.end();) {
        const std::size_t count = std::min<std::size_t>(100, std::distance(at, letters.end()));
        cmap += std::to_string(count) + " beginbfchar\n";
        for (std::size_t i = 0; i < count; ++i, ++at)
            cmap += Hex4(at->first) + " " + Hex4(at->second) + "\n";
        cmap += "endbfchar\n";
    }
    return cmap + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

// The font's descriptor, with the font program itself.
Object Descriptor(QPDF &pdf, hb_face_t *subset, hb_font_t *font, const Object &base_font)
{
    const double per_mille = 1000.0 / hb_face_get_upem(subset);
    const auto metric = [&](hb_ot_metrics_tag_t tag) {
        hb_position_t value = 0;
        hb_ot_metrics_get_position(font, tag, &value);
        return Object::newInteger(qRound(value * per_mille));
    };
    // The box round every glyph, from the font's header.
    Object bounds = Object::newArray();
    const Blob head(hb_face_reference_table(subset, HB_TAG('h', 'e', 'a', 'd')));
    unsigned head_size = 0;
    const auto *header = reinterpret_cast<const unsigned char *>(hb_blob_get_data(head.get(), &head_size));
    for (unsigned at = 36; at < 44 && head_size >= 44; at += 2)
        bounds.appendItem(Object::newInteger(qRound(int16_t(header[at] << 8 | header[at + 1]) * per_mille)));

    const Blob program(hb_face_reference_blob(subset));
    unsigned size = 0;
    const char *bytes = hb_blob_get_data(program.get(), &size);
    Object file_stream = Compressed_Stream(pdf, std::string(bytes, size));
    file_stream.getDict().replaceKey("/Length1", Object::newInteger(size));
    return pdf.makeIndirectObject(Object::newDictionary({
        {"/Type", Object::newName("/FontDescriptor")},
        {"/FontName", base_font},
        {"/Flags", Object::newInteger(32)}, // not symbolic
        {"/FontBBox", bounds},
        {"/ItalicAngle", Object::newInteger(0)},
        {"/Ascent", metric(HB_OT_METRICS_TAG_HORIZONTAL_ASCENDER)},
        {"/Descent", metric(HB_OT_METRICS_TAG_HORIZONTAL_DESCENDER)},
        {"/CapHeight", metric(HB_OT_METRICS_TAG_CAP_HEIGHT)},
        {"/StemV", Object::newInteger(80)},
        {"/FontFile2", pdf.makeIndirectObject(file_stream)},
    }));
}

// A glyph's advance in thousandths of an em.
Object Width(hb_face_t *face, hb_font_t *font, hb_codepoint_t glyph)
{
    return Object::newInteger(qRound(hb_font_get_glyph_h_advance(font, glyph) * 1000.0 / hb_face_get_upem(face)));
}

// The fields' font: a composite font whose codes are the glyphs, with each
// glyph's width and, in its /ToUnicode, each glyph's letter, so that a
// reader draws new appearances in any of its letters (poppler looks the
// codes up through /ToUnicode, PDFium too). Tools that write only
// single-byte text into an appearance (qpdf) cannot write in it.
Object Unicode_Font(QPDF &pdf, hb_face_t *face, hb_font_t *font, const Object &base_font, const Object &descriptor)
{
    Object widths = Object::newArray();
    for (hb_codepoint_t glyph = 0; glyph < hb_face_get_glyph_count(face); ++glyph)
        widths.appendItem(Width(face, font, glyph));
    const Object descendant = pdf.makeIndirectObject(Object::newDictionary({
        {"/Type", Object::newName("/Font")},
        {"/Subtype", Object::newName("/CIDFontType2")},
        {"/BaseFont", base_font},
        {"/CIDSystemInfo", Object::newDictionary({{"/Registry", Object::newString("Adobe")},
                                                   {"/Ordering", Object::newString("Identity")},
                                                   {"/Supplement", Object::newInteger(0)}})},
        {"/FontDescriptor", descriptor},
        {"/W", Object::newArray({Object::newInteger(0), widths})},
        {"/CIDToGIDMap", Object::newName("/Identity")},
    }));
    return pdf.makeIndirectObject(Object::newDictionary({
        {"/Type", Object::newName("/Font")},
        {"/Subtype", Object::newName("/Type0")},
        {"/BaseFont", base_font},
        {"/Encoding", Object::newName("/Identity-H")},
        {"/DescendantFonts", Object::newArray({descendant})},
        {"/ToUnicode", pdf.makeIndirectObject(Compressed_Stream(pdf, To_Unicode(face, font)))},
    }));
}

Object Embed_Font(QPDF &pdf, const QString &file)
{
    const Face subset = Subset(file);
    const Font font(hb_font_create(subset.get()));
    // A subset's name begins with six capitals and a plus.
    const Object base_font = Object::newName("/QRVLSB+LiberationSans");
    const Object descriptor = Descriptor(pdf, subset.get(), font.get(), base_font);
    return Unicode_Font(pdf, subset.get(), font.get(), base_font, descriptor);
}

// An empty field draws nothing: its appearance is the marked-content
// sequence a reader replaces with the value. Each widget has its own stream
// and resources, so that a tool that writes a value into the stream it
// finds changes that field only.
Object Empty_Appearance(QPDF &pdf, const QRectF &rect, const Object &font)
{
    Object stream = Object::newStream(&pdf, "/Tx BMC\nEMC\n");
    Object dict = stream.getDict();
    dict.replaceKey("/Type", Object::newName("/XObject"));
    dict.replaceKey("/Subtype", Object::newName("/Form"));
    dict.replaceKey("/BBox", Object::newArray(Object::Rectangle(0, 0, rect.width(), rect.height())));
    Object fonts = Object::newDictionary();
    fonts.replaceKey(Font_Name, font);
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

// Puts `kid` under `parent`, or into the form's own list without one; a
// field of the form's list carries the form's resources.
void File_Kid(QPDFAcroFormDocumentHelper &form, Object parent, Object kid, const Object &resources)
{
    if (parent.isInitialized()) {
        kid.replaceKey("/Parent", parent);
        parent.getKey("/Kids").appendItem(kid);
    } else {
        kid.replaceKey("/DR", resources);
        form.addFormField(QPDFFormFieldObjectHelper(kid));
    }
}

// The border, never drawn (no colour is given to it), of a field whose
// value a reader fits to it: poppler (Okular) draws such a value as tall as
// the field less its border, floored to whole points, only smaller where
// it is too long, and PDFium within the border too. A border that leaves
// the form's own 8 points draws a short value as large as the form's
// lettering, not at some 11 points beside it.
double Fitting_Border(const QRectF &rect)
{
    constexpr double Lettering_Points = 8.01; // floored to 8
    return std::max(0.0, (rect.height() - Lettering_Points) / 2);
}

// A field's widget, which is the field itself (a terminal field with one
// widget). A notice stays off the printout and writes in red.
//
// The two stay one dictionary, although Firefox then makes a landmark of
// every field (pdf.js titles a widget's section by the widget's own /TU):
// poppler, with which Okular fills a form, takes a field's name, tooltip
// and scripts from its widget's dictionary and finds the calculation order
// by widget, so a field held apart from its widget reaches Okular without
// a name, a format or a sum.
Object Widget(QPDF &pdf, const Pdf_Field &field, const Object &page, const Object &font)
{
    const bool notice = field.Role == Pdf_Role::Notice;
    Object widget = pdf.makeIndirectObject(Object::newDictionary());
    widget.replaceKey("/Type", Object::newName("/Annot"));
    widget.replaceKey("/Subtype", Object::newName("/Widget"));
    widget.replaceKey("/FT", Object::newName("/Tx"));
    widget.replaceKey("/T", Text(field.Name.section(u'.', -1)));
    widget.replaceKey("/TU", Text(field.Tooltip));
    widget.replaceKey("/Rect", Object::newArray(Object::Rectangle(field.Rect.left(), field.Rect.top(),
                                                                  field.Rect.right(), field.Rect.bottom())));
    widget.replaceKey("/F", Object::newInteger(notice ? 0 : Print_Flag));
    if (field.Role != Pdf_Role::Typed)
        widget.replaceKey("/Ff", Object::newInteger(Read_Only_Flag));
    widget.replaceKey("/P", page);
    widget.replaceKey("/DA", Object::newString(QStringLiteral("%1 %2 Tf %3")
                                                   .arg(Font_Name)
                                                   .arg(field.Font_Size)
                                                   .arg(notice ? QStringLiteral("0.8 0 0 rg") : QStringLiteral("0 g"))
                                                   .toStdString()));
    if (field.Right_Aligned)
        widget.replaceKey("/Q", Object::newInteger(2));
    if (field.Font_Size == 0)
        widget.replaceKey("/BS", Object::newDictionary({{"/W", Object::newReal(Fitting_Border(field.Rect), 2)}}));
    Object appearance = Object::newDictionary();
    appearance.replaceKey("/N", pdf.makeIndirectObject(Empty_Appearance(pdf, field.Rect, font)));
    widget.replaceKey("/AP", appearance);
    return widget;
}

// Files `widget` under the fields that hold it ("breakfast" of
// "breakfast.mon"), made as they are first needed and kept in `parents` by
// name; a field that no other holds goes into the form's own list.
void File_Field(QPDFAcroFormDocumentHelper &form, std::map<QString, Object> &parents, const QString &name,
                Object widget, const Object &resources)
{
    const QStringList parts = name.split(u'.');
    Object parent;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        auto found = parents.find(parts.mid(0, i + 1).join(u'.'));
        if (found == parents.end()) {
            Object holder = widget.getOwningQPDF()->makeIndirectObject(Object::newDictionary());
            holder.replaceKey("/T", Text(parts[i]));
            holder.replaceKey("/Kids", Object::newArray());
            File_Kid(form, parent, holder, resources);
            found = parents.emplace(parts.mid(0, i + 1).join(u'.'), holder).first;
        }
        parent = found->second;
    }
    File_Kid(form, parent, widget, resources);
}

// Returns the widgets, in the order of `fields`.
std::vector<Object> Add_Fields(QPDF &pdf, const std::vector<Pdf_Field> &fields, const QString &font_file)
{
    const std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    if (pages.empty())
        throw Program_Fault("the PDF has no page");
    Object page = pages.front().getObjectHandle();
    Object annots = page.getKey("/Annots");
    if (!annots.isArray()) {
        annots = Object::newArray();
        page.replaceKey("/Annots", annots);
    }
    const Object font = Embed_Font(pdf, font_file);
    // Each empty appearance names the font, and the form's resources too:
    // PDFium takes it from the stream it writes into, poppler from the
    // form's resources, and pdf.js from a field's own resources (every
    // field of the form's list names the form's).
    Object form_fonts = Object::newDictionary();
    form_fonts.replaceKey(Font_Name, font);
    Object form_resources = pdf.makeIndirectObject(Object::newDictionary());
    form_resources.replaceKey("/Font", form_fonts);
    QPDFAcroFormDocumentHelper form(pdf);
    std::map<QString, Object> parents;
    // The fields go into /Fields in the order of `fields`, and into the
    // page's /Annots, the order of Tab in poppler, MuPDF and PDFium, with
    // every field typed in first: PDFium tabs through every widget of the
    // page, read-only or not, so a worked-out field or the notice goes
    // after the last field a person types in, where no Tab from one lands
    // on it and nothing typed for the next field is lost in it.
    std::vector<Object> widgets;
    for (const Pdf_Field &field : fields) {
        widgets.push_back(Widget(pdf, field, page, font));
        File_Field(form, parents, field.Name, widgets.back(), form_resources);
    }
    for (const bool typed : {true, false})
        for (std::size_t i = 0; i < fields.size(); ++i)
            if ((fields[i].Role == Pdf_Role::Typed) == typed)
                annots.appendItem(widgets[i]);
    Object acroForm = pdf.getRoot().getKey("/AcroForm");
    acroForm.replaceKey("/DR", form_resources);
    acroForm.replaceKey("/DA", Object::newString(std::string(Font_Name) + " 0 Tf 0 g"));
    return widgets;
}

// A font's /ToUnicode map with the space given back its letter. Qt's PDF
// writer maps each glyph of a page font to the lowest code point that its
// font engine draws with that glyph, and FreeType's engine draws a tab with
// the space glyph when the font has none: the space comes out as U+0009,
// and every word a reader extracts (and a screen reader reads) ends in a
// tab. The page draws no tab. A range's one letter starts a run of
// letters, so only a range of one glyph is the space alone.
std::string Spaces_Mended(std::string map)
{
    const std::string tab = "<0009>", space = "<0020>";
    bool in_section = false, range = false, in_array = false;
    std::vector<std::string> entry; // the entry's codes read so far, outside an array
    for (std::size_t at = 0; at < map.size(); ++at) {
        if (map.compare(at, 7, "beginbf") == 0) {
            in_section = true;
            range = map.compare(at, 12, "beginbfrange") == 0;
            entry.clear();
        } else if (map.compare(at, 5, "endbf") == 0) {
            in_section = false;
        } else if (in_section && (map[at] == '[' || map[at] == ']')) {
            in_array = map[at] == '[';
            entry.clear();
        } else if (in_section && map[at] == '<') {
            const std::size_t end = map.find('>', at);
            if (end == std::string::npos)
                break;
            const std::string code = map.substr(at, end + 1 - at);
            const bool letter = in_array || entry.size() == (range ? 2U : 1U);
            if (letter && code == tab && (in_array || !range || entry[0] == entry[1]))
                map.replace(at, tab.size(), space);
            if (!in_array)
                entry.push_back(code);
            if (letter && !in_array)
                entry.clear();
            at = end;
        }
    }
    return map;
}

// Gives the page fonts' spaces back their letter (Spaces_Mended).
void Mend_Spaces(QPDF &pdf)
{
    QPDFPageObjectHelper page = QPDFPageDocumentHelper(pdf).getAllPages().front();
    Object fonts = page.getAttribute("/Resources", false).getKey("/Font");
    if (!fonts.isDictionary())
        return;
    for (auto [name, font] : fonts.ditems()) {
        Object map = font.isDictionary() ? font.getKey("/ToUnicode") : Object();
        if (!map.isStream())
            continue;
        const std::shared_ptr<Buffer> data = map.getStreamData(qpdf_dl_generalized);
        const std::string text(reinterpret_cast<const char *>(data->getBuffer()), data->getSize());
        if (const std::string mended = Spaces_Mended(text); mended != text)
            Replace_Compressed(map, mended);
    }
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

extern "C" Q_DECL_EXPORT Result<QByteArray> Quorvel_Add_Pdf_Form(const QByteArray &bytes,
                                                                  const std::vector<Pdf_Field> &fields,
                                                                  const Pdf_Names &names, const QString &font_file,
                                                                  const Pdf_Extras &extras)
{
    // A PDF that qpdf finds damaged, and a font the machine lacks, are the
    // user's to know; anything else qpdf or this module throws is a fault of
    // the program and goes up as it is.
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.setAttemptRecovery(false);
        pdf.processMemoryFile("the printed page", bytes.constData(), size_t(bytes.size()));
        const std::vector<Object> widgets = Add_Fields(pdf, fields, font_file);
        Mend_Spaces(pdf);
        Add_Scripts(pdf, extras, fields, widgets);
        Add_Structure(pdf, extras, widgets);
        Name_Document(pdf, names);
        QPDFWriter writer(pdf);
        writer.setOutputMemory();
        // The page's own streams go out as Qt made them, the new ones as made here.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
        // The fields' dictionaries go into compressed object streams (PDF 1.5).
        writer.setObjectStreamMode(qpdf_o_generate);
        writer.write();
        // Whatever qpdf had to guess while reading means the PDF was not whole.
        if (pdf.anyWarnings())
            return Failure{QStringLiteral("the PDF is damaged: %1").arg(First_Warning(pdf))};
        const std::shared_ptr<Buffer> written = writer.getBufferSharedPointer();
        return QByteArray(reinterpret_cast<const char *>(written->getBuffer()), qsizetype(written->getSize()));
    } catch (const QPDFExc &damaged) {
        return Failure{QStringLiteral("the PDF is damaged: %1").arg(QString::fromStdString(damaged.what()))};
    } catch (const Font_Error &error) {
        return Failure{QString::fromStdString(error.what())};
    }
}
