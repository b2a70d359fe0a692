#include "printed_page.h"

#include <poppler-qt6.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

// The first page of a PDF, with the document it needs.
struct First_Page {
    std::unique_ptr<Poppler::Document> document;
    std::unique_ptr<Poppler::Page> page;

    explicit First_Page(const QString &pdf) : document(Poppler::Document::load(pdf))
    {
        if (document && !document->isLocked() && document->numPages() > 0)
            page = document->page(0);
    }
};

struct Label {
    QString text; // one or more words, as printed
    double x;     // twips from the printable area: left, centre or right edge
    char align;   // 'L', 'C' or 'R'
    double top;   // twips from the printable area
};

// A few labels from every part of the form, offsets included.
const Label Labels[] = {
    {"HALBEK INCORPORATED", 4575 + 1340, 'C', 250 + 80}, {"NAME:", 1260 + 1340, 'R', 1300 + 80},
    {"TOTAL AMOUNT DUE COMPANY:", 8260 + 1340, 'R', 2600 + 80}, {"WEEK ENDING:", 1330 + 1340, 'R', 3272 + 80},
    {"SUN", 7205 + 1340, 'C', 3090 + 80}, {"INSTRUCTIONS", 4575 + 1340, 'C', 10018 + 80},
    {"EMPLOYEE SIGNATURE", 0 + 1340, 'L', 14300 + 80},
};

// Dark pixels per row (or column) of a grey image, over a band of five.
QList<double> Profile(const QImage &image, bool rows)
{
    const int length = rows ? image.height() : image.width();
    QList<double> ink(length + 4, 0.0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.constScanLine(y)[x] < 128)
                for (int d = 0; d < 5; ++d)
                    ink[(rows ? y : x) + d] += 1;
    return ink;
}

double Correlation(const QList<double> &a, const QList<double> &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    double meanA = 0, meanB = 0, ab = 0, aa = 0, bb = 0;
    for (qsizetype i = 0; i < n; ++i)
        meanA += a[i] / n, meanB += b[i] / n;
    for (qsizetype i = 0; i < n; ++i) {
        ab += (a[i] - meanA) * (b[i] - meanB);
        aa += (a[i] - meanA) * (a[i] - meanA);
        bb += (b[i] - meanB) * (b[i] - meanB);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

} // namespace

int Pdf_Page_Count(const QString &pdf)
{
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(pdf);
    return document && !document->isLocked() ? document->numPages() : -1;
}

QSizeF Pdf_Page_Size(const QString &pdf)
{
    const First_Page first(pdf);
    return first.page ? first.page->pageSizeF() : QSizeF();
}

QList<Printed_Word> Pdf_Words(const QString &pdf)
{
    QList<Printed_Word> words;
    const First_Page first(pdf);
    if (first.page)
        for (const auto &box : first.page->textList())
            words.append({box->text(), box->boundingBox()});
    return words;
}

QImage Pdf_Image(const QString &pdf, int dpi)
{
    const First_Page first(pdf);
    return first.page ? first.page->renderToImage(dpi, dpi).convertToFormat(QImage::Format_Grayscale8) : QImage();
}

QList<QImage> Pdf_Images(const QString &pdf)
{
    // poppler's Qt library renders pages but does not hand out their images.
    QTemporaryDir dir;
    QProcess::execute(QStringLiteral("pdfimages"), {QStringLiteral("-png"), pdf, dir.filePath(QStringLiteral("image"))});
    QList<QImage> images;
    for (const QString &name : QDir(dir.path()).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name))
        images.append(QImage(dir.filePath(name)));
    return images;
}

void Check_Label_Positions(const QList<Printed_Word> &words, QPointF printableTopLeft)
{
    constexpr double Slack = 20; // a point: font metrics round differently on paper
    for (const Label &label : Labels) {
        const QStringList parts = label.text.split(u' ');
        bool found = false;
        for (qsizetype i = 0; !found && i + parts.size() <= words.size(); ++i) {
            QRectF box;
            qsizetype k = 0;
            for (; k < parts.size() && words[i + k].text == parts[k]; ++k)
                box = box.united(words[i + k].box);
            if (k < parts.size())
                continue;
            box.translate(-printableTopLeft);
            const double edge = label.align == 'L' ? box.left() : label.align == 'R' ? box.right() : box.center().x();
            found = std::abs(edge * 20 - label.x) <= Slack && std::abs(box.top() * 20 - label.top) <= Slack;
        }
        QVERIFY2(found, qPrintable(QStringLiteral("\"%1\" is not printed at (%2, %3) twips")
                                       .arg(label.text)
                                       .arg(label.x)
                                       .arg(label.top)));
    }
}

void Check_Same_Sheet(const QImage &page, QPointF printableTopLeft, const QImage &sheet)
{
    QVERIFY(!page.isNull() && !sheet.isNull());
    const QPoint corner = (printableTopLeft * 96 / 72).toPoint();
    const QImage printed = page.copy(QRect(corner, sheet.size()));
    const QImage shown = sheet.convertToFormat(QImage::Format_Grayscale8);
    for (const bool rows : {true, false}) {
        const double r = Correlation(Profile(printed, rows), Profile(shown, rows));
        QVERIFY2(r > 0.9, qPrintable(QStringLiteral("ink by %1 correlates %2").arg(rows ? "row" : "column").arg(r)));
    }
}
