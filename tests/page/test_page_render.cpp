// quorvel-render as a developer runs it: bad arguments get the usage and
// status 2, a drawing or file failure one line and status 1, a PNG has the
// canvas's size, a PDF has exactly one page with the logos' own pixels.
#include "page_build.h"
#include "printed_page.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int status = -1;
    QString errors;
};

Run Render(const QStringList &args)
{
    QProcess process;
    process.start(QUORVEL_RENDER, args);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// Qt may add its own diagnostics; ours is the last line.
QString Last_Line(const QString &errors)
{
    const QStringList lines = errors.trimmed().split(u'\n');
    return lines.last();
}

} // namespace

class Test_Page_Render : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void bad_arguments_give_the_usage_data()
    {
        QTest::addColumn<QStringList>("args");
        const QString png = dir.filePath("bad.png");
        QTest::newRow("no output") << QStringList{};
        QTest::newRow("only options") << QStringList{"--zoom", "1"};
        QTest::newRow("unknown option") << QStringList{"--scale", "1", png};
        QTest::newRow("zoom without value") << QStringList{png, "--zoom"};
        QTest::newRow("zoom not a number") << QStringList{"--zoom", "big", png};
        QTest::newRow("zoom 0") << QStringList{"--zoom", "0", png};
        QTest::newRow("zoom negative") << QStringList{"--zoom", "-1", png};
        QTest::newRow("zoom at the limit") << QStringList{"--zoom", "2.22002", png};
        QTest::newRow("zoom infinite") << QStringList{"--zoom", "inf", png};
        QTest::newRow("dpr 0") << QStringList{"--dpr", "0", png};
        QTest::newRow("dpr not a number") << QStringList{"--dpr", "nan", png};
        QTest::newRow("wrong extension") << QStringList{dir.filePath("bad.jpg")};
        QTest::newRow("two outputs") << QStringList{png, dir.filePath("bad2.png")};
        QTest::newRow("zoom on the printer") << QStringList{"--zoom", "2", dir.filePath("bad.pdf")};
    }
    void bad_arguments_give_the_usage()
    {
        QFETCH(QStringList, args);
        const Run run = Render(args);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.errors.startsWith("usage: quorvel-render") && run.errors.count(u'\n') == 1,
                 qPrintable(run.errors));
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void png_has_the_canvas_size()
    {
        const QString png = dir.filePath("page.png");
        QCOMPARE(Render({png}).status, 0);
        QCOMPARE(QImage(png).size(), QSize(792, 984));
        QCOMPARE(Render({"--zoom", "0.5", png}).status, 0);
        QCOMPARE(QImage(png).size(), QSize(396, 492));
        QCOMPARE(Render({"--dpr", "2", png}).status, 0);
        QCOMPARE(QImage(png).size(), QSize(1584, 1968));
        QVERIFY(QFile::remove(png));
    }

    void pdf_has_one_page()
    {
        const QString pdf = dir.filePath("page.pdf");
        QCOMPARE(Render({pdf}).status, 0);
        QCOMPARE(Pdf_Page_Count(pdf), 1);
        QCOMPARE(Pdf_Page_Size(pdf), QSize(612, 792)); // US Letter, portrait
        // The logos are stored as their bitmaps' own pixels.
        const QList<QImage> images = Pdf_Images(pdf);
        QCOMPARE(images.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const auto rgb = QImage::Format_RGB888;
            QCOMPARE(images[i].convertToFormat(rgb), picLogo(i).convertToFormat(rgb));
        }
        QVERIFY(QFile::remove(pdf));
    }

    void failures_give_one_line_and_status_1()
    {
        for (const QString &out : {QString("/nonexistent-folder/page.pdf"), QString("/nonexistent-folder/page.png")}) {
            const Run run = Render({out});
            QCOMPARE(run.status, 1);
            QVERIFY2(Last_Line(run.errors).startsWith("quorvel-render: "), qPrintable(run.errors));
        }
    }
};

QTEST_MAIN(Test_Page_Render)
#include "test_page_render.moc"
