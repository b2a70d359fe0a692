// The page printed to a PDF: one document of one page, the texts where the
// form puts them measured from the printable area's corner, and a page whose
// drawing fails is dropped instead of reaching the printer half drawn.
#include "error_of.h"
#include "page_build.h"
#include "printer_surface.h"

#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Word_Box {
    double xMin = -1, yMin = -1, xMax = -1, yMax = -1;
    bool found() const { return xMin >= 0; }
};

// Every word of a PDF with its box in points, as pdftotext reads them.
QList<std::pair<QString, Word_Box>> Words(const QString &pdf)
{
    QProcess run;
    run.start(PDFTOTEXT, {"-bbox", pdf, "-"});
    run.waitForFinished();
    const QString html = QString::fromUtf8(run.readAllStandardOutput());
    static const QRegularExpression word(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    QList<std::pair<QString, Word_Box>> words;
    for (auto match = word.globalMatch(html); match.hasNext();) {
        const auto m = match.next();
        words.append({m.captured(5), {m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                                      m.captured(4).toDouble()}});
    }
    return words;
}

Word_Box Find(const QList<std::pair<QString, Word_Box>> &words, const QString &text)
{
    for (const auto &[word, box] : words)
        if (word == text)
            return box;
    return {};
}

int Pages(const QString &pdf)
{
    QProcess run;
    run.start(PDFINFO, {pdf});
    run.waitForFinished();
    const auto m = QRegularExpression(R"(Pages:\s+(\d+))").match(QString::fromUtf8(run.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

void Set_Up(QPrinter &printer, const QString &file)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setPageSize(QPageSize(QPageSize::Letter));
    printer.setPageOrientation(QPageLayout::Portrait);
}

// A printer whose drawing fails at one text, as an overflow would.
class Failing_Printer : public Printer_Surface {
public:
    using Printer_Surface::Printer_Surface;
    QString failAt;
    void Print(const QString &text) override
    {
        if (text == failAt)
            Raise_Overflow();
        Printer_Surface::Print(text);
    }
};

// Page units to points from the printable area's corner, offsets included.
double Px(const QRectF &area, double x) { return area.left() + (x + 1340) / 20.0; }
double Py(const QRectF &area, double y) { return area.top() + (y + 80) / 20.0; }

} // namespace

class Test_Page_Pdf : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void printed_page_puts_the_texts_where_the_form_has_them()
    {
        const QString file = dir.filePath("page.pdf");
        QPrinter printer(QPrinter::HighResolution);
        Set_Up(printer, file);
        Printer_Surface surface(printer);
        OutputTarget = &surface;
        Zoom_Factor = 0.5f;
        Build_Page();
        QCOMPARE(Zoom_Factor, 1.0f);
        QCOMPARE(surface.Documents(), 1);
        QCOMPARE(Pages(file), 1);

        const QRectF area = printer.pageLayout().paintRect(QPageLayout::Point);
        const auto words = Words(file);
        const auto near = [](double actual, double expected) { return qAbs(actual - expected) <= 1; };
        const auto where = [](const Word_Box &b) {
            return qPrintable(QString("%1 %2 %3 %4").arg(b.xMin).arg(b.yMin).arg(b.xMax).arg(b.yMax));
        };

        // The company line, centred on the drawing's middle.
        const Word_Box halbek = Find(words, "HALBEK"), incorporated = Find(words, "INCORPORATED");
        QVERIFY(halbek.found() && incorporated.found());
        QVERIFY2(near((halbek.xMin + incorporated.xMax) / 2, Px(area, 4575)), where(halbek));
        QVERIFY2(near(halbek.yMin, Py(area, 250)), where(halbek));

        // A right-aligned label ends at its x.
        const Word_Box name = Find(words, "NAME:");
        QVERIFY2(near(name.xMax, Px(area, 1260)) && near(name.yMin, Py(area, 1300)), where(name));

        // The first day heading is centred on its column.
        const Word_Box mon = Find(words, "MON");
        QVERIFY2(near((mon.xMin + mon.xMax) / 2, Px(area, 2537)) && near(mon.yMin, Py(area, 3090)), where(mon));

        const Word_Box instructions = Find(words, "INSTRUCTIONS");
        QVERIFY2(near((instructions.xMin + instructions.xMax) / 2, Px(area, 4575))
                     && near(instructions.yMin, Py(area, 10018)),
                 where(instructions));

        // The lowest text of the page, at the left end of its line.
        const Word_Box employee = Find(words, "EMPLOYEE"), signature = Find(words, "SIGNATURE");
        QVERIFY(employee.found() && signature.found());
        QVERIFY2(near(employee.xMin, Px(area, 0)) && near(employee.yMin, Py(area, 14300)), where(employee));
        QVERIFY2(near(signature.yMin, employee.yMin) && signature.xMin > employee.xMax, where(signature));
    }

    void failed_page_never_reaches_the_printer()
    {
        const QString file = dir.filePath("failed.pdf");
        QPrinter printer(QPrinter::HighResolution);
        Set_Up(printer, file);
        Failing_Printer surface(printer);
        surface.failAt = "INSTRUCTIONS";
        OutputTarget = &surface;
        QCOMPARE(Error_Of([] { Build_Page(); }), int(Err_Overflow));
        QCOMPARE(surface.Documents(), 0);
        QVERIFY(!QFile::exists(file));

        // Nothing of the failed page is left to print: ending the document
        // now gives an empty page.
        surface.EndDoc();
        QCOMPARE(Pages(file), 1);
        QCOMPARE(Words(file).size(), 0);
    }
};

QTEST_MAIN(Test_Page_Pdf)
#include "test_page_pdf.moc"
