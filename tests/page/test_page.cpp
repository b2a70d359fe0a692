// The report page against reviewed references: every call it makes on the
// recording surface, on paper and on screen at several zooms, must be the
// one in its calls-*.txt file, and the preview canvas must be the reference images
// pixel for pixel. A difference names the first call or pixel that moved and
// leaves what was drawn in the build folder to look at.
#include "page_build.h"
#include "preview_surface.h"
#include "printed_page.h"
#include "printer_surface.h"
#include "recording_surface.h"

#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A printer whose drawing fails at one text, as an overflow would.
class Failing_Printer : public Printer_Surface {
public:
    using Printer_Surface::Printer_Surface;
    void Print(const QString &text) override
    {
        if (text == QLatin1String("INSTRUCTIONS"))
            Raise_Overflow();
        Printer_Surface::Print(text);
    }
};

} // namespace

class Test_Page : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    void init() { Screen = Screen_Metrics{}; }

    // Paper ignores the zoom it finds and leaves it at 1. Carriage returns
    // stand as "\\r" in the reference files.
    void calls_are_the_reference_data()
    {
        QTest::addColumn<bool>("printer");
        QTest::addColumn<float>("zoom");
        QTest::newRow("printer") << true << 0.5f;
        for (const float zoom : {1.0f, 0.5f, 6980.0f / 14760.0f, 2.22002f})
            QTest::addRow("preview-%.7g", double(zoom)) << false << zoom;
    }
    void calls_are_the_reference()
    {
        QFETCH(bool, printer);
        QFETCH(float, zoom);
        Recording_Surface surface(printer);
        OutputTarget = &surface;
        Zoom_Factor = zoom;
        Build_Page();
        QCOMPARE(Zoom_Factor, printer ? 1.0f : zoom);
        const QString name = QStringLiteral("calls-%1.txt").arg(QTest::currentDataTag());
        QFile file(QStringLiteral(REFERENCE_DIR "/") + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList expected = QString::fromUtf8(file.readAll()).split(u'\n');
        const QStringList actual = (surface.Calls().join(u'\n').replace(u'\r', QStringLiteral("\\r")) + u'\n').split(u'\n');
        qsizetype i = 0;
        while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
            ++i;
        if (i < actual.size() || i < expected.size()) {
            QFile out(name); // the calls made, to look at
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(actual.join(u'\n').toUtf8()) > 0);
            QFAIL(qPrintable(QStringLiteral("call %1 is \"%2\", the reference has \"%3\"; all calls in %4")
                                 .arg(i + 1)
                                 .arg(actual.value(i), expected.value(i), name)));
        }
    }

    void canvas_is_the_reference_image_data()
    {
        QTest::addColumn<float>("zoom");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QString>("reference");
        QTest::newRow("100 %") << 1.0f << 1.0 << QStringLiteral(REFERENCE_DIR "/../../docs/page.png");
        QTest::newRow("half size at ratio 2") << 0.5f << 2.0 << QStringLiteral(REFERENCE_DIR "/page-0.5-ratio2.png");
        QTest::newRow("fitted at ratio 1.5") << 6980.0f / 14760.0f << 1.5
                                             << QStringLiteral(REFERENCE_DIR "/page-fit-ratio1.5.png");
    }
    void canvas_is_the_reference_image()
    {
        QFETCH(float, zoom);
        QFETCH(qreal, ratio);
        QFETCH(QString, reference);
        Preview_Surface preview;
        preview.Set_Device_Pixel_Ratio(ratio);
        OutputTarget = &preview;
        // A larger drawing first: the page clears and resizes the canvas itself.
        Zoom_Factor = 2.2f;
        Build_Page();
        Zoom_Factor = zoom;
        Build_Page();

        Check_Reference_Image(preview.Image(), reference);
    }

    // A page whose drawing fails half way is dropped, not printed half drawn.
    void failed_page_never_reaches_the_printer()
    {
        const QString file = dir_.filePath(QStringLiteral("failed.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        Failing_Printer paper(printer);
        OutputTarget = &paper;
        QVERIFY_THROWS_EXCEPTION(RuntimeError, Build_Page());
        QCOMPARE(paper.Documents(), 0);
        QVERIFY(!QFile::exists(file));
        paper.EndDoc(); // nothing of the failed page is left to print
        QCOMPARE(Pdf_Words(file).size(), 0);
    }

    void no_target_is_an_error()
    {
        OutputTarget = nullptr;
        try {
            Build_Page();
            QFAIL("drew without a target");
        } catch (const RuntimeError &error) {
            QCOMPARE(error.number(), 91);
        }
    }
};

QTEST_MAIN(Test_Page)
#include "test_page.moc"
