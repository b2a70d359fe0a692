// Scripts of drawing calls, one call a step: "line|X1|Y1|X2|Y2|Width|Style|Colour",
// "box|X1|Y1|X2|Y2|Width|Line|Fill|Style", "text|Text|X|Y|Wrap|H|V|Face|Size|B|I|U"
// (flags 0 or 1), "t|Text|Wrap" (at the origin, default font), "size|Points"
// ("W" at the origin in Arial of that size), "long|N" (N
// characters), "picture|Width|X|Y|W|H" (a picture of Width x 75 pixels, 0 for
// one that cannot be painted), "screen|TPPX|TPPY", "drawstyle|N",
// "fillstyle|N", and the numeric rules "scale|A", "cint|V", "add|A|B",
// "sub|A|B", "rgb|R|G|B" and "state" (Char_Pos Line_Start Break_Pos), steps
// separated by "; ". The steps draw on OutputTarget.
#pragma once

#include "support_routines.h"

#include <QColor>
#include <QImage>
#include <QStringList>

#include <optional>

// Runs `script`; what its steps returned ("= n"), and the run-time error that
// ended it ("error n").
inline QStringList Run_Script(const QString &script)
{
    QStringList results; // what the steps returned
    const auto number = [](const QString &field) { return field.toDouble(); };
    const auto integer = [](const QString &field) { return Integer(field.toInt()); };
    std::optional<Drawing_Scope> screen; // a "screen" step's, to the script's end
    try {
        for (const QString &command : script.split(QStringLiteral("; "))) {
            const QStringList a = command.split(u'|');
            const QString &op = a[0];
            if (op == u"line")
                Draw_Line(integer(a[1]), integer(a[2]), integer(a[3]), integer(a[4]), integer(a[5]), integer(a[6]),
                          a[7].toInt());
            else if (op == u"box")
                Draw_Box(integer(a[1]), integer(a[2]), integer(a[3]), integer(a[4]), integer(a[5]), a[6].toInt(),
                         a[7].toInt(), integer(a[8]));
            else if (op == u"text")
                Draw_Text(a[1], integer(a[2]), integer(a[3]), integer(a[4]), a[5], a[6], a[7], a[8].toFloat(),
                          a[9] == u"1", a[10] == u"1", a[11] == u"1");
            else if (op == u"t")
                Draw_Text(a[1], 0, 0, integer(a.value(2)), {}, {}, {}, 0, false, false, false);
            else if (op == u"size")
                Draw_Text(QStringLiteral("W"), 0, 0, 0, {}, {}, QStringLiteral("Arial"), a[1].toFloat(), false, false, false);
            else if (op == u"long") // with a space that is no line break
                Draw_Text(QString(a[1].toInt(), u'x').replace(3, 1, u' '), 0, 0, 0, {}, {}, {}, 8, false, false,
                          false);
            else if (op == u"picture") {
                QImage picture(a[1].toInt(), a[1] == u"0" ? 0 : 75, QImage::Format_RGB888);
                for (int y = 0; y < picture.height(); ++y)
                    for (int x = 0; x < picture.width(); ++x)
                        picture.setPixelColor(x, y, QColor(x * 3 % 256, y * 3, (x + y) % 2 * 255));
                Draw_Picture(picture, integer(a[2]), integer(a[3]), integer(a[4]), integer(a[5]));
            } else if (op == u"screen")
                screen.emplace(*OutputTarget, Zoom_Factor, Screen_Metrics{a[1].toFloat(), a[2].toFloat()});
            else if (op == u"drawstyle")
                OutputTarget->Set_DrawStyle(integer(a[1]));
            else if (op == u"fillstyle")
                OutputTarget->Set_FillStyle(integer(a[1]));
            else if (op == u"scale")
                results << QStringLiteral("= %1").arg(Scale_Value(integer(a[1])));
            else if (op == u"cint")
                results << QStringLiteral("= %1").arg(CInt(number(a[1])));
            else if (op == u"add")
                results << QStringLiteral("= %1").arg(Add(integer(a[1]), integer(a[2])));
            else if (op == u"sub")
                results << QStringLiteral("= %1").arg(Sub(integer(a[1]), integer(a[2])));
            else if (op == u"rgb")
                results << QStringLiteral("= %1").arg(RGB(a[1].toInt(), a[2].toInt(), a[3].toInt()));
            else if (op == u"state")
                results << QStringLiteral("= %1 %2 %3").arg(Char_Pos).arg(Line_Start).arg(Break_Pos);
            else
                qFatal("unknown script step %s", qPrintable(op));
        }
    } catch (const RuntimeError &error) {
        results << QStringLiteral("error %1").arg(error.number());
    }
    return results;
}
