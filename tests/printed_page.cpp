#include "printed_page.h"

#include <poppler-qt6.h>

#include <QFileInfo>
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

QImage Pdf_Image(const QString &pdf, int dpi)
{
    const First_Page first(pdf);
    return first.page ? first.page->renderToImage(dpi, dpi).convertToFormat(QImage::Format_Grayscale8) : QImage();
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

void Check_Reference_Image(const QImage &drawn, const QString &reference)
{
    const QImage actual = drawn.convertToFormat(QImage::Format_RGB32);
    const QImage expected = QImage(reference).convertToFormat(QImage::Format_RGB32);
    if (actual == expected)
        return;
    const QString saved = QFileInfo(reference).fileName();
    actual.save(saved);
    QPoint at(-1, -1);
    for (int y = 0; y < actual.height() && at.y() < 0; ++y)
        for (int x = 0; x < actual.width() && at.y() < 0; ++x)
            if (!expected.valid(x, y) || actual.pixel(x, y) != expected.pixel(x, y))
                at = QPoint(x, y);
    QFAIL(qPrintable(QStringLiteral("%1x%2 pixels, the reference %3x%4; first difference at (%5, %6); drawn: %7")
                         .arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height())
                         .arg(at.x()).arg(at.y()).arg(saved)));
}
