// The printed page as a PDF form, printed through the "PDF" command and read
// back with poppler: the fields against a reviewed list (names, tooltips,
// alignment, lines, in reading order) and against the rules and boxes the
// page draws, a value typed in and saved shows inside its field, empty
// fields print nothing, the document's names, and a PDF that is not whole
// refused.
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

struct Field {
    QString name;
    QRectF twips; // from the printable area's top-left corner, as the page is drawn
};

// What the page draws (on a recording printer) that a field may belong to:
// the rules a hand writes on, the boxes, and the grid's cells without text.
struct Blanks {
    QList<QLineF> rules;
    QList<QRectF> boxes; // entry boxes and blank cells
};

Blanks Drawn_Blanks()
{
    Recording_Surface page(true);
    OutputTarget = &page;
    Build_Page();
    QList<QLineF> across, down;
    QList<QRectF> boxes;
    QList<QPointF> texts;
    QRectF hatched;
    int fill = 1;
    double size = 8;
    QPointF at;
    for (const QString &call : page.Calls()) {
        const QStringList f = call.split(u' ');
        if (f[0] == u"FillStyle")
            fill = f[1].toInt();
        else if (f[0] == u"CurrentX")
            at.setX(f[1].toDouble());
        else if (f[0] == u"CurrentY")
            at.setY(f[1].toDouble());
        else if (f[0] == u"FontSize")
            size = f[1].toDouble();
        else if (f[0] == u"Print") // the middle of the line, in the recording's metrics
            texts << at + QPointF((call.size() - 6) * size * 12.5 / 2, size * 25 / 2);
        if (f[0] != u"Line")
            continue;
        const QLineF line(f[1].toDouble(), f[2].toDouble(), f[3].toDouble(), f[4].toDouble());
        if (f[6] == u"box" && fill == 1)
            boxes << QRectF(line.p1(), line.p2());
        else if (f[6] == u"box" && fill == 7)
            hatched = QRectF(line.p1(), line.p2());
        else if (f[6] == u"segment")
            (line.dy() == 0 ? across : down) << line;
    }
    // The grid: the rows between the rules the column rules cross, the
    // columns between those; a cell without text or hatching is a blank.
    const double top = down[0].y1(), bottom = down[0].y2();
    QList<double> rows, columns;
    for (const QLineF &line : down)
        columns << line.x1();
    std::sort(columns.begin(), columns.end());
    Blanks blanks{{}, boxes};
    for (const QLineF &line : across) {
        if (line.y1() >= top && line.y1() <= bottom)
            rows << line.y1();
        else if (line.length() < columns.last() - columns.first() &&
                 !std::any_of(across.begin(), across.end(), [&](const QLineF &upper) { // the lower of a double rule
                     return upper.x1() == line.x1() && upper.y1() == line.y1() - 40;
                 }))
            blanks.rules << line;
    }
    for (qsizetype r = 0; r + 1 < rows.size(); ++r)
        for (qsizetype c = 0; c + 1 < columns.size(); ++c) {
            const QRectF cell(QPointF(columns[c], rows[r]), QPointF(columns[c + 1], rows[r + 1]));
            if (cell.height() > 100 && !hatched.contains(cell.center()) &&
                std::none_of(texts.begin(), texts.end(), [&](QPointF text) { return cell.contains(text); }))
                blanks.boxes << cell;
        }
    return blanks;
}

bool Near(double a, double b)
{
    return std::abs(a - b) <= 1; // twips
}

} // namespace

class Test_Form : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString pdf_;
    QPointF corner_; // the printable area's top-left corner, points
    std::unique_ptr<Poppler::Document> document_;
    std::vector<std::unique_ptr<Poppler::FormField>> fields_;

    QRectF Twips(const QRectF &normalized) const
    {
        const QRectF points(normalized.x() * 612, normalized.y() * 792, normalized.width() * 612,
                            normalized.height() * 792);
        return QRectF((points.topLeft() - corner_) * 20, points.size() * 20);
    }

    static QImage Render(Poppler::Document &document)
    {
        return document.page(0)->renderToImage(144, 144).convertToFormat(QImage::Format_Grayscale8);
    }

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
        Print_Page(nullptr, preview);
        QCOMPARE(QProcess::execute(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf_}), 0);
        document_ = Poppler::Document::load(pdf_);
        QVERIFY(document_);
        fields_ = document_->page(0)->formFields();
    }

    // Names, tooltips, alignment and lines, in reading order, against the
    // reviewed list; reading order itself: each field right of the one
    // before on the same line, or below it.
    void fieldsAreTheReviewedList()
    {
        QStringList listed;
        for (qsizetype i = 0; i < qsizetype(fields_.size()); ++i) {
            const auto &text = static_cast<const Poppler::FormFieldText &>(*fields_[i]);
            listed << QStringLiteral("%1\t%2\t%3%4")
                          .arg(text.fullyQualifiedName(), text.uiName(),
                               text.textAlignment() & Qt::AlignRight ? "right" : "left",
                               text.textType() == Poppler::FormFieldText::Multiline ? "\tmulti-line" : "");
            if (i > 0) {
                const QRectF a = fields_[i - 1]->rect(), b = fields_[i]->rect();
                const bool sameLine = b.top() < a.bottom() && a.top() < b.bottom();
                QVERIFY2(sameLine ? b.left() >= a.right() - 1e-4 : b.top() >= a.bottom() - 1e-4,
                         qPrintable(listed.last()));
            }
        }
        QFile reference(QStringLiteral(REFERENCE_DIR "/print/form-fields.txt"));
        QVERIFY(reference.open(QIODevice::ReadOnly));
        const QString actual = listed.join(u'\n') + u'\n';
        if (actual != QString::fromUtf8(reference.readAll())) {
            QFile drawn(QStringLiteral("form-fields.txt"));
            QVERIFY(drawn.open(QIODevice::WriteOnly) && drawn.write(actual.toUtf8()) > 0);
            QFAIL("the fields differ from tests/print/form-fields.txt; what was found is in form-fields.txt");
        }
    }

    // Every field lies in a blank box or cell, or on the rules it is
    // written on with one line of writing above the first; every blank has
    // exactly one field.
    void fieldsSitOnTheirBlanks()
    {
        const Blanks blanks = Drawn_Blanks();
        QList<int> rules(blanks.rules.size()), boxes(blanks.boxes.size());
        for (const auto &field : fields_) {
            const QRectF at = Twips(field->rect());
            bool placed = false;
            for (qsizetype i = 0; i < blanks.boxes.size(); ++i) {
                const QRectF &box = blanks.boxes[i];
                if (Near(at.left(), box.left()) && Near(at.top(), box.top()) && Near(at.right(), box.right()) &&
                    Near(at.bottom(), box.bottom()))
                    placed = ++boxes[i];
            }
            double first = 1e9, last = -1;
            for (qsizetype i = 0; i < blanks.rules.size(); ++i) {
                const QLineF &rule = blanks.rules[i];
                if (Near(at.left(), rule.x1()) && Near(at.right(), rule.x2()) && rule.y1() > at.top() &&
                    rule.y1() <= at.bottom() + 1) {
                    ++rules[i];
                    first = std::min(first, rule.y1());
                    last = std::max(last, rule.y1());
                }
            }
            placed = placed || (Near(at.bottom(), last) && Near(at.top(), first - 216));
            QVERIFY2(placed, qPrintable(QStringLiteral("%1 at %2, %3 to %4, %5 is off its blank")
                                            .arg(field->fullyQualifiedName())
                                            .arg(at.left()).arg(at.top()).arg(at.right()).arg(at.bottom())));
        }
        for (qsizetype i = 0; i < blanks.rules.size(); ++i)
            QVERIFY2(rules[i] == 1, qPrintable(QStringLiteral("rule at y %1: %2 fields").arg(blanks.rules[i].y1()).arg(rules[i])));
        for (qsizetype i = 0; i < blanks.boxes.size(); ++i)
            QVERIFY2(boxes[i] == 1, qPrintable(QStringLiteral("box at %1, %2: %3 fields")
                                                   .arg(blanks.boxes[i].left()).arg(blanks.boxes[i].top()).arg(boxes[i])));
    }

    // Empty fields print nothing: the page is the same with its
    // annotations and without (poppler's Qt library would show the fields
    // still; its pdftoppm hides them).
    void emptyFieldsPrintNothing()
    {
        const auto page = [this](QStringList options) {
            QProcess pdftoppm;
            pdftoppm.start(QStringLiteral("pdftoppm"), options << QStringLiteral("-r") << QStringLiteral("144") << pdf_);
            return pdftoppm.waitForFinished() && pdftoppm.exitCode() == 0 ? pdftoppm.readAllStandardOutput() : QByteArray();
        };
        const QByteArray shown = page({});
        QVERIFY(!shown.isEmpty());
        QVERIFY(shown == page({QStringLiteral("-hide-annotations")}));
    }

    void namesItself()
    {
        QCOMPARE(document_->title(), QStringLiteral("Travel Expense Report"));
        QCOMPARE(document_->creator(), QStringLiteral("Quorvel 1.0"));
        const QString xmp = document_->metadata();
        QVERIFY(xmp.contains(QStringLiteral(">Travel Expense Report</rdf:li>")));
        QVERIFY(xmp.contains(QStringLiteral("<xmp:CreatorTool>Quorvel 1.0</xmp:CreatorTool>")));
    }

    // A value typed in a reader (poppler), saved and printed, shows inside
    // its field, on the side the field aligns to.
    void aValueShowsInItsField_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("right");
        QTest::newRow("name") << "name" << "Jane Q. Traveller" << false;
        QTest::newRow("amount") << "breakfast.mon" << "12.50" << true;
        QTest::newRow("total") << "total_expense.total_cash" << "1234.56" << true;
        QTest::newRow("week ending, a small box") << "week_ending" << "12/04/26" << false;
        QTest::newRow("purpose, two lines") << "purpose" << "Customer visit\nand training" << false;
        QTest::newRow("description of a blank row") << "blank_2.description" << "Parking" << false;
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
        QVERIFY(!rect.isEmpty());
        const QString saved = dir_.filePath(field + QStringLiteral(".pdf"));
        const auto converter = document->pdfConverter();
        converter->setOutputFileName(saved);
        converter->setPDFOptions(Poppler::PDFConverter::WithChanges);
        QVERIFY(converter->convert());
        const QImage blank = Render(*document_), filled = Render(*Poppler::Document::load(saved));
        QRect ink;
        for (int y = 0; y < blank.height(); ++y)
            for (int x = 0; x < blank.width(); ++x)
                if (blank.pixelColor(x, y) != filled.pixelColor(x, y))
                    ink |= QRect(x, y, 1, 1);
        const QRectF box(rect.x() * blank.width(), rect.y() * blank.height(), rect.width() * blank.width(),
                         rect.height() * blank.height());
        QVERIFY2(!ink.isEmpty() && box.adjusted(-1, -1, 1, 1).contains(ink),
                 qPrintable(QStringLiteral("ink %1,%2 %3x%4").arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())));
        QCOMPARE(ink.center().x() > box.center().x(), right);
        if (value.contains(u'\n'))
            QVERIFY(ink.height() > box.height() / 3);
    }

    // A PDF that is not whole is refused, and left as it was.
    void aDamagedPdfIsRefused_data()
    {
        QFile file(pdf_);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();
        QByteArray offset = whole;
        const qsizetype xref = offset.lastIndexOf("startxref\n") + 10;
        offset[xref] = offset[xref] == '1' ? '2' : '1';
        QTest::addColumn<QByteArray>("pdf");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("cut short") << whole.left(whole.size() * 2 / 3);
        QTest::newRow("cross-reference moved") << offset;
        QTest::newRow("not a PDF") << QByteArray("%PDF-1.4\nhello\n");
    }
    void aDamagedPdfIsRefused()
    {
        QFETCH(QByteArray, pdf);
        QByteArray bytes = pdf;
        const QString error = Make_Fillable_Form(bytes, QPrinter().pageLayout(), 1200);
        QVERIFY2(error.contains(QStringLiteral("damaged")), qPrintable(error));
        QCOMPARE(bytes, pdf);
    }
};

QTEST_MAIN(Test_Form)
#include "test_form.moc"
