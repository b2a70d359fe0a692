// quorvel-render as a user runs it: bad arguments give status 2, --help
// and --version answer on stdout, a drawing or file failure is one line and
// status 1 with the old file kept; it draws headless whatever the platform,
// a PNG has the canvas's size and a PDF exactly one page with the logos'
// own pixels.
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
    void arguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says"); // on stdout with status 0, else on stderr
        const QString png = dir.filePath("bad.png");
        const auto bad = [](const char *name, const QStringList &args) {
            QTest::newRow(name) << args << 2 << "Try 'quorvel-render --help'";
        };
        bad("no output", {});
        bad("only options", {"--zoom", "1"});
        bad("unknown option", {"--scale", "1", png});
        bad("zoom without value", {png, "--zoom"});
        bad("zoom not a number", {"--zoom", "big", png});
        bad("zoom 0", {"--zoom", "0", png});
        bad("zoom below a pixel", {"--zoom", "0.00063", png});
        bad("zoom negative", {"--zoom", "-1", png});
        bad("zoom at the limit", {"--zoom", "2.22002", png});
        bad("zoom infinite", {"--zoom", "inf", png});
        bad("dpr 0", {"--dpr", "0", png});
        bad("dpr not a number", {"--dpr", "nan", png});
        bad("wrong extension", {dir.filePath("bad.jpg")});
        bad("two outputs", {png, dir.filePath("bad2.png")});
        bad("zoom on the printer", {"--zoom", "2", dir.filePath("bad.pdf")});
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--zoom <Z>";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "quorvel-render " QUORVEL_VERSION "\n";
    }
    void arguments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, says);
        const Run run = Render(args);
        QCOMPARE(run.status, status);
        QVERIFY2((status == 0 ? run.output : run.errors).contains(says), qPrintable(run.output + run.errors));
        QVERIFY(QDir(dir.path()).isEmpty());
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
        QCOMPARE(Pdf_Page_Size(pdf), QSizeF(612, 792)); // US Letter, portrait
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
