// The printed page as a PDF form, printed through the "PDF" command and read
// back with poppler: the fields against a reviewed list (names, tooltips,
// alignment, lines, in reading order) and against the rules and boxes the
// page draws, a value typed in and saved shows inside its field, and a PDF
// that is not whole is refused. (tests/page/test_render.sh checks that
// empty fields print nothing, and the document's names.)
#include "page_build.h"
#include "pdf_form.h"
#include "preview_surface.h"
#include "printing.h"
#include "recording_surface.h"

#include <poppler-form.h>
#include <poppler-qt6.h>

#include <QFile>
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
    OutputTarget = &page;
    Build_Page();
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
        Preview_Surface preview;
        OutputTarget = &preview;
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
                               text.textType() == Poppler::FormFieldText::Multiline ? "\tmulti-line" : "");
        }
        QFile reference(QStringLiteral(REFERENCE_DIR "/print/form-fields.txt"));
        QVERIFY(reference.open(QIODevice::ReadOnly));
        QCOMPARE(listed, QString::fromUtf8(reference.readAll()).split(u'\n', Qt::SkipEmptyParts));
    }

    // Every field fills a blank box or cell, or stands on the rules it is
    // written on with one line of writing (216 twips) above the first;
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
            QVERIFY2(placed || (Near(at.bottom(), last) && Near(at.top(), first - 216)),
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
        QTest::newRow("purpose, two lines") << "purpose" << "Customer visit\nand training" << false;
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
        QCOMPARE(ink.height() > 12, value.contains(u'\n')); // one line of writing: 12 points at most
    }

    // A PDF that is not whole is refused, and left as it was.
    void aDamagedPdfIsRefused()
    {
        QFile file(pdf_);
        const QByteArray whole = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        QByteArray moved = whole;
        moved[moved.lastIndexOf("startxref\n") + 10] ^= 1; // the cross-reference table is elsewhere
        for (const QByteArray &pdf : {QByteArray(), whole.left(whole.size() * 2 / 3), moved}) {
            QByteArray bytes = pdf;
            QVERIFY(Make_Fillable_Form(bytes, QPrinter().pageLayout(), 1200).contains(QStringLiteral("damaged")));
            QCOMPARE(bytes, pdf);
        }
    }
};

QTEST_MAIN(Test_Form)
#include "test_form.moc"
