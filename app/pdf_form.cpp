#include "pdf_form.h"

#include "form_fields.h"
#include "pdf_form_module.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QPageLayout>

#include <algorithm>
#include <cmath>

namespace {

// The module with qpdf in it, loaded on the first PDF: linked into the
// programs, qpdf and the libraries it needs (GnuTLS among them) would cost
// every start-up. Installed beside the programs' libraries; the programs of
// the build tree find it where the build made it.
Add_Pdf_Form_Function Module(QString &error)
{
    static QString failure;
    static const Add_Pdf_Form_Function function = []() -> Add_Pdf_Form_Function {
        const QString installed =
            QCoreApplication::applicationDirPath() + QStringLiteral("/" QUORVEL_FORM_MODULE_FROM_BINDIR);
        QLibrary library(QFileInfo::exists(installed) ? installed : QStringLiteral(QUORVEL_FORM_MODULE_BUILT));
        if (auto found = reinterpret_cast<Add_Pdf_Form_Function>(library.resolve(Add_Pdf_Form_Symbol)))
            return found;
        failure = QStringLiteral("the PDF form module cannot be loaded: %1").arg(library.errorString());
        return nullptr;
    }();
    error = failure;
    return function;
}

// Helvetica as large as the form's own 8-point lettering where a line of
// writing has room for it, with a point to spare above and below.
double Font_Size(Integer line)
{
    const double points = line / 20.0;
    return std::min(8.0, std::floor((points - 2) / 0.95 * 2) / 2);
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

QString Make_Fillable_Form(QByteArray &pdf, const QPageLayout &layout, int resolution)
{
    QString error;
    const Add_Pdf_Form_Function add = Module(error);
    if (!add)
        return error;
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
    std::vector<Pdf_Field> fields;
    for (const Form_Field &field : Form_Fields()) {
        const QRectF rect(QPointF(x(field.Rect.X1), y(field.Rect.Y2)), QPointF(x(field.Rect.X2), y(field.Rect.Y1)));
        fields.push_back({field.Name, field.Words, rect, Font_Size(field.Line), field.Kind == Field_Kind::Amount,
                          field.Kind == Field_Kind::Multi_Line});
    }
    QByteArray form;
    error = add(pdf, fields, {Document_Title(), Document_Creator()}, form);
    if (error.isEmpty())
        pdf = form;
    return error;
}
