// The page against the recording surface: how many drawing commands it
// issues and in which order, and the geometry that a misplaced row would
// break (rules, shading under rules and labels, instruction rows, the sheet),
// the preparation of each target and the end of the document.
#include "error_of.h"
#include "page_build.h"
#include "recording_surface.h"

#include <QRectF>
#include <QTest>

#include <algorithm>
#include <set>

namespace {

// One drawing call with the state it was drawn in: a segment, a box, a text
// or a picture; rect holds the two points, or the text's / picture's box.
struct Drawn {
    QString kind; // "segment", "box", "text", "picture"
    QRectF rect{};
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    QString text{};
    double fontSize = 0;
    long fillColor = 0;
    int fillStyle = 0;
};

QList<double> Numbers(const QString &call)
{
    QList<double> numbers;
    for (const QString &word : call.split(u' ').mid(1)) {
        bool ok = false;
        const double value = word.toDouble(&ok);
        if (ok)
            numbers.append(value);
    }
    return numbers;
}

QList<Drawn> Drawing(const QStringList &calls)
{
    QList<Drawn> drawn;
    double x = 0, y = 0, size = 0;
    long fillColor = 0;
    int fillStyle = 0;
    for (const QString &call : calls) {
        if (call.startsWith("CurrentX "))
            x = Numbers(call)[0];
        else if (call.startsWith("CurrentY "))
            y = Numbers(call)[0];
        else if (call.startsWith("FontSize "))
            size = Numbers(call)[0];
        else if (call.startsWith("FillColor "))
            fillColor = long(Numbers(call)[0]);
        else if (call.startsWith("FillStyle "))
            fillStyle = int(Numbers(call)[0]);
        else if (call.startsWith("Line ")) {
            const QList<double> n = Numbers(call);
            Drawn d{call.endsWith("box") ? "box" : "segment"};
            d.x1 = n[0], d.y1 = n[1], d.x2 = n[2], d.y2 = n[3];
            d.rect = QRectF(QPointF(n[0], n[1]), QPointF(n[2], n[3])).normalized();
            d.fillColor = fillColor;
            d.fillStyle = fillStyle;
            drawn.append(d);
        } else if (call.startsWith("Print ")) {
            Drawn d{"text"};
            d.text = call.mid(6);
            d.fontSize = size;
            // The recording surface's metrics: 12.5 x size per character, 25 x size per line.
            d.rect = QRectF(x, y, d.text.size() * size * 12.5, size * 25);
            drawn.append(d);
        } else if (call.startsWith("PaintPicture ")) {
            const QList<double> n = Numbers(call);
            Drawn d{"picture"};
            d.rect = QRectF(n[0], n[1], n[2], n[3]);
            drawn.append(d);
        }
    }
    return drawn;
}

QStringList Build_On(Recording_Surface &target, Single zoom)
{
    Screen = Screen_Metrics{};
    target.Clear_Calls();
    OutputTarget = &target;
    Zoom_Factor = zoom;
    Build_Page();
    return target.Calls();
}

// A segment lies on a box when it touches the closed rectangle.
bool Touches(const Drawn &segment, const QRectF &box)
{
    const QRectF r = segment.rect;
    return r.left() <= box.right() && r.right() >= box.left() && r.top() <= box.bottom() && r.bottom() >= box.top();
}

// Page units plus the offsets, at zoom 1.
constexpr double X(double page) { return page + 1340; }
constexpr double Y(double page) { return page + 80; }

// The page has 121 commands: 31 above the grid, 47 in it, 43 below it. Two
// of the grid's commands are loops, drawing 24 body rules and 10 column
// rules, so the page makes 153 drawing calls.
constexpr int Commands = 121;
constexpr int Loop_Calls = (24 - 1) + (10 - 1);
constexpr int Calls = Commands + Loop_Calls;
constexpr int Grid_First = 31;                  // first call of the grid
constexpr int Notes_First = 78 + Loop_Calls;    // first call below the grid

} // namespace

class Test_Page_Commands : public QObject {
    Q_OBJECT

    Recording_Surface preview{false};
    Recording_Surface printer{true};

private slots:
    void page_has_121_commands_in_three_sections()
    {
        const QList<Drawn> page = Drawing(Build_On(preview, 1));
        QCOMPARE(page.size(), Calls);
        QCOMPARE(page[0].kind, QString("picture"));
        QCOMPARE(page[1].kind, QString("picture"));

        // Commands 1 to 31 stand above the grid, 32 to 78 within it, 79 to
        // 121 below its bottom rule.
        const QRectF grid(QPointF(X(0), Y(3050)), QPointF(X(9150), Y(8970)));
        for (int i = 0; i < Calls; ++i) {
            const QRectF r = page[i].rect;
            const QString where = QString("call %1 (%2 %3)").arg(i + 1).arg(page[i].kind, page[i].text);
            if (i < Grid_First)
                QVERIFY2(r.bottom() < grid.top(), qPrintable(where));
            else if (i < Notes_First)
                QVERIFY2(r.top() >= grid.top() && r.top() <= grid.bottom() && r.right() >= grid.left()
                             && r.left() <= grid.right(),
                         qPrintable(where));
            else
                QVERIFY2(r.top() >= grid.bottom(), qPrintable(where));
        }
        QCOMPARE(page.last().text, QString("EMPLOYEE SIGNATURE"));
    }

    void grid_rules_lie_where_the_rows_and_columns_are()
    {
        const QList<Drawn> page = Drawing(Build_On(preview, 1));

        // Full-width rules below the header: the 24 body rules, one after
        // the other, 216 apart, then the bottom rule.
        QList<int> body;
        for (int i = 0; i < page.size(); ++i) {
            const Drawn &d = page[i];
            if (d.kind == "segment" && d.y1 == d.y2 && d.x1 == X(0) && d.x2 == X(9150) && d.y1 > Y(3494)
                && d.y1 < Y(8970))
                body.append(i);
        }
        QCOMPARE(body.size(), 24);
        for (int j = 0; j < 24; ++j) {
            QCOMPARE(body[j], body[0] + j);
            QCOMPARE(page[body[j]].y1, Y(3690 + 216 * j));
        }

        // Vertical rules over the grid's height: the left edge, then the ten
        // column rules from left to right.
        QList<double> columns;
        int previous = -1;
        for (int i = 0; i < page.size(); ++i) {
            const Drawn &d = page[i];
            if (d.kind == "segment" && d.x1 == d.x2 && d.y1 == Y(3050) && d.y2 == Y(8970)) {
                if (previous >= 0)
                    QCOMPARE(i, previous + 1);
                columns.append(d.x1);
                previous = i;
            }
        }
        QList<double> expected{X(0)};
        for (int k = 0; k <= 9; ++k)
            expected.append(X(2148 + 778 * k));
        QCOMPARE(columns, expected);
    }

    void shading_lies_under_the_rules_and_labels_on_it()
    {
        const QList<Drawn> page = Drawing(Build_On(preview, 1));
        int grey = 0, hatch = 0;
        for (int b = 0; b < page.size(); ++b) {
            const Drawn &box = page[b];
            if (box.kind != "box" || box.fillStyle == 1)
                continue;
            if (box.fillStyle == 0) {
                QCOMPARE(box.fillColor, long(RGB(200, 200, 200)));
                ++grey;
                // A band is a whole row, bordered by rules at its top and bottom.
                QCOMPARE(box.rect.left(), X(0));
                QCOMPARE(box.rect.right(), X(9150));
                QCOMPARE(box.rect.height(), 216.0);
            } else {
                QCOMPARE(box.fillStyle, 7);
                ++hatch;
            }
            int rulesOnIt = 0, labelsOnIt = 0;
            for (int i = 0; i < page.size(); ++i) {
                const Drawn &d = page[i];
                const bool on = (d.kind == "segment" && Touches(d, box.rect))
                                || (d.kind == "text" && box.rect.contains(d.rect.center()));
                if (!on)
                    continue;
                QVERIFY2(i > b, qPrintable(QString("command %1 lies under the shading of command %2")
                                                .arg(i + 1)
                                                .arg(b + 1)));
                (d.kind == "text" ? labelsOnIt : rulesOnIt) += 1;
            }
            // Top and bottom rules, the left edge (bands) and the column rules.
            QVERIFY(rulesOnIt >= 4);
            // Every grey row is a labelled one; the hatched cells carry no text.
            QCOMPARE(labelsOnIt, box.fillStyle == 0 ? 1 : 0);
        }
        QCOMPARE(grey, 5);
        QCOMPARE(hatch, 1);
    }

    void row_labels_are_centred_on_their_rows()
    {
        const QList<Drawn> page = Drawing(Build_On(preview, 1));
        std::set<int> labelled;
        // The body's 18 labels end just before the final row's, the last call of the grid.
        const int final = Notes_First - 1;
        for (int i = final - 18; i < final; ++i) {
            const Drawn &d = page[i];
            QCOMPARE(d.kind, QString("text"));
            const double centre = d.rect.center().y();
            const int row = int((centre - Y(3582)) / 216);
            QCOMPARE(centre, Y(3582 + 216 * row));
            QVERIFY(labelled.insert(row).second);
        }
        const std::set<int> unlabelled{12, 17, 18, 19, 20, 22};
        for (int row = 0; row < 24; ++row)
            QCOMPARE(labelled.count(row) == 0, unlabelled.count(row) == 1);
        // The final row is taller; its label sits in its middle.
        QCOMPARE(page[final].rect.center().y(), Y((8658 + 8970) / 2));
    }

    void instructions_fill_two_columns_216_apart()
    {
        const QList<Drawn> page = Drawing(Build_On(preview, 1));
        QList<Drawn> lines;
        for (const Drawn &d : page)
            if (d.kind == "text" && d.fontSize == 7)
                lines.append(d);
        QCOMPARE(lines.size(), 25);
        int i = 0;
        for (int row = 0; row < 13; ++row) {
            const double y = Y(10300 + 216 * row);
            if (row < 12) {
                QCOMPARE(lines[i].rect.top(), y);
                QCOMPARE(lines[i].rect.left(), X(0));
                ++i;
            }
            QCOMPARE(lines[i].rect.top(), y);
            QCOMPARE(lines[i].rect.left(), X(5100));
            ++i;
        }
    }

    void signature_labels_stand_under_their_lines()
    {
        const QList<Drawn> page = Drawing(Build_On(preview, 1));
        int labels = 0;
        for (int i = 0; i < page.size(); ++i) {
            if (page[i].text != "APPROVED BY" && page[i].text != "EMPLOYEE SIGNATURE")
                continue;
            ++labels;
            const QPointF corner = page[i].rect.topLeft();
            QVERIFY(std::any_of(page.begin(), page.begin() + i, [&](const Drawn &d) {
                return d.kind == "segment" && d.y1 == d.y2 && QPointF(d.x1, d.y1) == corner;
            }));
        }
        QCOMPARE(labels, 3);
    }

    void nothing_is_drawn_off_the_sheet()
    {
        const QList<Drawn> page = Drawing(Build_On(preview, 1));
        const QRectF sheet(0, 0, Sheet_Width, Sheet_Height);
        for (const Drawn &d : page) {
            // Text widths are checked against real fonts with the preview.
            const QPointF far = d.kind == "text" ? d.rect.bottomLeft() : d.rect.bottomRight();
            QVERIFY2(sheet.contains(d.rect.topLeft()) && sheet.contains(far), qPrintable(d.kind + " " + d.text));
        }
    }

    void preview_is_cleared_and_sized_first_and_never_ended()
    {
        for (const auto &[zoom, height, width] : {std::tuple{1.0f, 14760, 11880}, std::tuple{0.5f, 7380, 5940}}) {
            const QStringList calls = Build_On(preview, zoom);
            QCOMPARE(calls.mid(0, 3), QStringList({"Cls", QString("Height %1").arg(height),
                                                   QString("Width %1").arg(width)}));
            QVERIFY(!calls.contains("EndDoc"));
            QCOMPARE(Zoom_Factor, zoom);
        }
    }

    void printer_draws_what_the_preview_draws_and_ends_once()
    {
        const QStringList onScreen = Build_On(preview, 1);
        const QStringList onPaper = Build_On(printer, 0.5f);
        QCOMPARE(Zoom_Factor, 1.0f);
        QCOMPARE(onPaper.count("EndDoc"), 1);
        QCOMPARE(onPaper.last(), QString("EndDoc"));
        QVERIFY(!onPaper.contains("Cls"));
        QVERIFY(onPaper.filter(QRegularExpression("^(Width|Height) ")).isEmpty());

        // Apart from the preparation and the end, the two differ only in pen
        // widths (printer pixels against screen pixels), in the outline
        // colour of borderless boxes, which the printer takes from the fill,
        // and in measuring: the preview's unwrapped texts have a wrap width
        // of one unit, so each of them is measured for a break that never comes.
        const auto drawing = [](QStringList calls) {
            calls.removeIf([](const QString &c) {
                return c == "Cls" || c == "EndDoc" || c.startsWith("Width ") || c.startsWith("Height ")
                       || c.startsWith("DrawWidth ") || c.startsWith("TextWidth ") || c.startsWith("TextHeight ");
            });
            for (QString &c : calls)
                if (c.startsWith("Line "))
                    c = c.section(u' ', 0, 4) + u' ' + c.section(u' ', 6);
            return calls;
        };
        QCOMPARE(drawing(onPaper), drawing(onScreen));
        QCOMPARE(Drawing(onPaper).size(), Calls);
    }

    void no_target_is_an_error_not_a_crash()
    {
        OutputTarget = nullptr;
        QCOMPARE(Error_Of([] { Build_Page(); }), 91);
    }
};

QTEST_MAIN(Test_Page_Commands)
#include "test_page_commands.moc"
