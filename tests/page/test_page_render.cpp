// quorvel-render as a user runs it: bad arguments give status 2, a drawing
// or file failure one line and status 1 with the old file kept, --help and
// --version answer on stdout, it draws headless whatever the platform, a PNG
// has the canvas's size and a PDF exactly one page with the logos' own
// pixels.
#include "faulty_targets.h"
#include "page_build.h"
#include "printed_page.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int status = -1;
    QString output;
    QString errors;
};

Run Render(const QStringList &args, const QStringList &environment = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &setting : environment)
        env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    process.setProcessEnvironment(env);
    process.start(QUORVEL_RENDER, args);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// Qt may add its own diagnostics; ours is the last line.
QString Last_Line(const QString &errors)
{
    return errors.trimmed().split(u'\n').last();
}

} // namespace

class Test_Page_Render : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void bad_arguments_give_status_2_data()
    {
        QTest::addColumn<QStringList>("args");
        const QString png = dir.filePath("bad.png");
        QTest::newRow("no output") << QStringList{};
        QTest::newRow("only options") << QStringList{"--zoom", "1"};
        QTest::newRow("unknown option") << QStringList{"--scale", "1", png};
        QTest::newRow("zoom without value") << QStringList{png, "--zoom"};
        QTest::newRow("zoom not a number") << QStringList{"--zoom", "big", png};
        QTest::newRow("zoom 0") << QStringList{"--zoom", "0", png};
        QTest::newRow("zoom below a pixel") << QStringList{"--zoom", "0.00063", png};
        QTest::newRow("zoom negative") << QStringList{"--zoom", "-1", png};
        QTest::newRow("zoom at the limit") << QStringList{"--zoom", "2.22002", png};
        QTest::newRow("zoom infinite") << QStringList{"--zoom", "inf", png};
        QTest::newRow("dpr 0") << QStringList{"--dpr", "0", png};
        QTest::newRow("dpr not a number") << QStringList{"--dpr", "nan", png};
        QTest::newRow("wrong extension") << QStringList{dir.filePath("bad.jpg")};
        QTest::newRow("two outputs") << QStringList{png, dir.filePath("bad2.png")};
        QTest::newRow("zoom on the printer") << QStringList{"--zoom", "2", dir.filePath("bad.pdf")};
    }
    void bad_arguments_give_status_2()
    {
        QFETCH(QStringList, args);
        const Run run = Render(args);
        QCOMPARE(run.status, 2);
        QVERIFY2(Last_Line(run.errors).contains("--help") && run.errors.contains("quorvel-render: "),
                 qPrintable(run.errors));
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void help_and_version_on_stdout_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("says");
        QTest::newRow("help") << "--help" << "--zoom <Z>";
        QTest::newRow("version") << "--version" << "quorvel-render " QUORVEL_VERSION "\n";
    }
    void help_and_version_on_stdout()
    {
        QFETCH(QString, option);
        QFETCH(QString, says);
        const Run run = Render({option});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.output.contains(says), qPrintable(run.output));
    }

    void png_has_the_canvas_size()
    {
        const QString png = dir.filePath("page.png");
        // Headless even where the environment names a platform with no display.
        QCOMPARE(Render({png}, {"QT_QPA_PLATFORM=xcb", "DISPLAY="}).status, 0);
        QCOMPARE(QImage(png).size(), QSize(792, 984));
        QCOMPARE(Render({"--zoom", "0.5", png}).status, 0);
        QCOMPARE(QImage(png).size(), QSize(396, 492));
        QCOMPARE(Render({"--dpr", "2", png}).status, 0);
        QCOMPARE(QImage(png).size(), QSize(1584, 1968));
        QVERIFY(QFile::remove(png));
    }

    // A name that is not UTF-8 is the file's name, byte for byte.
    void names_are_bytes()
    {
        const QString name = "$(printf 'caf\\351.png')";
        const auto shell = [&](const QString &command) {
            return QProcess::execute("/bin/sh", {"-c", QStringLiteral("cd \"$1\" && ") + command, "sh", dir.path()});
        };
        QCOMPARE(shell(QStringLiteral("exec \"%1\" \"%2\"").arg(QUORVEL_RENDER, name)), 0);
        QCOMPARE(shell(QStringLiteral("test -f \"%1\" && rm \"%1\"").arg(name)), 0);
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    // One page, US Letter, the logos stored as their bitmaps' own pixels.
    void pdf_has_one_page()
    {
        const QString pdf = dir.filePath("page.pdf");
        QCOMPARE(Render({pdf}).status, 0);
        QCOMPARE(Pdf_Page_Count(pdf), 1);
        QCOMPARE(Pdf_Page_Size(pdf), QSize(612, 792)); // US Letter, portrait
        const QList<QImage> images = Pdf_Images(pdf);
        QCOMPARE(images.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const auto rgb = QImage::Format_RGB888;
            QCOMPARE(images[i].convertToFormat(rgb), picLogo(i).convertToFormat(rgb));
        }
        QVERIFY(QFile::remove(pdf));
    }

    void failures_keep_the_old_file_data() { Faulty_Targets_Data(dir.filePath("faults")); }
    void cleanupTestCase() { Faulty_Targets_Cleanup(dir.filePath("faults")); }
    void failures_keep_the_old_file()
    {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        const QString folder = QFileInfo(file).path();
        const QStringList before = Folder_State(folder);
        const Run run = Render({file});
        QCOMPARE(run.status, 1);
        const QString said = Last_Line(run.errors);
        QVERIFY2(said.startsWith("quorvel-render: ") && said.contains(file) && said.contains(reason), qPrintable(said));
        QCOMPARE(Folder_State(folder), before);
    }

    void no_font_gives_status_1()
    {
        QFile config(dir.filePath("fonts.conf"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("<?xml version=\"1.0\"?><fontconfig><cachedir>" + QFile::encodeName(dir.path()) +
                     "/font-cache</cachedir></fontconfig>");
        config.close();
        const QString png = dir.filePath("page.png");
        const Run run = Render({png}, {"FONTCONFIG_FILE=" + config.fileName()});
        QCOMPARE(run.status, 1);
        QVERIFY2(Last_Line(run.errors).contains("no font can be loaded"), qPrintable(run.errors));
        QVERIFY(!QFileInfo::exists(png));
    }
};

QTEST_MAIN(Test_Page_Render)
#include "test_page_render.moc"
