// A returned form read back by quorvel-render --check and --values, as an
// accounts office runs it: forms filled in and saved by MuPDF with the
// form's scripts running, by pdf.js and by pypdf without them, one for each
// kind of fault and a clean one; files that are not the form; and the
// amount grammar against the one table of cases that the form's scripts
// are held to as well.
#include "form_amounts.h"
#include "form_fields.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int status;
    QString out, err;
};

Run Render(const QStringList &args)
{
    QProcess render;
    render.start(QStringLiteral(QUORVEL_RENDER), args);
    render.waitForFinished(-1);
    return {render.exitStatus() == QProcess::NormalExit ? render.exitCode() : -1,
            QString::fromUtf8(render.readAllStandardOutput()), QString::fromUtf8(render.readAllStandardError())};
}

// The fields a report names, a line each ("name (Spoken name): ...").
QSet<QString> Named(const QString &report)
{
    QSet<QString> names;
    for (const QString &line : report.split(u'\n', Qt::SkipEmptyParts))
        if (line.contains(QStringLiteral(" (")) && !line.startsWith(u'/'))
            names.insert(line.section(QStringLiteral(" ("), 0, 0));
    return names;
}

} // namespace

class Test_Check : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString form_;

    // The form filled in by `saver` with `values` ("name=value"), saved.
    QString Filled(const QString &saver, const QStringList &values, const QString &from = {})
    {
        static int count = 0;
        const QString out = dir_.filePath(QStringLiteral("filled-%1.pdf").arg(++count));
        const QString in = from.isEmpty() ? form_ : from;
        QProcess fill;
        if (saver == u"mutool")
            fill.start(saver, QStringList{"run", REFERENCE_DIR "/print/mutool-save.js", in, out} + values);
        else if (saver == u"pdf.js")
            fill.start("node", QStringList{REFERENCE_DIR "/print/pdfjs-fill.js", in, out} + values);
        else
            fill.start("/usr/bin/python3", QStringList{REFERENCE_DIR "/print/pypdf-fill.py", in, out} + values);
        const bool done = fill.waitForFinished(-1) && fill.exitCode() == 0;
        return done ? out : QStringLiteral("(%1 failed: %2)").arg(saver, QString::fromUtf8(fill.readAllStandardError()));
    }

private slots:
    void initTestCase()
    {
        form_ = dir_.filePath(QStringLiteral("form.pdf"));
        QCOMPARE(Render({form_}).status, 0);
    }

    // Every case of the table read as the form's scripts read a typed
    // amount: what it holds, or why it is refused.
    void amountsFollowTheTable()
    {
        QFile file(QStringLiteral(REFERENCE_DIR "/print/amount-cases.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonArray cases = QJsonDocument::fromJson(file.readAll()).object()[u"cases"].toArray();
        QVERIFY(cases.size() > 20);
        for (const QJsonValue &one : cases) {
            const QString typed = one[u"typed"].toString();
            const Amount read = Read_Amount(typed, Most_Typed_Cents);
            if (one.toObject().contains(u"said")) {
                QVERIFY2(read.What == Amount::Refused && read.Why.contains(one[u"said"].toString()),
                         qPrintable(typed + QStringLiteral(" -> ") + read.Why));
            } else {
                const QString held = read.What == Amount::Cents ? Shown_Amount(read.Value) : QString();
                QVERIFY2(read.What != Amount::Refused && held == one[u"held"].toString(), qPrintable(typed + QStringLiteral(" -> ") + held));
            }
        }
    }

    void returnedFormsAreChecked_data()
    {
        QTest::addColumn<QString>("saver");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("over"); // typed over afterwards without scripts
        QTest::addColumn<QStringList>("named");
        const QStringList week{"breakfast.mon=10.00", "breakfast.tue=2,000.50", "breakfast.total_cash=2,010.50",
                               "blank_1.description=Parking", "blank_1.wed=$7", "blank_1.total_charge=7.00",
                               "travel_advances=3000", "name=İstanbul Kadıköy"};
        QTest::newRow("clean, saved with the scripts") << "mutool" << week << "" << QStringList{};
        QTest::newRow("a total typed over") << "mutool" << week << "total_meals.mon=99.00" << QStringList{"total_meals.mon"};
        QTest::newRow("an amount due typed over")
            << "mutool" << week << "amount_due_company=1.00" << QStringList{"amount_due_company"};
        QTest::newRow("stale: saved where no script ran")
            << "pypdf" << QStringList{"lunch.fri=5.00", "lunch.total_charge=5.00"} << ""
            << QStringList{"total_meals.fri", "total_meals.total_charge", "total_expense.fri",
                           "total_expense.total_charge"};
        QTest::newRow("not an amount, a row that does not add up")
            << "pdf.js" << QStringList{"lunch.tue=12,50", "blank_2.description=Taxi", "blank_2.mon=3.00"} << ""
            << QStringList{"lunch.tue", "blank_2.total_charge", "total_incidentals.mon", "total_expense.mon"};
    }

    void returnedFormsAreChecked()
    {
        QFETCH(QString, saver);
        QFETCH(QStringList, values);
        QFETCH(QString, over);
        QFETCH(QStringList, named);
        QString filled = Filled(saver, values);
        if (!over.isEmpty())
            filled = Filled(QStringLiteral("pypdf"), {over}, filled);
        QVERIFY2(QFile::exists(filled), qPrintable(filled));
        const Run check = Render({QStringLiteral("--check"), filled});
        QCOMPARE(check.status, named.isEmpty() ? 0 : 1);
        QCOMPARE(Named(check.out), QSet<QString>(named.begin(), named.end()));
        QVERIFY2(check.err.isEmpty(), qPrintable(check.err));
        if (saver == u"pdf.js") // a blank row is named by the words typed for it
            QVERIFY2(check.out.contains(QStringLiteral("Taxi (Blank row 2): the days add up to 3.00")), qPrintable(check.out));
    }

    // What is no form of this program's is refused in words, with status 4,
    // in bounded time and memory: a file of another kind, a PDF without a
    // form, a damaged one, another form, a loop in the fields, deep nesting,
    // a file larger than any form.
    void notTheFormIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("said");
        QFile form(form_);
        QVERIFY(form.open(QIODevice::ReadOnly));
        const QByteArray pdf = form.readAll();
        const QByteArray head = "%PDF-1.7\n1 0 obj<</Type/Catalog/Pages 2 0 R/AcroForm<</Fields[";
        const QByteArray tail = "]>>>>endobj\n2 0 obj<</Type/Pages/Kids[]/Count 0>>endobj\n"
                                "3 0 obj<</T(a)/FT/Tx/V(1)/Kids[3 0 R]>>endobj\n"
                                "trailer<</Root 1 0 R>>\n%%EOF\n";
        QTest::newRow("not a PDF") << QByteArray("name,value\nlunch,12.50\n") << "not a PDF that can be read";
        QTest::newRow("damaged") << pdf.left(pdf.size() / 3) << "not a PDF that can be read";
        QTest::newRow("no form") << QByteArray(head).replace("/AcroForm<</Fields[", "") + QByteArray(tail).mid(3)
                                 << "holds no form";
        QTest::newRow("another form, its field a loop") << head + "3 0 R" + tail << "not the travel expense report";
        QTest::newRow("deep nesting") << head + QByteArray(100000, '[') + tail << "";
        QTest::newRow("larger than any form") << pdf + QByteArray(17 << 20, ' ') << "far more than a filled-in form";
    }

    void notTheFormIsRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, said);
        QFile file(dir_.filePath(QStringLiteral("returned.pdf")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        for (const QString &option : {QStringLiteral("--check"), QStringLiteral("--values")}) {
            const Run run = Render(QStringList{option, file.fileName()} +
                                   (option == u"--values" ? QStringList{dir_.filePath("out.csv")} : QStringList{}));
            QCOMPARE(run.status, 4);
            QVERIFY2(run.out.isEmpty() && run.err.count(u'\n') == 1 && run.err.contains(said), qPrintable(run.err));
        }
        QVERIFY(!QFile::exists(dir_.filePath("out.csv")));
    }

    void badArgumentsAreRefused()
    {
        const QList<QStringList> bad{{"--check", form_, "out.pdf"},   {"--values", form_, "out.txt"},
                                     {"--values", form_},              {"--check", form_, "--values", form_},
                                     {"--check", form_, "--zoom", "2"}};
        for (const QStringList &args : bad)
            QVERIFY2(Render(args).status == 2, qPrintable(args.join(u' ')));
    }

    // The values as data: every field a line, its spoken name, its value as
    // typed, an amount's cents; a formula made plain text in CSV.
    void valuesAreData()
    {
        const QString filled = Filled(QStringLiteral("pypdf"), {"name==1+1", "lunch.mon=1,234.5", "lunch.tue=12,50"});
        const QString csv = dir_.filePath("values.csv"), json = dir_.filePath("values.json");
        QCOMPARE(Render({"--values", filled, csv}).status, 0);
        QCOMPARE(Render({"--values", filled, json}).status, 0);
        QFile table(csv);
        QVERIFY(table.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(table.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), qsizetype(Form_Fields().size() + 1));
        QVERIFY(lines.contains(QStringLiteral("name,Name,'=1+1,")));
        QVERIFY(lines.contains(QStringLiteral("lunch.mon,\"Lunch, Monday\",\"1,234.5\",123450")));
        QVERIFY(lines.contains(QStringLiteral("lunch.tue,\"Lunch, Tuesday\",\"12,50\",")));
        QFile data(json);
        QVERIFY(data.open(QIODevice::ReadOnly));
        const QJsonArray fields = QJsonDocument::fromJson(data.readAll())[u"fields"].toArray();
        QCOMPARE(fields.size(), qsizetype(Form_Fields().size()));
        QMap<QString, QJsonObject> named;
        for (const QJsonValue &field : fields)
            named[field[u"name"].toString()] = field.toObject();
        QCOMPARE(named[QStringLiteral("lunch.mon")][u"cents"].toInteger(), 123450);
        QCOMPARE(named[QStringLiteral("lunch.mon")][u"spoken"].toString(), QStringLiteral("Lunch, Monday"));
        QVERIFY(named[QStringLiteral("lunch.tue")][u"cents"].isNull());
        QCOMPARE(named[QStringLiteral("name")][u"value"].toString(), QStringLiteral("=1+1"));
    }
};

QTEST_GUILESS_MAIN(Test_Check)
#include "test_check.moc"
