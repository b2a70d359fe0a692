// The printed page as a PDF form, printed through the "PDF" command and read
// back: the fields against a reviewed list (names, tooltips, alignment,
// what is worked out, in the order of Tab) and against the rules and boxes
// the page draws; values set by poppler, MuPDF and pdf.js print whole in
// their own fields only; amounts typed are read as meant or refused (the
// unit tier's table, print/amount-cases.json) and the form adds up and says
// what does not alike in MuPDF and pdf.js; every total shows whole in the
// widest face a reader uses; the structure a screen reader reads is the
// reviewed one; a PDF that is not whole is refused. (test_render.sh checks
// that empty fields print nothing, and the document's names.)
#include "page_build.h"
#include "pdf_form.h"
#include "preview_surface.h"
#include "print_command.h"
#include "recording_surface.h"

#include <poppler-form.h>
#include <poppler-qt6.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFNumberTreeObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QRawFont>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

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
// whose middle lies in the field, each marked where it is not whole inside
// (its box, the font's height, a point over at most).
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
                inside << word->text() + (rect.adjusted(-1, -1, 1, 1).contains(word->boundingBox()) ? "" : "(cut)");
        printed[field->fullyQualifiedName()] = inside.join(u' ');
    }
    return printed;
}

// What the two engines that run the form's scripts here (MuPDF's and
// pdf.js's) hold when `pdf` is open and after each value typed
// (mutool-totals.js, pdfjs-totals.js): a map a line of each field's value,
// and under "alert" what the reader said (a line each time). The two must
// agree line by line, and neither may report an error.
void Typed_In(const QString &pdf, const QStringList &typed, QList<QMap<QString, QString>> &lines)
{
    QStringList printed[2];
    const std::pair<QString, QStringList> readers[] = {{"mutool", {"run", REFERENCE_DIR "/print/mutool-totals.js"}},
                                                       {"node", {REFERENCE_DIR "/print/pdfjs-totals.js"}}};
    for (int i = 0; i < 2; ++i) {
        QProcess run;
        run.start(readers[i].first, readers[i].second + QStringList{pdf} + typed);
        // An engine that reports an error (MuPDF's warnings, pdf.js's
        // sandbox) fails the case with its words, though it carried on.
        const bool finished = run.waitForFinished(-1);
        const QByteArray said = run.readAllStandardError();
        QVERIFY2(finished && run.exitCode() == 0 && said.isEmpty(),
                 qPrintable(readers[i].first + QStringLiteral(": ") + QString::fromUtf8(said)));
        printed[i] = QString::fromUtf8(run.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }
    QCOMPARE(printed[0], printed[1]);
    for (const QString &line : printed[0]) {
        QMap<QString, QString> values;
        for (const QString &pair : line.split(u'\t', Qt::SkipEmptyParts)) {
            QString &value = values[pair.section(u'=', 0, 0)];
            value += (value.isEmpty() ? "" : "\n") + pair.section(u'=', 1);
        }
        lines << values;
    }
}

// Every element of the structure tree under `node`, each with its parent,
// in the order they are read.
void Walk_Structure(QPDFObjectHandle node, const std::function<void(QPDFObjectHandle, QPDFObjectHandle)> &visit)
{
    QPDFObjectHandle kids = node.getKey("/K");
    const std::vector<QPDFObjectHandle> list = kids.isArray() ? kids.getArrayAsVector()
                                               : kids.isDictionary() ? std::vector<QPDFObjectHandle>{kids}
                                                                     : std::vector<QPDFObjectHandle>{};
    for (QPDFObjectHandle kid : list) {
        if (!kid.isDictionary())
            continue; // marked content, by number
        visit(kid, node);
        if (!kid.getKey("/Type").isNameAndEquals("/OBJR"))
            Walk_Structure(kid, visit);
    }
}

// The letters a font's /ToUnicode map gives its codes (bfchar entries).
QSet<char32_t> Mapped_Letters(QPDFObjectHandle font)
{
    QSet<char32_t> letters;
    QPDFObjectHandle map = font.getKey("/ToUnicode");
    if (!map.isStream())
        return letters;
    const std::shared_ptr<Buffer> data = map.getStreamData(qpdf_dl_generalized);
    const QString text =
        QString::fromLatin1(reinterpret_cast<const char *>(data->getBuffer()), qsizetype(data->getSize()));
    static const QRegularExpression entry(QStringLiteral("<[0-9A-Fa-f]+>\\s*<([0-9A-Fa-f]{4})>"));
    for (const QRegularExpressionMatch &match : entry.globalMatch(text))
        letters.insert(char32_t(match.captured(1).toUInt(nullptr, 16)));
    return letters;
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

    // Names, tooltips, alignment, lines, what is worked out (read-only) and
    // shown on screen only, in the order of Tab (the page's widgets: PDFium
    // tabs through all of them, so every field typed in comes first, and no
    // Tab from one lands on a total or the notice): the reviewed list.
    void fieldsAreTheReviewedList()
    {
        QStringList listed;
        for (const auto &field : fields_) {
            const auto &text = static_cast<const Poppler::FormFieldText &>(*field);
            listed << QStringLiteral("%1\t%2\t%3%4%5%6")
                          .arg(text.fullyQualifiedName(), text.uiName(),
                               text.textAlignment() & Qt::AlignRight ? "right" : "left",
                               text.textType() == Poppler::FormFieldText::Normal ? "" : "\tnot one line",
                               text.isReadOnly() ? "\tread-only" : "", text.isPrintable() ? "" : "\tnot printed");
        }
        QFile read_back(QStringLiteral("form-fields.txt")); // left in the build tree to look at
        QVERIFY(read_back.open(QIODevice::WriteOnly) && read_back.write((listed.join(u'\n') + u'\n').toUtf8()) > 0);
        QFile reference(QStringLiteral(REFERENCE_DIR "/print/form-fields.txt"));
        QVERIFY(reference.open(QIODevice::ReadOnly));
        QCOMPARE(listed, QString::fromUtf8(reference.readAll()).split(u'\n', Qt::SkipEmptyParts));
    }

    // Every field is one Form element of the structure (through the role
    // map, to its end), named as the field is (its tooltip), and found from
    // the field through the parent tree as a reader looks it up (halving
    // the keys): Firefox gives a screen reader that name for the field,
    // empty or filled. One step of the map, as pdf.js takes it, leads to no
    // Form, which Firefox would make a landmark of each field.
    void everyFieldIsNamedInTheStructure()
    {
        QPDF pdf;
        pdf.processFile(pdf_.toLocal8Bit().constData());
        std::map<QPDFObjGen, QStringList> named; // each widget's elements: type and alternative text
        std::map<QPDFObjGen, QPDFObjGen> holder; // each widget's element
        QPDFObjectHandle roles = pdf.getRoot().getKey("/StructTreeRoot").getKey("/RoleMap");
        const auto role = [&](const std::string &type) { return roles.getKey(type).isName() ? roles.getKey(type).getName() : type; };
        Walk_Structure(pdf.getRoot().getKey("/StructTreeRoot"), [&](QPDFObjectHandle kid, QPDFObjectHandle parent) {
            if (!kid.getKey("/Type").isNameAndEquals("/OBJR"))
                return;
            std::string type = parent.getKey("/S").getName();
            for (int step = 0; step < 10 && role(type) != type; ++step)
                type = role(type);
            if (role(parent.getKey("/S").getName()) == "/Form")
                type += " (a landmark in Firefox)";
            named[kid.getKey("/Obj").getObjGen()]
                << QString::fromStdString(type + " " +
                                          (parent.getKey("/Alt").isString() ? parent.getKey("/Alt").getUTF8Value()
                                                                            : "(no name)"));
            holder[kid.getKey("/Obj").getObjGen()] = parent.getObjGen();
        });
        QPDFNumberTreeObjectHelper parents(pdf.getRoot().getKey("/StructTreeRoot").getKey("/ParentTree"), pdf);
        int fields = 0;
        for (QPDFFormFieldObjectHelper &field : QPDFAcroFormDocumentHelper(pdf).getFormFields()) {
            const QString name = QString::fromStdString(field.getFullyQualifiedName());
            const QStringList &elements = named[field.getObjectHandle().getObjGen()];
            QVERIFY2(elements == QStringList{"/Form " + QString::fromStdString(field.getAlternativeName())},
                     qPrintable(name + " is in " + (elements.isEmpty() ? "no element" : elements.join(", "))));
            QPDFObjectHandle found;
            QVERIFY2(parents.findObject(field.getObjectHandle().getKey("/StructParent").getIntValue(), found) &&
                         found.getObjGen() == holder[field.getObjectHandle().getObjGen()],
                     qPrintable(name + "'s element is not found by its /StructParent"));
            ++fields;
        }
        QCOMPARE(fields, qsizetype(fields_.size()));
    }

    // The font each field's default appearance names, where PDFium and
    // qpdf look for it (the field's appearance, then the form's resources),
    // has every letter of the European names below; and it goes by the name
    // of a symbol font, the only name under which PDFium asks it for a
    // letter beyond ASCII rather than a system font of its own.
    void theFieldsFontHasEveryEuropeanLetter()
    {
        const QString names = QStringLiteral("İstanbul Kadıköy Łódź Ślęża Ørsted Şişli Ștefan Țurcanu Āžuolas Ėglė "
                                             "Ųla Ğüzel Ħamrun Ŵyn Œuvre ŠŽČĆĐ Ζωή Жанна Ґалина");
        QPDF pdf;
        pdf.processFile(pdf_.toLocal8Bit().constData());
        QPDFObjectHandle form_fonts = pdf.getRoot().getKey("/AcroForm").getKey("/DR").getKey("/Font");
        for (QPDFFormFieldObjectHelper &field : QPDFAcroFormDocumentHelper(pdf).getFormFields()) {
            const QString name = QString::fromStdString(field.getFullyQualifiedName());
            const QString font_name = QString::fromStdString(field.getDefaultAppearance()).section(u' ', 0, 0);
            QVERIFY2(QStringList({"/Wingdings", "/Wingdings2", "/Wingdings3", "/Webdings"}).contains(font_name),
                     qPrintable(name + " names " + font_name));
            QPDFObjectHandle appearance = field.getObjectHandle().getKey("/AP").getKey("/N");
            QPDFObjectHandle fonts = appearance.getDict().getKey("/Resources").getKey("/Font");
            QPDFObjectHandle font = fonts.isDictionary() && fonts.hasKey(font_name.toStdString())
                                        ? fonts.getKey(font_name.toStdString())
                                        : form_fonts.getKey(font_name.toStdString());
            const QSet<char32_t> letters = Mapped_Letters(font);
            QString missing;
            for (const char32_t letter : names.toUcs4())
                if (!letters.contains(letter))
                    missing += QString::fromUcs4(&letter, 1);
            QVERIFY2(missing.isEmpty(), qPrintable(name + "'s font lacks " + missing));
        }
    }

    // A heading drawn over two lines in the grid's header reads as its
    // words with a space between the lines, not run together.
    void twoLineHeadingsReadWithTheirSpace()
    {
        QPDF pdf;
        pdf.processFile(pdf_.toLocal8Bit().constData());
        QStringList read;
        Walk_Structure(pdf.getRoot().getKey("/StructTreeRoot"), [&](QPDFObjectHandle element, QPDFObjectHandle) {
            if (element.getKey("/ActualText").isString())
                read << QString::fromStdString(element.getKey("/S").getName() + " " +
                                               element.getKey("/ActualText").getUTF8Value());
        });
        QCOMPARE(read, QStringList({"/TH EXPENSES FOR WEEK ENDING:", "/TH TOTAL CHARGE", "/TH TOTAL CASH"}));
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
            if (!field->isPrintable())
                continue; // a notice on screen: over the page, not on a blank
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

    // Values set by each tool, saved and printed by poppler: each whole in
    // its own field and nowhere else, a long name or place made smaller to
    // fit; MuPDF prints poppler's and pdf.js's drawing as it is. MuPDF draws
    // Latin letters beyond Windows-1252 as dots whatever the form's fonts.
    // (qpdf writes single-byte text only, which the fields' composite font
    // does not take.)
    void aValuePrintsWholeInItsFieldOnly_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("name");
        QTest::newRow("poppler") << "poppler" << "Łódź İstanbul Zoë Ζωή Жанна";
        QTest::newRow("pdf.js") << "pdf.js" << "Łódź İstanbul Zoë Ζωή Жанна";
        QTest::newRow("MuPDF") << "MuPDF" << "Zoë Ζωή Жанна";
    }
    void aValuePrintsWholeInItsFieldOnly()
    {
        QFETCH(QString, tool);
        QFETCH(QString, name);
        const QMap<QString, QString> values{
            {"travel_advances", "1500.00"}, {"total_expense.total_cash", "1,234,567.89"}, {"name", name},
            {"mail_address_1", "12 Elm Street"}, {"mail_address_2", "Springfield, IL 62704"},
            {"purpose_1", "Customer training for the new ledger and the quarterly report, Munich"},
            {"cities_overnight.mon", "Philadelphia"}, {"cities_overnight.tue", "Indianapolis"},
            {"cities_overnight.wed", "Llanfairpwllgwyngyll"}, {"country.thu", "Deutschland"}};
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
        } else {
            QCOMPARE(QProcess::execute("mutool", QStringList{"run"} + byTooltip), 0);
        }
        QCOMPARE(Printed_Values(filled), expected);
        // A short value no larger than the form's 8 points (a word's box is
        // 1.12 em tall): poppler (Okular) fitted it to the field's height.
        for (const auto &word : Poppler::Document::load(filled)->page(0)->textList())
            if (word->text() == u"Elm")
                QVERIFY2(word->boundingBox().height() < 8 * 1.13, qPrintable(QString::number(word->boundingBox().height())));
        QProcess mutool;
        mutool.start("mutool", {"draw", "-F", "txt", filled});
        QVERIFY(mutool.waitForFinished() && QString::fromUtf8(mutool.readAllStandardOutput()).contains(name));
    }

    // A value too long to read at 6 points in its field is shown as its
    // start and "..." where a reader runs the form's scripts (MuPDF here),
    // and kept whole; a short one as it is. Shortened, it is drawn as large
    // as the short one (MuPDF fits a day cell's value to its height, about
    // 5 points): not shrunk to its field's width (3.5 points whole).
    void aLongValueShowsWhereItGoesOn()
    {
        const QString filled = dir_.filePath(QStringLiteral("long-values.pdf"));
        QCOMPARE(QProcess::execute("mutool", {"run", REFERENCE_DIR "/print/mutool-fill.js", "--scripts", pdf_, filled,
                                              "Cities overnight, Wednesday=Llanfairpwllgwyngyll",
                                              "Cities overnight, Thursday=Oslo"}),
                 0);
        QCOMPARE(Printed_Values(filled).value("cities_overnight.wed"), QString::fromUtf8("Llanfairp\u2026"));
        QCOMPARE(Printed_Values(filled).value("cities_overnight.thu"), QStringLiteral("Oslo"));
        const auto document = Poppler::Document::load(filled);
        QMap<QString, double> height;
        for (const auto &word : document->page(0)->textList())
            height[word->text().left(4)] = word->boundingBox().height();
        QVERIFY2(height.value("Llan") > 0 && height.value("Llan") >= height.value("Oslo") - 0.01,
                 qPrintable(QStringLiteral("%1 beside %2").arg(height.value("Llan")).arg(height.value("Oslo"))));
        for (const auto &field : document->page(0)->formFields())
            if (field->fullyQualifiedName() == u"cities_overnight.wed")
                QCOMPARE(static_cast<Poppler::FormFieldText &>(*field).text(), QStringLiteral("Llanfairpwllgwyngyll"));
    }

    // The table of amounts that the scripts' unit tests run (amount-cases.json)
    // typed into BREAKFAST MON over 1.00, with LUNCH MON at 10.00, in MuPDF and
    // pdf.js: the amount it then holds and TOTAL MEALS MON; or refused: it
    // keeps 1.00, and the reader says why, once, naming what was typed
    // (without the blanks around it), and
    // that the cell keeps what it held (by the cell's name once the focus
    // has left it).
    void amountsAreReadAsMeantOrRefused()
    {
        QFile file(QStringLiteral(REFERENCE_DIR "/print/amount-cases.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonArray table = QJsonDocument::fromJson(file.readAll())["cases"].toArray();
        QVERIFY(table.size() > 30);
        QStringList steps{"lunch.mon=10"};
        for (const QJsonValue row : table)
            steps << "breakfast.mon=1" << "breakfast.mon=" + row["typed"].toString();
        QList<QMap<QString, QString>> lines;
        Typed_In(pdf_, steps, lines);
        QCOMPARE(lines.size(), 2 * table.size() + 2);
        for (qsizetype i = 0; i < table.size(); ++i) {
            const QJsonValue row = table[i];
            const QString typed = row["typed"].toString(), alert = lines[2 * i + 3].value("alert");
            const bool held = row["held"].isString();
            QVERIFY2(lines[2 * i + 3].value("breakfast.mon") == (held ? row["held"].toString() : "1.00") &&
                         lines[2 * i + 3].value("total_meals.mon") == (held ? row["total"].toString() : "11.00") &&
                         (held ? alert.isEmpty()
                               : alert.startsWith(u'"' + typed.trimmed().left(20)) && alert.contains(row["said"].toString()) &&
                                     (alert.endsWith(QStringLiteral("It is not typed in: the cell keeps what it held.")) ||
                                      alert.endsWith(QStringLiteral("Breakfast MON keeps 1.00."))) &&
                                     !alert.contains(u'\n')),
                     qPrintable(typed.left(40) + " gave " + lines[2 * i + 3].value("breakfast.mon") + " " + alert));
        }
    }

    // Values filled in where no script ran (pdf.js without them), then typed
    // one after another, and what the form then holds: it adds up and shows
    // every amount as one as it is opened; only the amount owed is due, and
    // none while a row's days do not add up to its totals, which the notice
    // says (a blank row by its description, an entry that is not an amount
    // told apart, many rows counted, and then whole as a row is left that
    // way); every row of the days and the cash column adds into its totals
    // (a bit each); totals are never capped; what is typed into a total or
    // the notice is refused out loud; totals of nothing are empty.
    void theFormAddsUp_data()
    {
        QTest::addColumn<QStringList>("filled");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QStringList>("holds");
        QTest::newRow("filled where no script ran")
            << QStringList{"breakfast.mon=12.5", "breakfast.total_charge=12.5", "lunch.wed=1,000",
                           "lunch.total_cash=1000", "travel_advances=$2000"}
            << QStringList{}
            << QStringList{"amount_due_company=1,000.00", "breakfast.mon=12.50", "breakfast.total_charge=12.50",
                           "lunch.total_cash=1,000.00", "lunch.wed=1,000.00", "total_cash_expense=1,000.00",
                           "total_expense.mon=12.50", "total_expense.total_cash=1,000.00",
                           "total_expense.total_charge=12.50", "total_expense.wed=1,000.00", "total_meals.mon=12.50",
                           "total_meals.total_cash=1,000.00", "total_meals.total_charge=12.50",
                           "total_meals.wed=1,000.00", "travel_advances=2,000.00"};
        QTest::newRow("filled where no script ran, entries not amounts and a row that does not add up")
            << QStringList{"lunch.tue=12,50", "travel_advances=abc", "breakfast.mon=5"} << QStringList{}
            << QStringList{"amount_due_company=?", "amount_due_employee=?", "breakfast.mon=5.00",
                           "check=2 entries are not amounts: Lunch TUE \"12,50\", ...; 1 row does not add up",
                           "lunch.tue=12,50", "total_expense.mon=5.00", "total_expense.tue=?", "total_meals.mon=5.00",
                           "total_meals.tue=?", "travel_advances=abc"};
        QTest::newRow("a row left with totals that do not add up")
            << QStringList{} << QStringList{"lunch.mon=7", "lunch.total_cash=7", "breakfast.mon=5",
                                            "breakfast.total_cash=4", "dinner.tue=3"}
            << QStringList{"alert=Breakfast: the days add up to 5.00, TOTAL CHARGE + TOTAL CASH to 4.00. The line "
                           "over the grid says so until they agree.",
                           "amount_due_employee=?", "amount_due_company=?", "breakfast.mon=5.00",
                           "breakfast.total_cash=4.00",
                           "check=2 rows do not add up: Breakfast, Dinner",
                           "dinner.tue=3.00", "lunch.mon=7.00", "lunch.total_cash=7.00", "total_cash_expense=11.00",
                           "total_expense.mon=12.00", "total_expense.total_cash=11.00", "total_expense.tue=3.00",
                           "total_meals.mon=12.00", "total_meals.total_cash=11.00", "total_meals.tue=3.00"};
        QTest::newRow("a row left with totals that do not add up, by Tab alone")
            << QStringList{} << QStringList{"breakfast.mon=5", "breakfast.total_cash=4", "lunch.mon="}
            << QStringList{"alert=Breakfast: the days add up to 5.00, TOTAL CHARGE + TOTAL CASH to 4.00. The line "
                           "over the grid says so until they agree.",
                           "amount_due_employee=?", "amount_due_company=?", "breakfast.mon=5.00",
                           "breakfast.total_cash=4.00", "check=Breakfast: the days do not add up to TOTAL CHARGE + TOTAL CASH",
                           "total_cash_expense=4.00", "total_expense.mon=5.00", "total_expense.total_cash=4.00",
                           "total_meals.mon=5.00", "total_meals.total_cash=4.00"};
        QTest::newRow("a row left with its totals empty is not told")
            << QStringList{} << QStringList{"breakfast.mon=5", "dinner.tue=3"}
            << QStringList{"amount_due_employee=?", "amount_due_company=?", "breakfast.mon=5.00",
                           "check=2 rows do not add up: Breakfast, Dinner", "dinner.tue=3.00",
                           "total_expense.mon=5.00", "total_expense.tue=3.00", "total_meals.mon=5.00",
                           "total_meals.tue=3.00"};
        QTest::newRow("a blank row by its description")
            << QStringList{"blank_1.description=Parking", "blank_2.mon=1"} << QStringList{"blank_1.mon=4"}
            << QStringList{"amount_due_company=?", "amount_due_employee=?", "blank_1.description=Parking",
                           "blank_1.mon=4.00", "blank_2.mon=1.00",
                           "check=2 rows do not add up: Parking, Blank row 2",
                           "total_expense.mon=5.00", "total_incidentals.mon=5.00"};
        QTest::newRow("more rows than the notice has room for")
            << QStringList{"lodging.mon=1", "breakfast.mon=1", "lunch.mon=1", "dinner.mon=1", "airline.mon=1",
                           "personal_auto.mon=1", "cab_limo.mon=1", "auto_rental.mon=1", "phone_telegram.mon=1",
                           "laundry_valet.mon=1", "porter.mon=1", "miscellaneous.mon=1", "entertainment.mon=1",
                           "blank_3.mon=1", "blank_3.description=Conference fee for the ledger users' meeting"}
            << QStringList{"lodging.total_cash=2", "porter.mon=1"}
            << QStringList{"alert=Lodging (room and tax): the days add up to 1.00, TOTAL CHARGE + TOTAL CASH to 2.00. The "
                           "line over the grid says so until they agree. The line over the grid, whole: 14 rows do not "
                           "add up: Lodging (room and tax), Breakfast, Lunch, Dinner, Airline, Personal auto, Cab, limo., "
                           "etc., Auto rental, Phone and telegram, Laundry and valet, Porter, Miscellaneous, Conference "
                           "fee for the ledger users' meeting, Entertainment", "lodging.total_cash=2.00",
                           "total_cash_expense=2.00", "total_expense.total_cash=2.00",
                           "check=14 rows do not add up: Lodging (room and tax), Breakfast, Lunch, Dinner, Airline, ...",
                           "amount_due_company=?", "amount_due_employee=?", "lodging.mon=1.00", "breakfast.mon=1.00",
                           "lunch.mon=1.00", "dinner.mon=1.00", "airline.mon=1.00", "personal_auto.mon=1.00",
                           "cab_limo.mon=1.00", "auto_rental.mon=1.00", "phone_telegram.mon=1.00",
                           "laundry_valet.mon=1.00", "porter.mon=1.00", "miscellaneous.mon=1.00",
                           "entertainment.mon=1.00", "blank_3.mon=1.00",
                           "blank_3.description=Conference fee for the ledger users' meeting",
                           "total_expense.mon=14.00", "total_incidentals.mon=5.00", "total_meals.mon=3.00",
                           "total_transportation.mon=4.00"};
        QTest::newRow("totals above what a cell takes")
            << QStringList{} << QStringList{"breakfast.mon=60,000", "lunch.mon=50,000.00", "breakfast.total_cash=60000",
                                            "lunch.total_cash=50000"}
            << QStringList{"amount_due_employee=110,000.00", "breakfast.mon=60,000.00",
                           "breakfast.total_cash=60,000.00", "lunch.mon=50,000.00", "lunch.total_cash=50,000.00",
                           "total_cash_expense=110,000.00", "total_expense.mon=110,000.00",
                           "total_expense.total_cash=110,000.00", "total_meals.mon=110,000.00",
                           "total_meals.total_cash=110,000.00"};
        QStringList typed{"travel_advances=0.5"}, holds{"travel_advances=0.50", "total_cash_expense=5,242.87",
                                                        "amount_due_employee=5,242.37"};
        int bit = 1; // in cents
        for (const char *row : {"lodging", "breakfast", "lunch", "dinner", "airline", "personal_auto", "cab_limo",
                                "auto_rental", "blank_1", "phone_telegram", "laundry_valet", "porter", "miscellaneous",
                                "blank_2", "blank_3", "blank_4", "blank_5", "blank_6", "entertainment"}) {
            for (const char *column : {".mon=", ".total_cash="})
                typed << row + QString(column) + QString::number(bit / 100.0),
                    holds << row + QString(column) + QLocale(QLocale::English).toString(bit / 100.0, 'f', 2);
            bit *= 2;
        }
        for (const char *column : {".mon=", ".total_cash="})
            holds << "total_meals" + QString(column) + "0.14" << "total_transportation" + QString(column) + "2.40"
                  << "total_incidentals" + QString(column) + "1,308.16"
                  << "total_expense" + QString(column) + "5,242.87";
        QTest::newRow("every row of the days and of the cash column") << QStringList{} << typed << holds;
        // Chromium tabs into the totals and the notice after the last typed field.
        QTest::newRow("typed into a total, refused and said")
            << QStringList{} << QStringList{"lunch.mon=7", "total_meals.mon=412.80"}
            << QStringList{"alert=Total meals (self), Monday is worked out from the cells it adds up, and takes "
                           "nothing typed in: \"412.80\" is not kept. Type it into the cell it is meant for.",
                           "amount_due_company=?", "amount_due_employee=?",
                           "check=Lunch: the days do not add up to TOTAL CHARGE + TOTAL CASH", "lunch.mon=7.00",
                           "total_expense.mon=7.00", "total_meals.mon=7.00"};
        QTest::newRow("typed into the notice, refused and said")
            << QStringList{} << QStringList{"check=Paris"}
            << QStringList{"alert=The line over the grid says what does not add up on the form, and takes nothing "
                           "typed in: \"Paris\" is not kept. Type it into the cell it is meant for."};
    }
    void theFormAddsUp()
    {
        QFETCH(QStringList, filled);
        QFETCH(QStringList, typed);
        QFETCH(QStringList, holds);
        QString pdf = pdf_;
        if (!filled.isEmpty()) {
            pdf = dir_.filePath(QStringLiteral("filled-without-scripts.pdf"));
            QCOMPARE(QProcess::execute("node", QStringList{REFERENCE_DIR "/print/pdfjs-fill.js", pdf_, pdf} + filled),
                     0);
        }
        QList<QMap<QString, QString>> lines;
        Typed_In(pdf, typed, lines);
        QStringList held;
        for (const auto &[name, value] : lines.value(typed.size()).asKeyValueRange())
            held << name + u'=' + value;
        holds.sort();
        QCOMPARE(held.join(u'\n'), holds.join(u'\n')); // a difference shown whole
    }
    // Every typed amount at the most a cell takes, filled in where no script
    // ran, then opened in MuPDF and pdf.js: every amount and total shows
    // whole at its field's size in DejaVu Sans, the widest face a reader
    // puts in for the form's (pdf.js on Debian does).
    void everyTotalShowsWhole()
    {
        const QRawFont widest(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"), 100);
        if (!widest.isValid())
            QSKIP("DejaVu Sans (fonts-dejavu-core) is not installed to measure with");
        QStringList filled;
        for (const auto &field : fields_)
            if (!field->isReadOnly() && static_cast<const Poppler::FormFieldText &>(*field).textAlignment() & Qt::AlignRight)
                filled << field->fullyQualifiedName() + QStringLiteral("=99999.99");
        QCOMPARE(filled.size(), 19 * 9 + 1); // the rows' days and totals, the travel advances
        const QString pdf = dir_.filePath(QStringLiteral("most.pdf"));
        QCOMPARE(QProcess::execute("node", QStringList{REFERENCE_DIR "/print/pdfjs-fill.js", pdf_, pdf} + filled), 0);
        QList<QMap<QString, QString>> lines;
        Typed_In(pdf, {}, lines);
        QCOMPARE(lines.value(0).value("total_expense.total_cash"), QStringLiteral("1,899,999.81"));
        for (const auto &field : fields_) {
            const auto &text = static_cast<const Poppler::FormFieldText &>(*field);
            const QString value = lines.value(0).value(field->fullyQualifiedName());
            if (!(text.textAlignment() & Qt::AlignRight) || value.isEmpty() || value == u"?")
                continue;
            double width = 0;
            const QList<quint32> glyphs = widest.glyphIndexesForString(value);
            for (const QPointF advance : widest.advancesForGlyphIndexes(glyphs))
                width += advance.x() / 100 * text.getFontSize();
            const double room = field->rect().width() * 612 - 4; // readers keep 2 points clear each side
            QVERIFY2(width <= room, qPrintable(QStringLiteral("%1 shows %2 %3 points wide in %4")
                                                   .arg(field->fullyQualifiedName(), value)
                                                   .arg(width)
                                                   .arg(room)));
        }
    }

    // A form saved where its scripts ran is opened in pdf.js without a
    // field set: Firefox counts any value a script sets as a change, and
    // would ask to save an unchanged form on close.
    void aSavedFormOpensUnchanged()
    {
        const QString saved = dir_.filePath(QStringLiteral("saved-by-mupdf.pdf"));
        QCOMPARE(QProcess::execute("mutool", {"run", REFERENCE_DIR "/print/mutool-fill.js", "--scripts", pdf_, saved,
                                              "Lunch, Monday=199.3", "Lunch, total cash=199.30", "Travel advances received=1000"}),
                 0);
        QProcess open;
        open.start("node", {REFERENCE_DIR "/print/pdfjs-totals.js", "--unchanged", saved});
        QVERIFY2(open.waitForFinished(-1) && open.exitCode() == 0, open.readAllStandardError().constData());
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
