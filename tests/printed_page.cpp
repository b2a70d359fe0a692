#include "printed_page.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

QByteArray Run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

constexpr double Twips_Per_Point = 20;

struct Label {
    QString text;     // one or more words, as printed
    double x;         // twips from the printable area: left, centre or right edge
    char align;       // 'L', 'C' or 'R'
    double top;       // twips from the printable area
};

// A few labels from every part of the form, offsets included.
const Label Labels[] = {
    {"HALBEK INCORPORATED", 4575 + 1340, 'C', 250 + 80},
    {"TRAVEL EXPENSE REPORT", 4575 + 1340, 'C', 450 + 80},
    {"NAME:", 1260 + 1340, 'R', 1300 + 80},
    {"TOTAL AMOUNT DUE COMPANY:", 8260 + 1340, 'R', 2600 + 80},
    {"EXPENSES FOR", 40 + 1340, 'L', 3090 + 80},
    {"WEEK ENDING:", 1330 + 1340, 'R', 3272 + 80},
    {"MON", 2537 + 1340, 'C', 3090 + 80},
    {"SUN", 7205 + 1340, 'C', 3090 + 80},
    {"NOTES:", 4575 + 1340, 'C', 9180 + 80},
    {"INSTRUCTIONS", 4575 + 1340, 'C', 10018 + 80},
    {"EMPLOYEE SIGNATURE", 0 + 1340, 'L', 14300 + 80},
};

// The boxes of every run of consecutive words that spells `phrase`.
QList<QRectF> Find_Phrase(const QList<Printed_Word> &words, const QString &phrase)
{
    const QStringList parts = phrase.split(u' ');
    QList<QRectF> found;
    for (qsizetype i = 0; i + parts.size() <= words.size(); ++i) {
        QRectF box;
        qsizetype k = 0;
        for (; k < parts.size() && words[i + k].text == parts[k]; ++k)
            box = box.isNull() ? words[i + k].box : box.united(words[i + k].box);
        if (k == parts.size())
            found.append(box);
    }
    return found;
}

// Rows of a grey-scale image (one byte a pixel) that satisfy `row_test`,
// merged into runs: first and last row of each.
template <typename Test>
QList<QPair<int, int>> Row_Runs(const QImage &image, Test row_test)
{
    QList<QPair<int, int>> runs;
    for (int y = 0; y < image.height(); ++y) {
        if (!row_test(image.constScanLine(y), image.width()))
            continue;
        if (!runs.isEmpty() && runs.last().second == y - 1)
            runs.last().second = y;
        else
            runs.append({y, y});
    }
    return runs;
}

int Longest_Run(const uchar *row, int width, uchar low, uchar high)
{
    int longest = 0;
    for (int x = 0, run = 0; x < width; ++x) {
        run = (row[x] >= low && row[x] <= high) ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// A rule: a dark run across at least 60 pixels (the shortest rules of the
// form are 790 twips, 52 pixels, are not needed to line the pages up).
bool Rule_Row(const uchar *row, int width)
{
    return Longest_Run(row, width, 0, 110) >= 60;
}

// The light grey shading, RGB(200, 200, 200), across most of the grid (the
// column rules cut it into pieces).
bool Grey_Row(const uchar *row, int width)
{
    return std::count_if(row, row + width, [](uchar grey) { return grey >= 185 && grey <= 215; }) >= 300;
}

QString Describe(const QList<QPair<int, int>> &runs)
{
    QStringList parts;
    for (const auto &run : runs)
        parts.append(QStringLiteral("%1-%2").arg(run.first).arg(run.second));
    return parts.join(u' ');
}

// Every run of `a` has one in `b` within `slack` rows at both ends, and the
// other way round.
bool Same_Runs(const QList<QPair<int, int>> &a, const QList<QPair<int, int>> &b, int slack)
{
    auto covered = [slack](const QList<QPair<int, int>> &from, const QList<QPair<int, int>> &in) {
        return std::all_of(from.begin(), from.end(), [&](const QPair<int, int> &run) {
            return std::any_of(in.begin(), in.end(), [&](const QPair<int, int> &other) {
                return std::abs(run.first - other.first) <= slack && std::abs(run.second - other.second) <= slack;
            });
        });
    };
    return covered(a, b) && covered(b, a);
}

// Dark pixels per column between two rows, smoothed over 5 columns.
QList<double> Column_Profile(const QImage &image, int top, int bottom)
{
    QList<double> counts(image.width(), 0.0);
    for (int y = top; y < bottom; ++y) {
        const uchar *row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x)
            counts[x] += row[x] < 140 ? 1 : 0;
    }
    QList<double> smooth(counts.size(), 0.0);
    for (qsizetype x = 0; x < counts.size(); ++x)
        for (qsizetype d = -2; d <= 2; ++d)
            if (x + d >= 0 && x + d < counts.size())
                smooth[x] += counts[x + d];
    return smooth;
}

double Correlation(const QList<double> &a, const QList<double> &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    double meanA = 0, meanB = 0;
    for (qsizetype i = 0; i < n; ++i) {
        meanA += a[i];
        meanB += b[i];
    }
    meanA /= n;
    meanB /= n;
    double ab = 0, aa = 0, bb = 0;
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
    const QByteArray info = Run(QStringLiteral("pdfinfo"), {pdf});
    const auto match = QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption)
                           .match(QString::fromUtf8(info));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QSize Pdf_Page_Size(const QString &pdf)
{
    const QByteArray info = Run(QStringLiteral("pdfinfo"), {pdf});
    const auto match =
        QRegularExpression(QStringLiteral("^Page size:\\s+([\\d.]+) x ([\\d.]+) pts"), QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(info));
    return match.hasMatch() ? QSize(qRound(match.captured(1).toDouble()), qRound(match.captured(2).toDouble())) : QSize();
}

QList<Printed_Word> Pdf_Words(const QString &pdf)
{
    const QString html = QString::fromUtf8(Run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, "-"}));
    static const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    QList<Printed_Word> words;
    for (const auto &match : word.globalMatch(html)) {
        QString text = match.captured(5);
        text.replace(QStringLiteral("&amp;"), QStringLiteral("&"))
            .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&quot;"), QStringLiteral("\""));
        words.append({text, QRectF(QPointF(match.captured(1).toDouble(), match.captured(2).toDouble()),
                                   QPointF(match.captured(3).toDouble(), match.captured(4).toDouble()))});
    }
    return words;
}

QImage Pdf_Image(const QString &pdf, int dpi)
{
    QTemporaryDir dir;
    const QString stem = dir.filePath(QStringLiteral("page"));
    Run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"),
                                     QStringLiteral("-singlefile"), QStringLiteral("-png"), pdf, stem});
    QImage image(stem + QStringLiteral(".png"));
    return image.isNull() ? image : image.convertToFormat(QImage::Format_Grayscale8);
}

QList<QImage> Pdf_Images(const QString &pdf)
{
    QTemporaryDir dir;
    Run(QStringLiteral("pdfimages"), {QStringLiteral("-png"), pdf, dir.filePath(QStringLiteral("image"))});
    QList<QImage> images;
    for (const QString &name : QDir(dir.path()).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name))
        images.append(QImage(dir.filePath(name)));
    return images;
}

namespace {

// The box (points, from the page's corner) of the occurrence of `label`
// nearest to where the form puts it, and that distance in twips.
std::optional<QPair<QRectF, QPointF>> Nearest_Label(const QList<Printed_Word> &words, const Label &label,
                                                     QPointF printableTopLeft)
{
    std::optional<QPair<QRectF, QPointF>> best;
    for (const QRectF &box : Find_Phrase(words, label.text)) {
        const double left = (box.left() - printableTopLeft.x()) * Twips_Per_Point;
        const double right = (box.right() - printableTopLeft.x()) * Twips_Per_Point;
        const double x = label.align == 'L' ? left : label.align == 'R' ? right : (left + right) / 2;
        const QPointF at(x, (box.top() - printableTopLeft.y()) * Twips_Per_Point);
        const auto distance = [&](QPointF p) { return std::hypot(p.x() - label.x, p.y() - label.top); };
        if (!best || distance(at) < distance(best->second))
            best = {{box, at}};
    }
    return best;
}

// The bounding box of the dark pixels inside `window`.
QRect Ink(const QImage &image, const QRect &window)
{
    QRect ink;
    const QRect area = window.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar *row = image.constScanLine(y);
        for (int x = area.left(); x <= area.right(); ++x)
            if (row[x] < 128)
                ink |= QRect(x, y, 1, 1);
    }
    return ink;
}

} // namespace

void Check_Label_Positions(const QList<Printed_Word> &words, QPointF printableTopLeft)
{
    // Text is placed by its advance widths and its ascent; a point covers
    // the rounding of both between the printer's font metrics and the PDF's.
    constexpr double Slack = 20;
    QVERIFY2(!words.isEmpty(), "no text on the printed page");
    for (const Label &label : Labels) {
        const auto found = Nearest_Label(words, label, printableTopLeft);
        QVERIFY2(found, qPrintable(QStringLiteral("\"%1\" is not on the printed page").arg(label.text)));
        const QPointF at = found->second;
        QVERIFY2(std::abs(at.x() - label.x) <= Slack && std::abs(at.y() - label.top) <= Slack,
                 qPrintable(QStringLiteral("\"%1\" printed at (%2, %3) twips, expected (%4, %5)")
                                .arg(label.text)
                                .arg(at.x(), 0, 'f', 0)
                                .arg(at.y(), 0, 'f', 0)
                                .arg(label.x)
                                .arg(label.top)));
    }
}

void Check_Same_Label_Ink(const QString &referencePdf, QPointF referenceTopLeft, const QString &otherPdf,
                          QPointF otherTopLeft)
{
    constexpr int Dpi = 288; // 5 twips a pixel
    constexpr double Scale = Dpi / 72.0;
    const QList<Printed_Word> words = Pdf_Words(referencePdf);
    const QImage reference = Pdf_Image(referencePdf, Dpi);
    const QImage other = Pdf_Image(otherPdf, Dpi);
    QVERIFY(!reference.isNull());
    QVERIFY(!other.isNull());
    for (const Label &label : Labels) {
        const auto found = Nearest_Label(words, label, referenceTopLeft);
        QVERIFY2(found, qPrintable(QStringLiteral("\"%1\" is not on the reference page").arg(label.text)));
        // The label's box, half a point larger, from the printable area.
        const QRectF box = found->first.adjusted(-0.5, -0.5, 0.5, 0.5).translated(-referenceTopLeft);
        const auto window = [&](QPointF topLeft) {
            return QRectF(box.translated(topLeft).topLeft() * Scale, box.size() * Scale).toAlignedRect();
        };
        const QRect inkReference = Ink(reference, window(referenceTopLeft)).translated(-(referenceTopLeft * Scale).toPoint());
        const QRect inkOther = Ink(other, window(otherTopLeft)).translated(-(otherTopLeft * Scale).toPoint());
        QVERIFY2(!inkReference.isEmpty() && !inkOther.isEmpty(),
                 qPrintable(QStringLiteral("\"%1\" is not inked on both pages").arg(label.text)));
        const QPoint corner = inkOther.topLeft() - inkReference.topLeft();
        const QPoint far = inkOther.bottomRight() - inkReference.bottomRight();
        QVERIFY2(std::max({std::abs(corner.x()), std::abs(corner.y()), std::abs(far.x()), std::abs(far.y())}) <= 2,
                 qPrintable(QStringLiteral("\"%1\" inked at %2,%3-%4,%5 instead of %6,%7-%8,%9 (pixels at %10 DPI)")
                                .arg(label.text)
                                .arg(inkOther.left()).arg(inkOther.top()).arg(inkOther.right()).arg(inkOther.bottom())
                                .arg(inkReference.left()).arg(inkReference.top())
                                .arg(inkReference.right()).arg(inkReference.bottom())
                                .arg(Dpi)));
    }
}

void Check_Same_Structure(const QImage &printed, QPointF printableTopLeft, const QImage &preview)
{
    QVERIFY(!printed.isNull());
    QVERIFY(!preview.isNull());
    // The preview is the sheet; on paper the sheet starts at the printable area.
    const QPoint offset(qRound(printableTopLeft.x() * 96 / 72), qRound(printableTopLeft.y() * 96 / 72));
    const QRect sheet = QRect(offset, preview.size()).intersected(printed.rect());
    QVERIFY2(sheet.height() > preview.height() * 9 / 10, "the printed page does not hold the sheet");
    const QImage paper = printed.copy(sheet);
    const QImage screen = preview.convertToFormat(QImage::Format_Grayscale8).copy(QRect(QPoint(), sheet.size()));

    // Rules from below the title block: above it are the logos, pictures
    // that screen and printer scale each in their own way.
    const auto below_title = [](QList<QPair<int, int>> runs) {
        runs.removeIf([](const QPair<int, int> &run) { return run.first < 70; });
        return runs;
    };
    const auto paperRules = below_title(Row_Runs(paper, Rule_Row));
    const auto screenRules = below_title(Row_Runs(screen, Rule_Row));
    QVERIFY2(screenRules.size() >= 20, qPrintable(Describe(screenRules)));
    QVERIFY2(Same_Runs(paperRules, screenRules, 2),
             qPrintable(QStringLiteral("rules on paper: %1\nrules on screen: %2")
                            .arg(Describe(paperRules), Describe(screenRules))));

    const auto paperGrey = Row_Runs(paper, Grey_Row);
    const auto screenGrey = Row_Runs(screen, Grey_Row);
    QVERIFY2(!screenGrey.isEmpty(), "no grey bands on the preview");
    QVERIFY2(Same_Runs(paperGrey, screenGrey, 2),
             qPrintable(QStringLiteral("grey on paper: %1\ngrey on screen: %2")
                            .arg(Describe(paperGrey), Describe(screenGrey))));

    // Text blocks, in sheet pixels at 96 DPI: the title (right of the logos,
    // which are pictures in their own colours), the identity block, the
    // instructions.
    const QRect blocks[] = {QRect(QPoint(290, 20), QPoint(screen.width() - 1, 62)),
                            QRect(QPoint(0, 92), QPoint(screen.width() - 1, 196)),
                            QRect(QPoint(0, 673), QPoint(screen.width() - 1, 867))};
    for (const QRect &block : blocks) {
        const double r = Correlation(Column_Profile(paper.copy(block), 0, block.height()),
                                     Column_Profile(screen.copy(block), 0, block.height()));
        QVERIFY2(r > 0.9, qPrintable(QStringLiteral("text columns of rows %1-%2 differ (correlation %3)")
                                         .arg(block.top())
                                         .arg(block.bottom())
                                         .arg(r)));
    }
}
