#include "pdf_form.h"

#include "form_extras.h"
#include "form_fields.h"
#include "form_totals.h"
#include "form_module_digest.h"
#include "output_file.h"
#include "page_build.h"
#include "pdf_form_module.h"
#include "printer_surface.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPdfWriter>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/stat.h>

namespace {

// The folder of the running program as the kernel started it: through
// /proc/self/exe, or without /proc the name it was started by, its links
// resolved.
QString Program_Folder()
{
    char *path = ::realpath("/proc/self/exe", nullptr);
    if (!path) {
        if (const auto started = reinterpret_cast<const char *>(::getauxval(AT_EXECFN)))
            path = ::realpath(started, nullptr);
    }
    if (!path)
        return {};
    const QString program = QFile::decodeName(path);
    std::free(path);
    return QFileInfo(program).path();
}

// The module the build made, and no other: a file of another size or digest
// (truncated, damaged, replaced) is refused before it is mapped, where a
// truncated library would end the program with SIGBUS.
Result<> Check_Module(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Failure{QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return Failure{QStringLiteral("%1 is not a file").arg(path)};
    if (status.st_size != QUORVEL_FORM_MODULE_SIZE)
        return Failure{QStringLiteral("%1 is damaged or not the one built with this program (%2 bytes, not %3)")
            .arg(path)
            .arg(status.st_size)
            .arg(QUORVEL_FORM_MODULE_SIZE)};
    QCryptographicHash digest(QCryptographicHash::Sha256);
    if (!digest.addData(&file))
        return Failure{QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString())};
    if (digest.result().toHex() != QUORVEL_FORM_MODULE_SHA256)
        return Failure{QStringLiteral("%1 is damaged or not the one built with this program (its SHA-256 differs)").arg(path)};
    return {};
}

// The module with qpdf in it, loaded on the first PDF: linked into the
// programs, qpdf and the libraries it needs (GnuTLS among them) would cost
// every start-up. It is looked for where it is installed relative to the
// program, and the build tree is laid out the same way; nowhere else.
Result<void *> Module_Library()
{
    static const Result<void *> module = []() -> Result<void *> {
        const QString folder = Program_Folder();
        if (folder.isEmpty())
            return Failure{QStringLiteral("the program's own folder is not known")};
        const QString path = QDir::cleanPath(folder + QStringLiteral("/" QUORVEL_FORM_MODULE_FROM_BINDIR));
        if (const Result<> checked = Check_Module(path); !checked.Ok())
            return Failure{checked.Message()};
        if (void *library = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL))
            return library;
        return Failure{QString::fromLocal8Bit(::dlerror())};
    }();
    return module;
}

// One of the module's functions, by the name it exports.
template <typename Function>
Result<Function> Module_Function(const char *symbol)
{
    const auto cannot = [](const QString &why) {
        return Failure{QStringLiteral("the PDF form module cannot be loaded: %1").arg(why)};
    };
    const Result<void *> library = Module_Library();
    if (!library.Ok())
        return cannot(library.Message());
    if (auto found = reinterpret_cast<Function>(::dlsym(library.Value(), symbol)))
        return found;
    return cannot(QStringLiteral("it has no function %1 (%2)")
                      .arg(QLatin1String(symbol), QString::fromLocal8Bit(::dlerror())));
}

// The fields' face, from fonts-liberation: metric-compatible with the
// Arial and Helvetica of the page.
constexpr const char *Field_Font_File = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";

// Readers keep 2 points clear on either side of a value. The widest face a
// reader may draw an amount in is DejaVu Sans (pdf.js's substitute on
// Debian, some 14 % wider than the Liberation Sans the form embeds): its
// digits are 0.636 em wide, its comma and point 0.318 em.
constexpr double Reader_Margin = 2;
constexpr double Digit_Em = 0.636, Comma_Em = 0.318;

// The most each amount field can hold, in cents: a typed amount up to the
// cap, a total up to what its terms add up to at most.
std::map<QString, double> Most_Held()
{
    std::map<QString, double> most;
    for (const Form_Field &field : Form_Fields())
        most[field.Name] = double(Most_Typed_Cents);
    for (const Form_Total &total : Form_Totals()) {
        double sum = 0;
        for (const QString &term : total.Plus)
            sum += most[term];
        most[total.Name] = sum;
    }
    return most;
}

// The size of a field's value: for an amount, as large as the form's own
// 8-point lettering where the field has room for the widest amount it may
// show (every digit of it a nine; a total as much as its terms add up to),
// in half points, so that no amount is ever cut short; for the notice, the
// form's own; for words, the reader's own, which fits a long value to
// the field (pdf.js, PDFium, MuPDF, poppler) where a fixed size would cut
// it.
double Font_Size(const Form_Field &field, double width, const std::map<QString, double> &most)
{
    if (field.Kind == Field_Kind::Notice)
        return Notice_Points; // its scripts keep its words to what shows whole
    if (field.Kind != Field_Kind::Amount)
        return 0;
    const int digits = int(QString::number(std::floor(most.at(field.Name) / 100), 'f', 0).size());
    const double em = (digits + 2) * Digit_Em + ((digits - 1) / 3 + 1) * Comma_Em;
    return std::floor(std::min(8.0, (width - 2 * Reader_Margin) / em) * 2) / 2;
}

// A computed field's name as a reader says it: what it is, that it is
// worked out (a screen reader's browse mode does not say read-only), and
// for an amount due, why it may show "?".
QString Computed_Words(const Form_Field &field, const Form_Total &total)
{
    if (!total.Above_Zero)
        return field.Words + QStringLiteral(", worked out (read-only)");
    return field.Words + QStringLiteral(", worked out (read-only); it shows ? while the notice over the grid says "
                                        "that an entry is not an amount or a row does not add up");
}

} // namespace

QString Document_Title()
{
    return QStringLiteral("Travel Expense Report");
}

QString Document_Creator()
{
    return QStringLiteral("Quorvel " QUORVEL_VERSION);
}

Result<QByteArray> Make_Fillable_Form(const QByteArray &pdf, const QPageLayout &layout, int resolution)
{
    const Result<Add_Pdf_Form_Function> add = Module_Function<Add_Pdf_Form_Function>(Add_Pdf_Form_Symbol);
    if (!add.Ok())
        return Failure{add.Message()};
    // Printer_Surface draws in twips from the printable area's top-left
    // corner, at the device's pixels; Qt's PDF engine puts that corner where
    // its pixel falls and turns pixels into points, y upwards from the foot
    // of the page.
    const QPoint corner = layout.paintRectPixels(resolution).topLeft();
    const double pageHeight = layout.fullRectPoints().height();
    const auto x = [&](Integer page) {
        return (corner.x() + double(page + Page_Offset_X) * resolution / Twips_Per_Inch) * 72 / resolution;
    };
    const auto y = [&](Integer page) {
        return pageHeight - (corner.y() + double(page + Page_Offset_Y) * resolution / Twips_Per_Inch) * 72 / resolution;
    };
    std::map<QString, const Form_Total *> computed;
    for (const Form_Total &total : Form_Totals())
        computed[total.Name] = &total;
    const std::map<QString, double> most = Most_Held();
    std::vector<Pdf_Field> fields;
    for (const Form_Field &field : Form_Fields()) {
        const QRectF rect(QPointF(x(field.Rect.X1), y(field.Rect.Y2)), QPointF(x(field.Rect.X2), y(field.Rect.Y1)));
        const auto total = computed.find(field.Name);
        const Pdf_Role role = field.Kind == Field_Kind::Notice ? Pdf_Role::Notice
                              : total != computed.end()        ? Pdf_Role::Computed
                                                               : Pdf_Role::Typed;
        fields.push_back({field.Name, total != computed.end() ? Computed_Words(field, *total->second) : field.Words,
                          rect, Font_Size(field, rect.width(), most), field.Kind == Field_Kind::Amount, role});
    }
    return add.Value()(pdf, fields, {Document_Title(), Document_Creator()}, QString::fromLatin1(Field_Font_File),
                       {Form_Scripts(), Open_Script(), Form_Structure(), QStringLiteral("en-US")});
}

namespace {

// The page as Qt's PDF writer draws it, and the layout it drew it on.
std::pair<QByteArray, QPageLayout> Draw_Pdf(const std::optional<QPageLayout> &layout)
{
    // Qt's PDF writer writes into memory, where no write fails unseen; the
    // file, if any, is written afterwards, every write checked.
    QBuffer memory;
    memory.open(QIODevice::WriteOnly);
    QPdfWriter writer(&memory);
    writer.setResolution(Pdf_Resolution);
    if (layout)
        writer.setPageLayout(*layout);
    else
        Set_Up_Letter(writer);
    writer.setTitle(Document_Title());
    writer.setCreator(Document_Creator());
    Printer_Surface surface(writer);
    {
        const Drawing_Scope scope(surface, 1);
        Build_Page();
    }
    // Every document the surface ends is one page.
    if (surface.Documents() != 1)
        throw Program_Fault(std::to_string(surface.Documents()) + " pages drawn, not one");
    return {memory.data(), writer.pageLayout()};
}

} // namespace

QByteArray Drawn_Pdf(const std::optional<QPageLayout> &layout)
{
    return Draw_Pdf(layout).first;
}

Result<QByteArray> Page_Pdf(const std::optional<QPageLayout> &layout)
{
    const auto [pdf, drawn] = Draw_Pdf(layout);
    // qpdf reads the page back strictly: a PDF that Qt did not make whole is refused.
    Result<QByteArray> form = Make_Fillable_Form(pdf, drawn, Pdf_Resolution);
    if (!form.Ok())
        return Failure{QStringLiteral("cannot make the fillable form: %1").arg(form.Message())};
    return form;
}

Result<> Write_Page_Pdf(const QByteArray &path, const std::optional<QPageLayout> &layout,
                        std::chrono::milliseconds lock_wait)
{
    const Result<QByteArray> pdf = Page_Pdf(layout);
    if (!pdf.Ok())
        return Failure{pdf.Message()};
    if (const Result<> written = Write_Whole_File(path, pdf.Value(), lock_wait); !written.Ok())
        return Failure{QStringLiteral("cannot write %1: %2").arg(QFile::decodeName(path), written.Message())};
    return {};
}

Result<std::vector<Pdf_Field_Value>> Read_Pdf_Fields(const QByteArray &pdf, std::size_t most_fields)
{
    const auto read = Module_Function<Read_Pdf_Fields_Function>(Read_Pdf_Fields_Symbol);
    if (!read.Ok())
        return Failure{read.Message()};
    return read.Value()(pdf, most_fields);
}
