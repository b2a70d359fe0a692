#include "printed_page.h"

#include <poppler-qt6.h>

#include <QFileInfo>
#include <QTest>

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

// Ink of a grey image in a rectangle: the darkness of its pixels, summed.
double Ink(const QImage &image, const QRect &rect)
{
    double ink = 0;
    const QRect on = rect.intersected(image.rect());
    for (int y = on.top(); y <= on.bottom(); ++y)
        for (int x = on.left(); x <= on.right(); ++x)
            ink += 255 - image.constScanLine(y)[x];
    return ink;
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

QString Sheet_Difference(const QImage &page, QPointF printableTopLeft, const QImage &sheet)
{
    if (page.isNull() || sheet.isNull())
        return QStringLiteral("no picture");
    const QPoint corner = (printableTopLeft * 96 / 72).toPoint();
    // Only the part of the sheet that lies on the paper.
    const QRect on_paper = QRect(corner, sheet.size()).intersected(page.rect());
    const QImage printed = page.convertToFormat(QImage::Format_Grayscale8).copy(on_paper);
    const QImage shown = sheet.convertToFormat(QImage::Format_Grayscale8).copy(on_paper.translated(-corner));
    // Block by block, each side's ink must be found on the other within a
    // reach of two pixels (positions on screen are whole pixels, on paper
    // exact), give or take the edges that antialiasing blurs and renderers
    // draw a little lighter or darker.
    constexpr int Block = 12, Reach = 2;
    constexpr double Ratio = 1.6, Slack = 255 * 5;
    for (int y = 0; y < shown.height(); y += Block) {
        for (int x = 0; x < shown.width(); x += Block) {
            const QRect block(x, y, Block, Block);
            const QRect around = block.adjusted(-Reach, -Reach, Reach, Reach);
            const double p = Ink(printed, block), s = Ink(shown, block);
            if (p > Ink(shown, around) * Ratio + Slack || s > Ink(printed, around) * Ratio + Slack)
                return QStringLiteral("the %1 x %1 pixels at (%2, %3) hold ink %4 printed and %5 on the screen")
                    .arg(Block).arg(x).arg(y).arg(p / 255, 0, 'f', 1).arg(s / 255, 0, 'f', 1);
        }
    }
    return {};
}

void Check_Same_Sheet(const QImage &page, QPointF printableTopLeft, const QImage &sheet)
{
    const QString difference = Sheet_Difference(page, printableTopLeft, sheet);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
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
