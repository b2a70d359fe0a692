// The printed page as a PDF form, printed through the "PDF" command and read
// back with poppler: the fields against a reviewed list (names, tooltips,
// alignment, in the order of Tab) and against the rules and boxes the page
// draws, a value typed in and saved shows inside its field, values set by
// poppler, MuPDF, pdf.js and qpdf print whole in their own fields only, the
// totals add up in MuPDF, the structure a screen reader reads is the
// reviewed one, and a PDF that is not whole is refused.
// (tests/page/test_render.sh checks that empty fields print nothing, and the
// document's names.)
#include "page_build.h"
#include "pdf_form.h"
#include "preview_surface.h"
#include "print_command.h"
#include "recording_surface.h"

#include <poppler-form.h>
#include <poppler-qt6.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Where the page, drawn on a recording printer, has room for a field: the
// rules drawn shorter than the grid (the lower line of a double rule
// excepted), the boxes with a transparent fill, and the grid's cells (between
// the rules that the column rules cross) without text or hatching.
void Drawn_Blanks(QList<QLineF> &rules, QList<QRectF> &boxes)
{
    Recording_Surface page(true);
    {
        const Drawing_Scope scope(page, 1);
        Build_Page();
    }
    QList<QLineF> across, down;
    QList<QPointF> texts; // the middle of each line of text
    QRectF hatched;
    double fill = 1, x = 0, y = 0;
    for (const QString &call : page.Calls()) {
        const QStringList f = call.split(u' ');
        const double a = f.value(1).toDouble();
        const QLineF line(a, f.value(2).toDouble(), f.value(3).toDouble(), f.value(4).toDouble());
        if (f[0] == u"FillStyle")
            fill = a;
        else if (f[0] == u"CurrentX")
            x = a;
        else if (f[0] == u"CurrentY")
            y = a;
        else if (f[0] == u"Print")
            texts << QPointF(x + (call.size() - 6) * 50, y + 100); // 8 points: 100 by 200 a character
        else if (f[0] == u"Line" && f[6] == u"segment")
            (line.dy() == 0 ? across : down) << line;
        else if (f[0] == u"Line" && fill == 1)
            boxes << QRectF(line.p1(), line.p2());
        else if (f[0] == u"Line" && fill == 7)
            hatched = QRectF(line.p1(), line.p2());
    }
    QList<double> rows, columns; // the left edge is drawn first
    for (const QLineF &line : down)
        columns << line.x1();
    for (const QLineF &line : across) {
        const auto upper = [&](const QLineF &other) { return other.p1() == line.p1() - QPointF(0, 40); };
        if (line.y1() >= down[0].y1() && line.y1() <= down[0].y2())
            rows << line.y1();
        else if (line.length() < columns.last() - columns.first() && std::none_of(across.begin(), across.end(), upper))
            rules << line;
    }
    for (qsizetype r = 0; r + 1 < rows.size(); ++r)
        for (qsizetype c = 0; c + 1 < columns.size(); ++c) {
            const QRectF cell(QPointF(columns[c], rows[r]), QPointF(columns[c + 1], rows[r + 1]));
            if (cell.height() > 100 && !hatched.contains(cell.center()) &&
                std::none_of(texts.begin(), texts.end(), [&](QPointF text) { return cell.contains(text); }))
                boxes << cell;
        }
}

// What poppler prints in each field of `pdf` (pdftotext's words): the words
// whose middle lies in the field, each marked where it is not whole inside.
QMap<QString, QString> Printed_Values(const QString &pdf)
{
    const auto document = Poppler::Document::load(pdf);
    const auto page = document->page(0);
    const auto words = page->textList();
    QMap<QString, QString> printed;
    for (const auto &field : page->formFields()) {
        const QRectF rect = QTransform::fromScale(612, 792).mapRect(field->rect());
        QStringList inside;
        for (const auto &word : words)
            if (rect.contains(word->boundingBox().center()))
                inside << word->text() + (rect.adjusted(-.5, -.5, .5, .5).contains(word->boundingBox()) ? "" : "(cut)");
        printed[field->fullyQualifiedName()] = inside.join(u' ');
    }
    return printed;
}

} // namespace

class Test_Form : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString pdf_;
    QPointF corner_; // the printable area's top-left corner, points
    std::unique_ptr<Poppler::Document> document_;
    std::vector<std::unique_ptr<Poppler::FormField>> fields_;

private slots:
    void initTestCase()
    {
        pdf_ = dir_.filePath(QStringLiteral("form.pdf"));
        Set_Printer_Dialog([this](QPrinter &printer, QWidget *) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf_);
            corner_ = printer.pageLayout().paintRect(QPageLayout::Point).topLeft();
            return true;
        });
        Set_Print_Failure_Report([](QWidget *, const QString &reason) { QFAIL(qPrintable(reason)); });
        Print_Page(nullptr);
        QCOMPARE(QProcess::execute("sh", {"-c", "qpdf --check \"$0\" >/dev/null", pdf_}), 0);
        document_ = Poppler::Document::load(pdf_);
        fields_ = document_->page(0)->formFields();
    }

    // Names, tooltips, alignment and lines in reading order: the reviewed list.
    void fieldsAreTheReviewedList()
    {
        QStringList listed;
        for (const auto &field : fields_) {
            const auto &text = static_cast<const Poppler::FormFieldText &>(*field);
            listed << QStringLiteral("%1\t%2\t%3%4")
                          .arg(text.fullyQualifiedName(), text.uiName(),
                               text.textAlignment() & Qt::AlignRight ? "right" : "left",
                               text.textType() == Poppler::FormFieldText::Normal ? "" : "\tnot one line");
        }
        QFile reference(QStringLiteral(REFERENCE_DIR "/print/form-fields.txt"));
        QVERIFY(reference.open(QIODevice::ReadOnly));
        QCOMPARE(listed, QString::fromUtf8(reference.readAll()).split(u'\n', Qt::SkipEmptyParts));
    }

    // Every field fills a blank box or cell, or stands on the rule it is
    // written on with one line of writing (216 twips) above it, or up to the
    // rule above where that is nearer;
    // every blank has exactly one field.
    void fieldsSitOnTheirBlanks()
    {
        QList<QLineF> rules;
        QList<QRectF> boxes;
        Drawn_Blanks(rules, boxes);
        QList<int> onRule(rules.size()), inBox(boxes.size());
        const auto Near = [](double a, double b) { return std::abs(a - b) <= 1; }; // twips
        for (const auto &field : fields_) {
            const auto at = QTransform::fromScale(612 * 20, 792 * 20).mapRect(field->rect()).translated(-corner_ * 20);
            bool placed = false;
            for (qsizetype i = 0; i < boxes.size(); ++i)
                if (Near(at.left(), boxes[i].left()) && Near(at.top(), boxes[i].top()) &&
                    Near(at.right(), boxes[i].right()) && Near(at.bottom(), boxes[i].bottom()))
                    placed = ++inBox[i];
            double first = 1e9, last = -1;
            for (qsizetype i = 0; i < rules.size(); ++i)
                if (Near(at.left(), rules[i].x1()) && Near(at.right(), rules[i].x2()) && rules[i].y1() > at.top() &&
                    rules[i].y1() <= at.bottom() + 1) {
                    ++onRule[i];
                    first = std::min(first, rules[i].y1());
                    last = std::max(last, rules[i].y1());
                }
            const auto ruleAbove = [&](const QLineF &rule) {
                return Near(rule.y1(), at.top()) && Near(rule.x1(), at.left()) && Near(rule.x2(), at.right());
            };
            QVERIFY2(placed || (Near(at.bottom(), last) && (Near(at.top(), first - 216) ||
                                                             std::any_of(rules.begin(), rules.end(), ruleAbove))),
                     qPrintable(field->fullyQualifiedName() + QStringLiteral(" is off its blank")));
        }
        QCOMPARE(onRule, QList<int>(rules.size(), 1));
        QCOMPARE(inBox, QList<int>(boxes.size(), 1));
    }

    // A value typed in a reader (poppler), saved and printed, shows inside
    // its field, on the side the field aligns to.
    void aValueShowsInItsField_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("right");
        QTest::newRow("name") << "name" << "Jane Q. Traveller" << false;
        QTest::newRow("amount") << "total_expense.total_cash" << "1234.56" << true;
        QTest::newRow("week ending, a small box") << "week_ending" << "12/04/26" << false;
        QTest::newRow("purpose, a line") << "purpose_2" << "Customer visit" << false;
    }
    void aValueShowsInItsField()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(bool, right);
        const auto document = Poppler::Document::load(pdf_);
        QRectF rect;
        for (const auto &candidate : document->page(0)->formFields())
            if (candidate->fullyQualifiedName() == field) {
                static_cast<Poppler::FormFieldText &>(*candidate).setText(value);
                rect = candidate->rect();
            }
        const QString saved = dir_.filePath(field + QStringLiteral(".pdf"));
        const auto converter = document->pdfConverter();
        converter->setOutputFileName(saved);
        converter->setPDFOptions(Poppler::PDFConverter::WithChanges);
        QVERIFY(converter->convert());
        const auto render = [](const QString &pdf) { return Poppler::Document::load(pdf)->page(0)->renderToImage(); };
        const QImage blank = render(pdf_), filled = render(saved);
        QRect ink;
        for (int y = 0; y < blank.height(); ++y)
            for (int x = 0; x < blank.width(); ++x)
                ink |= blank.pixelColor(x, y) != filled.pixelColor(x, y) ? QRect(x, y, 1, 1) : QRect();
        const QRectF box = QTransform::fromScale(blank.width(), blank.height()).mapRect(rect);
        QVERIFY(!ink.isEmpty() && box.adjusted(-1, -1, 1, 1).contains(ink));
        QCOMPARE(ink.center().x() > box.center().x(), right);
    }

    // Values set by each tool, saved and printed by poppler: each whole in
    // its own field and nowhere else; MuPDF prints poppler's and pdf.js's
    // drawing as it is. MuPDF draws Latin letters beyond Windows-1252 as
    // dots, qpdf any letter beyond it as a question mark, whatever the form's
    // fonts.
    void aValuePrintsWholeInItsFieldOnly_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("name");
        QTest::newRow("poppler") << "poppler" << "Łódź İstanbul Zoë Ζωή Жанна";
        QTest::newRow("pdf.js") << "pdf.js" << "Łódź İstanbul Zoë Ζωή Жанна";
        QTest::newRow("MuPDF") << "MuPDF" << "Zoë Ζωή Жанна";
        QTest::newRow("qpdf") << "qpdf" << "Zoë Müller";
    }
    void aValuePrintsWholeInItsFieldOnly()
    {
        QFETCH(QString, tool);
        QFETCH(QString, name);
        const QMap<QString, QString> values{
            {"name", name}, {"mail_address_1", "12 Elm Street"}, {"mail_address_2", "Springfield, IL 62704"},
            {"purpose_3", "Customer training"}, {"travel_advances", "1500.00"},
            {"cities_overnight.mon", "Philadelphia"}, {"cities_overnight.tue", "Indianapolis"},
            {"cities_overnight.wed", "Albuquerque"}, {"cities_overnight.thu", "Minneapolis"},
            {"total_expense.total_cash", "12,345.67"}};
        const QString filled = dir_.filePath(tool + QStringLiteral("-filled.pdf"));
        QMap<QString, QString> expected;
        QStringList byTooltip{QStringLiteral(REFERENCE_DIR "/print/mutool-fill.js"), pdf_, filled},
            byName{QStringLiteral(REFERENCE_DIR "/print/pdfjs-fill.js"), pdf_, filled};
        const auto document = Poppler::Document::load(pdf_);
        for (const auto &field : document->page(0)->formFields()) {
            const QString value = expected[field->fullyQualifiedName()] = values.value(field->fullyQualifiedName());
            if (!value.isEmpty() && tool == u"poppler")
                static_cast<Poppler::FormFieldText &>(*field).setText(value);
            else if (!value.isEmpty())
                byTooltip << field->uiName() + u'=' + value, byName << field->fullyQualifiedName() + u'=' + value;
        }
        if (tool == u"poppler") {
            const auto converter = document->pdfConverter();
            converter->setOutputFileName(filled);
            converter->setPDFOptions(Poppler::PDFConverter::WithChanges);
            QVERIFY(converter->convert());
        } else if (tool == u"pdf.js") {
            QCOMPARE(QProcess::execute("node", byName), 0);
        } else if (tool == u"MuPDF") {
            QCOMPARE(QProcess::execute("mutool", QStringList{"run"} + byTooltip), 0);
        } else {
            QPDF pdf;
            pdf.processFile(pdf_.toLocal8Bit().constData());
            QPDFAcroFormDocumentHelper form(pdf);
            for (QPDFFormFieldObjectHelper &field : form.getFormFields())
                if (const QString key = QString::fromStdString(field.getFullyQualifiedName()); values.contains(key))
                    field.setV(values[key].toStdString());
            form.generateAppearancesIfNeeded();
            QPDFWriter(pdf, filled.toLocal8Bit().constData()).write();
        }
        QCOMPARE(Printed_Values(filled), expected);
        QProcess mutool;
        mutool.start("mutool", {"draw", "-F", "txt", filled});
        QVERIFY(mutool.waitForFinished() && QString::fromUtf8(mutool.readAllStandardOutput()).contains(name));
    }

    // MuPDF and pdf.js, running the form's scripts, add up what is typed:
    // amounts with commas count, words count as nothing, only the amount
    // owed is due, and totals of nothing are empty. The total cash column holds one bit of
    // its own per row, so that each sum shows each row it adds.
    void totalsAddThemselvesUp_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("filled");
        QTest::newRow("a day's meals, and advances")
            << "breakfast.mon=12.5 lunch.mon=1,000 dinner.mon=x travel_advances=2000"
            << "travel_advances=2,000.00 amount_due_company=2,000.00 breakfast.mon=12.50 lunch.mon=1,000.00 "
               "dinner.mon=x total_meals.mon=1,012.50 total_expense.mon=1,012.50";
        QString typed, filled;
        for (const char *row : {"lodging", "breakfast", "lunch", "dinner", "airline", "personal_auto", "cab_limo",
                                "auto_rental", "blank_1", "phone_telegram", "laundry_valet", "porter", "miscellaneous",
                                "blank_2", "blank_3", "blank_4", "blank_5", "blank_6", "entertainment"}) {
            const int bit = 1 << typed.count(u' ');
            typed += QStringLiteral(" %1.total_cash=%2").arg(row).arg(bit);
            filled += QStringLiteral(" %1.total_cash=%2")
                          .arg(row, QLocale(QLocale::English).toString(double(bit), 'f', 2));
        }
        QTest::newRow("every row of the cash column, a total typed over")
            << "travel_advances=0.5 total_meals.total_cash=7" + typed
            << "travel_advances=0.50 total_cash_expense=524,287.00 amount_due_employee=524,286.50 "
               "total_meals.total_cash=14.00 total_transportation.total_cash=240.00 "
               "total_incidentals.total_cash=130,816.00 total_expense.total_cash=524,287.00" + filled;
        QTest::newRow("typed, then cleared")
            << "breakfast.tue=5 travel_advances=9 breakfast.tue= travel_advances=" << "";
    }
    void totalsAddThemselvesUp()
    {
        QFETCH(QString, typed);
        QFETCH(QString, filled);
        QStringList expected = filled.split(u' ', Qt::SkipEmptyParts);
        expected.sort();
        const std::pair<QString, QStringList> readers[] = {{"mutool", {"run", REFERENCE_DIR "/print/mutool-totals.js"}},
                                                           {"node", {REFERENCE_DIR "/print/pdfjs-totals.js"}}};
        for (const auto &[reader, script] : readers) {
            QProcess run;
            run.start(reader, script + QStringList{pdf_} + typed.split(u' '));
            QVERIFY(run.waitForFinished() && run.exitCode() == 0);
            QStringList got = QString::fromUtf8(run.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
            got.sort();
            QCOMPARE(got, expected);
        }
    }

    // What a screen reader reads, as poppler and MuPDF read it back: tagged,
    // in English, named by its title, tabbing in structure order, and the
    // structure tree with each field named: the reviewed list.
    void structureIsTheReviewedList()
    {
        QProcess read;
        read.start("sh", {"-c", "pdfinfo \"$0\" | grep Tagged; mutool show \"$0\" trailer/Root/Lang "
                                "trailer/Root/MarkInfo/Marked trailer/Root/ViewerPreferences/DisplayDocTitle "
                                "trailer/Root/Pages/Kids/1/Tabs trailer/Root/StructTreeRoot/K/1/K/1/Alt; "
                                "pdfinfo -struct-text \"$0\"; qpdf --json --json-key=acroform \"$0\"",
                          pdf_});
        QVERIFY(read.waitForFinished() && read.exitCode() == 0);
        QString text = QString::fromUtf8(read.readAllStandardOutput());
        const QJsonDocument json = QJsonDocument::fromJson(text.mid(text.indexOf(u'{')).toUtf8());
        text.truncate(text.indexOf(u'{'));
        for (const QJsonValue field : json["acroform"]["fields"].toArray())
            text.replace(QStringLiteral("Object %1\n").arg(field["object"].toString().chopped(2)),
                         field["fullname"].toString() + u'\n');
        QFile read_back(QStringLiteral("form-structure.txt")); // left in the build tree to look at
        QVERIFY(read_back.open(QIODevice::WriteOnly) && read_back.write(text.toUtf8()) > 0);
        QFile reference(QStringLiteral(REFERENCE_DIR "/print/form-structure.txt"));
        QVERIFY(reference.open(QIODevice::ReadOnly));
        QCOMPARE(text.split(u'\n'), QString::fromUtf8(reference.readAll()).split(u'\n'));
    }

    // A page of other texts than the form's still becomes the form, untagged.
    void aPageOfOtherTextsIsLeftUntagged()
    {
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QPdfWriter writer(&buffer);
        QPainter(&writer).drawText(100, 100, QStringLiteral("other"));
        const Result<QByteArray> form = Make_Fillable_Form(buffer.data(), writer.pageLayout(), writer.resolution());
        QVERIFY2(form.Ok(), qPrintable(form.Message()));
        const QByteArray pdf = form.Value();
        QCOMPARE(Poppler::Document::loadFromData(pdf)->page(0)->formFields().size(), fields_.size());
        QFile other(dir_.filePath(QStringLiteral("other.pdf")));
        QVERIFY(other.open(QIODevice::WriteOnly) && other.write(pdf) == pdf.size() && other.flush());
        QCOMPARE(QProcess::execute("sh", {"-c", "pdfinfo \"$0\" | grep -q 'Tagged: *no'", other.fileName()}), 0);
    }

    // A PDF that is not whole is refused as damaged; a whole one without a
    // page (not what the program draws) is a fault of the program, not called damaged.
    void aDamagedPdfIsRefused()
    {
        QFile file(pdf_);
        const QByteArray whole = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        QByteArray moved = whole;
        moved[moved.lastIndexOf("startxref\n") + 10] ^= 1; // the cross-reference table is elsewhere
        const QPageLayout letter(QPageSize(QPageSize::Letter), QPageLayout::Portrait, {});
        for (const QByteArray &pdf : {QByteArray(), whole.left(whole.size() * 2 / 3), moved}) {
            const Result<QByteArray> form = Make_Fillable_Form(pdf, letter, 1200);
            QVERIFY(!form.Ok() && form.Message().startsWith(QStringLiteral("the PDF is damaged: ")));
        }
        QPDF empty;
        empty.emptyPDF();
        QPDFWriter writer(empty);
        writer.setOutputMemory();
        writer.write();
        const std::shared_ptr<Buffer> no_page = writer.getBufferSharedPointer();
        QVERIFY_THROWS_EXCEPTION(std::exception, (void)Make_Fillable_Form(
            QByteArray(reinterpret_cast<const char *>(no_page->getBuffer()), qsizetype(no_page->getSize())), letter, 1200));
    }
};

QTEST_MAIN(Test_Form)
#include "test_form.moc"
