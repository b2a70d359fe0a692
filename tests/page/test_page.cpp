// The report page against reviewed references: every call it makes on the
// recording surface, on paper and on screen at several zooms, must be the
// one in page_calls.txt, and the preview canvas must be the reference images
// pixel for pixel. A difference names the first call or pixel that moved and
// leaves what was drawn in the build folder to look at.
#include "page_build.h"
#include "preview_surface.h"
#include "printed_page.h"
#include "printer_surface.h"
#include "recording_surface.h"
#include "reference_image.h"

#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The reference streams, by section ("# printer", "# preview 0.5", ...).
QMap<QString, QStringList> Reference_Calls()
{
    QFile file(QStringLiteral(REFERENCE_DIR "/page_calls.txt"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    QMap<QString, QStringList> sections;
    QString section;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'#'))
            section = line.mid(2);
        else
            sections[section].append(QString(line).replace(QStringLiteral("\\r"), QStringLiteral("\r")));
    }
    return sections;
}

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

    QMap<QString, QStringList> reference_ = Reference_Calls();
    QTemporaryDir dir_;

private slots:
    void init() { Screen = Screen_Metrics{}; }

    void calls_are_the_reference_data()
    {
        QTest::addColumn<bool>("printer");
        QTest::addColumn<float>("zoom");
        // Paper ignores the zoom it finds and leaves it at 1.
        QTest::newRow("printer") << true << 0.5f;
        QTest::newRow("preview 1") << false << 1.0f;
        QTest::newRow("preview 0.5") << false << 0.5f;
        QTest::newRow("preview 0.4728997") << false << 6980.0f / 14760.0f;
        QTest::newRow("preview 2.22002") << false << 2.22002f;
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

        const QStringList expected = reference_.value(QString::fromLatin1(QTest::currentDataTag()));
        const QStringList &actual = surface.Calls();
        if (actual != expected) {
            QFile out(QStringLiteral("page_calls-%1.txt").arg(QTest::currentDataTag()));
            if (out.open(QIODevice::WriteOnly))
                out.write(actual.join(u'\n').replace(u'\r', QStringLiteral("\\r")).toUtf8() + '\n');
            qsizetype i = 0;
            while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
                ++i;
            QFAIL(qPrintable(QStringLiteral("call %1 is \"%2\", the reference has \"%3\"; all calls in %4")
                                 .arg(i + 1)
                                 .arg(actual.value(i, QStringLiteral("(none)")), expected.value(i, QStringLiteral("(none)")),
                                      out.fileName())));
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

    // Run alone (QUORVEL_NO_LOGOS set): the logos' resources are withdrawn
    // before they are first asked for, so they cannot be decoded.
    void page_without_its_logos_is_drawn_whole()
    {
        if (!qEnvironmentVariableIsSet("QUORVEL_NO_LOGOS"))
            QSKIP("run alone with QUORVEL_NO_LOGOS set");
        Q_CLEANUP_RESOURCE(quorvel_assets);
        Recording_Surface surface;
        OutputTarget = &surface;
        Zoom_Factor = 1;
        Build_Page();
        QStringList expected = reference_.value(QStringLiteral("preview 1"));
        expected.removeIf([](const QString &call) { return call.startsWith(QStringLiteral("PaintPicture")); });
        QCOMPARE(surface.Calls(), expected);
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
