// Draws every picture Quorvel ships (company logos, toolbar images, window
// and desktop icons) and writes them into the folder named on the command line.
//
//   quorvel-make-assets <output-folder>
//
// The results are committed next to this file; the normal build only embeds
// them. Everything is drawn from code here, so running it again reproduces
// the same files.

#include <QColor>
#include <QDir>
#include <QSaveFile>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QStringList>
#include <QTransform>

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "quorvel-make-assets: %s\n", qPrintable(message));
    std::exit(1);
}

void save(const QImage &image, const QDir &dir, const QString &name, const char *format)
{
    const QString path = dir.filePath(name);
    if (!image.save(path, format))
        fail(QStringLiteral("cannot write %1").arg(path));
    std::printf("%s\n", qPrintable(path));
}

// ---------------------------------------------------------------------------
// Company logos: drawn antialiased on white, stored as 24-bit BMP.

const QColor LogoInk(18, 32, 78);

QFont logoFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    if (QFontInfo(font).family() != QStringLiteral("Liberation Sans"))
        fail(QStringLiteral("font \"Liberation Sans\" is not installed"));
    return font;
}

// The outline of `text`, stretched so that its ink fills `target` exactly;
// whole-pixel targets keep the top and bottom edges of capitals sharp.
QPainterPath textFilling(const QString &text, const QFont &font, const QRectF &target)
{
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF ink = path.boundingRect();
    QTransform map;
    map.translate(target.left(), target.top());
    map.scale(target.width() / ink.width(), target.height() / ink.height());
    map.translate(-ink.left(), -ink.top());
    return map.map(path);
}

QImage finishLogo(const QImage &canvas)
{
    return canvas.convertToFormat(QImage::Format_RGB888);
}

// 76 x 75: a bold "H" standing out of a ringed disc.
QImage drawMark()
{
    QImage canvas(76, 75, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    const QPointF centre(38.0, 37.5);
    p.setBrush(LogoInk);
    p.drawEllipse(centre, 36.5, 36.5);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 33.5, 33.5);
    p.setBrush(LogoInk);
    p.drawEllipse(centre, 31.5, 31.5);

    // The letter is built from whole-pixel rectangles so every edge is crisp.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(Qt::white);
    p.drawRect(QRect(21, 19, 11, 37));  // left stem
    p.drawRect(QRect(44, 19, 11, 37));  // right stem
    p.drawRect(QRect(32, 33, 12, 9));   // bar
    p.end();
    return finishLogo(canvas);
}

// 189 x 58: "HALBEK" over a rule over a spaced-out "INCORPORATED".
QImage drawWordmark()
{
    QImage canvas(189, 58, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(LogoInk);

    const int left = 3, right = 186;  // ink spans columns left .. right-1
    QFont big = logoFont(48, true);
    big.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.drawPath(textFilling(QStringLiteral("HALBEK"), big, QRectF(left, 3, right - left, 34)));

    p.setRenderHint(QPainter::Antialiasing, false);
    p.drawRect(QRect(left, 40, right - left, 2));
    p.setRenderHint(QPainter::Antialiasing);

    QFont small = logoFont(14, true);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 6.0);
    p.drawPath(textFilling(QStringLiteral("INCORPORATED"), small, QRectF(left, 45, right - left, 10)));
    p.end();
    return finishLogo(canvas);
}

// ---------------------------------------------------------------------------
// Pixel art: 16 rows of 16 characters, one character a pixel.

using PixelRows = std::vector<std::string_view>;

QImage fromRows(const PixelRows &rows, const QHash<char, QRgb> &palette, QImage::Format format,
                const QString &what)
{
    if (rows.size() != 16)
        fail(QStringLiteral("%1: %2 rows instead of 16").arg(what).arg(rows.size()));
    QImage image(16, 16, format);
    for (int y = 0; y < 16; ++y) {
        if (rows[y].size() != 16)
            fail(QStringLiteral("%1: row %2 is %3 pixels wide").arg(what).arg(y).arg(rows[y].size()));
        for (int x = 0; x < 16; ++x) {
            const auto colour = palette.constFind(rows[y][x]);
            if (colour == palette.constEnd())
                fail(QStringLiteral("%1: unknown pixel '%2' at %3,%4").arg(what).arg(rows[y][x]).arg(x).arg(y));
            image.setPixel(x, y, *colour);
        }
    }
    return image;
}

PixelRows mirrored(const PixelRows &rows, std::vector<std::string> &storage)
{
    storage.clear();
    for (std::string_view row : rows)
        storage.emplace_back(row.rbegin(), row.rend());
    return PixelRows(storage.begin(), storage.end());
}

// Toolbar images: '.' is the silver that the toolbar treats as transparent,
// so no symbol may contain that colour.
const QRgb Silver = qRgb(192, 192, 192);

QHash<char, QRgb> toolbarPalette()
{
    return {
        {'.', Silver},
        {'k', qRgb(0, 0, 0)},         // outline
        {'w', qRgb(255, 255, 255)},   // paper
        {'g', qRgb(128, 128, 128)},   // dark grey
        {'l', qRgb(224, 224, 224)},   // light grey metal
        {'b', qRgb(0, 0, 128)},       // navy
        {'B', qRgb(0, 64, 224)},      // blue
        {'r', qRgb(200, 0, 0)},       // red
        {'R', qRgb(255, 112, 112)},   // pink (eraser)
        {'y', qRgb(255, 224, 64)},    // bright yellow
        {'Y', qRgb(208, 160, 0)},     // dark yellow
        {'p', qRgb(240, 200, 144)},   // bare wood
        {'d', qRgb(184, 120, 56)},    // door wood
        {'G', qRgb(0, 160, 0)},       // green
    };
}

// The larger sizes every toolbar image is also written in, as NAME-SIZE.png.
constexpr int Toolbar_Sizes[] = {20, 24, 32, 48};

struct ToolbarImage {
    const char *name;
    PixelRows rows;
};

const PixelRows NewSheet = {
    "................",
    "...kkkkkkkk.....",
    "...kwwwwwwkk....",
    "...kwwwwwwkwk...",
    "...kwwwwwwkwwk..",
    "...kwwwwwwkkkkk.",
    "...kwwwwwwwwwwk.",
    "...kwwwwwwwwwwk.",
    "...kwwwwwwwwwwk.",
    "...kwwwwwwwwwwk.",
    "...kwwwwwwwwwwk.",
    "...kwwwwwwwwwwk.",
    "...kwwwwwwwwwwk.",
    "...kwwwwwwwwwwk.",
    "...kkkkkkkkkkkk.",
    "................",
};

const PixelRows OpenFolder = {
    "................",
    "................",
    ".kkkk...........",
    "kYYYYk..........",
    "kYYYYYkkkkkkk...",
    "kYYYYYYYYYYYk...",
    "kYYYYYYYYYYYk...",
    "kYYYkkkkkkkkkkkk",
    "kYYkyyyyyyyyyyk.",
    "kYYkyyyyyyyyyyk.",
    "kYkyyyyyyyyyyk..",
    "kYkyyyyyyyyyyk..",
    "kkyyyyyyyyyyk...",
    "kkyyyyyyyyyyk...",
    "kkkkkkkkkkkk....",
    "................",
};

const PixelRows Disk = {
    "................",
    ".kkkkkkkkkkkkkk.",
    ".kbbwwwwwwwwbbk.",
    ".kbbwwwwwwwwbbk.",
    ".kbbwggggggwbbk.",
    ".kbbwwwwwwwwbbk.",
    ".kbbwggggggwbbk.",
    ".kbbwwwwwwwwbbk.",
    ".kbbbbbbbbbbbbk.",
    ".kbbbbbbbbbbbbk.",
    ".kbbbllllllbbbk.",
    ".kbbbllkkllbbbk.",
    ".kbbbllkkllbbbk.",
    ".kbbbllllllbbbk.",
    ".kkkkkkkkkkkkkk.",
    "................",
};

const PixelRows PdfSheet = {
    "...kkkkkkkk.....",
    "...kwwwwwwkk....",
    "...kwwwwwwkwk...",
    "...kwwwwwwkwwk..",
    "...kwwwwwwkkkkk.",
    "...kwwwwwwwwwwk.",
    "...kwwwwwwwwwwk.",
    "rrrrrrrrrrrrrwk.",
    "rwwrrwwrrwwwrwk.",
    "rwrwrwrwrwrrrwk.",
    "rwwrrwrwrwwrrwk.",
    "rwrrrwrwrwrrrwk.",
    "rwrrrwwrrwrrrwk.",
    "rrrrrrrrrrrrrwk.",
    "...kwwwwwwwwwwk.",
    "...kkkkkkkkkkkk.",
};

const PixelRows Pencil = {
    "................",
    "............kk..",
    "...........kRRk.",
    "..........kRRRRk",
    ".........klRRRk.",
    "........kYllRk..",
    ".......kyYYlk...",
    "......kyyYYk....",
    ".....kyyYYk.....",
    "....kyyYYk......",
    "...kpyYYk.......",
    "..kppYYk........",
    "..kkppk.........",
    ".kkkkk..........",
    ".kk.............",
    "................",
};

const PixelRows Question = {
    "................",
    ".....bbbbbb.....",
    "....bbbbbbbb....",
    "...bbb....bbb...",
    "...bbb....bbb...",
    "..........bbb...",
    ".........bbb....",
    "........bbb.....",
    ".......bbb......",
    ".......bbb......",
    ".......bbb......",
    "................",
    ".......bbb......",
    ".......bbb......",
    "................",
    "................",
};

const PixelRows ZoomOne = {
    "...kkkkk........",
    ".kkwwwwwkk......",
    ".kwwwwwwwk......",
    "kwwkwwwwkwk.....",
    "kwkkwkwkkwk.....",
    "kwwkwwwwkwk.....",
    "kwwkwkwwkwk.....",
    "kwwkwwwwkwk.....",
    ".kwwwwwwwk......",
    ".kkwwwwwkkk.....",
    "...kkkkk.kkk....",
    "..........kkk...",
    "...........kkk..",
    "............kkk.",
    ".............kk.",
    "................",
};

const PixelRows FitWidth = {
    "................",
    "...kkkkkkkkkk...",
    "...kwwwwwwwwk...",
    "...kwggggggwk...",
    "...kwwwwwwwwk...",
    "..BkwwwwwwwwkB..",
    ".BBkwwwwwwwwkBB.",
    "BBBBBBBBBBBBBBBB",
    "BBBBBBBBBBBBBBBB",
    ".BBkwwwwwwwwkBB.",
    "..BkwwwwwwwwkB..",
    "...kwwwwwwwwk...",
    "...kwggggggwk...",
    "...kwwwwwwwwk...",
    "...kkkkkkkkkk...",
    "................",
};

const PixelRows FitPage = {
    "BBBB........BBBB",
    "B..............B",
    "B...kkkkkk.....B",
    "B...kwwwwkk....B",
    "....kwwwwkwk....",
    "....kwwwwkkk....",
    "....kwwwwwwk....",
    "....kwggggwk....",
    "....kwwwwwwk....",
    "....kwggggwk....",
    "....kwwwwwwk....",
    "....kwggggwk....",
    "B...kwwwwwwk...B",
    "B...kkkkkkkk...B",
    "B..............B",
    "BBBB........BBBB",
};

const PixelRows LeftArrow = {
    "................",
    "................",
    "................",
    "......b.........",
    ".....bb.........",
    "....bbb.........",
    "...bbbbbbbbbbb..",
    "..bbbbbbbbbbbb..",
    "..bbbbbbbbbbbb..",
    "...bbbbbbbbbbb..",
    "....bbb.........",
    ".....bb.........",
    "......b.........",
    "................",
    "................",
    "................",
};

const PixelRows ExitDoor = {
    "................",
    ".kkkkkkkkk......",
    ".kdddddddk......",
    ".kdddddddk......",
    ".kdddddddk..r...",
    ".kdddddddk..rr..",
    ".kdddddddk..rrr.",
    ".kdddrrrrrrrrrrr",
    ".kdddrrrrrrrrrrr",
    ".kdydddddk..rrr.",
    ".kdddddddk..rr..",
    ".kdddddddk..r...",
    ".kdddddddk......",
    ".kdddddddk......",
    ".kkkkkkkkk......",
    "................",
};

std::vector<ToolbarImage> toolbarImages(std::vector<std::string> &storage)
{
    return {
        {"toolbar-01-new.png", NewSheet},
        {"toolbar-02-open.png", OpenFolder},
        {"toolbar-03-save.png", Disk},
        {"toolbar-04-pdf.png", PdfSheet},
        {"toolbar-05-edit.png", Pencil},
        {"toolbar-06-help.png", Question},
        {"toolbar-07-zoom100.png", ZoomOne},
        {"toolbar-08-fitwidth.png", FitWidth},
        {"toolbar-09-fitpage.png", FitPage},
        {"toolbar-10-prev.png", LeftArrow},
        {"toolbar-11-next.png", mirrored(LeftArrow, storage)},
        {"toolbar-12-exit.png", ExitDoor},
    };
}

// ---------------------------------------------------------------------------
// Window icons: a form sheet with a coin, in a 16-colour palette whose first
// entry is transparent.

QList<QRgb> iconColourTable()
{
    return {
        qRgba(0, 0, 0, 0),
        qRgb(0, 0, 0),       qRgb(128, 0, 0),     qRgb(0, 128, 0),     qRgb(128, 128, 0),
        qRgb(0, 0, 128),     qRgb(128, 0, 128),   qRgb(0, 128, 128),   qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(255, 0, 0),     qRgb(0, 255, 0),     qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(0, 255, 255),   qRgb(255, 255, 255),
    };
}

QHash<char, QRgb> iconPalette()
{
    return {
        {'.', qRgba(0, 0, 0, 0)},      {'k', qRgb(0, 0, 0)},         {'w', qRgb(255, 255, 255)},
        {'s', qRgb(192, 192, 192)},    {'g', qRgb(128, 128, 128)},   {'b', qRgb(0, 0, 128)},
        {'y', qRgb(255, 255, 0)},      {'o', qRgb(128, 128, 0)},     {'r', qRgb(128, 0, 0)},
    };
}

// Maps a picture drawn only in table colours onto the table, pixel by pixel;
// a colour outside the table is a drawing mistake, not something to dither.
QImage toIndexed(const QImage &picture, const QList<QRgb> &table, const QString &what)
{
    QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    QImage indexed(argb.size(), QImage::Format_Indexed8);
    indexed.setColorTable(table);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            QRgb pixel = argb.pixel(x, y);
            if (qAlpha(pixel) == 0)
                pixel = qRgba(0, 0, 0, 0);
            const qsizetype index = table.indexOf(pixel);
            if (index < 0)
                fail(QStringLiteral("%1: colour #%2 at %3,%4 is not in the palette")
                         .arg(what).arg(pixel, 8, 16, QLatin1Char('0')).arg(x).arg(y));
            indexed.setPixel(x, y, uint(index));
        }
    }
    return indexed;
}

const PixelRows SmallIcon = {
    ".kkkkkkkk.......",
    ".kwwwwwwkk......",
    ".kwbbbbwkwk.....",
    ".kwwwwwwkkkk....",
    ".kwggggwwwwk....",
    ".kwwwwwwwwwk....",
    ".kwggggggggk....",
    ".kwwwwwwwwwk....",
    ".kwgggkkkk.k....",
    ".kwwwkooook.....",
    ".kwggkoyywyok...",
    ".kwwkoyyyyyok...",
    ".kwwkoyyyyyok...",
    ".kkkkoyyyyyok...",
    ".....kooooook...",
    "......kkkkkk....",
};

// 32 x 32: the same sheet and coin, painted without antialiasing so every
// pixel stays one of the table colours.
QImage drawLargeIcon()
{
    QImage canvas(32, 32, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing, false);

    const QColor black(0, 0, 0), white(255, 255, 255), grey(128, 128, 128), silver(192, 192, 192);
    const QColor navy(0, 0, 128), yellow(255, 255, 0), olive(128, 128, 0);

    // Sheet with a folded top-right corner.
    const QPolygon sheet({{3, 1}, {19, 1}, {25, 7}, {25, 28}, {3, 28}});
    p.setPen(black);
    p.setBrush(white);
    p.drawPolygon(sheet);
    p.setBrush(silver);
    p.drawPolygon(QPolygon({{19, 1}, {19, 7}, {25, 7}}));

    // Title and ruled entry lines of the form.
    p.setPen(Qt::NoPen);
    p.setBrush(navy);
    p.drawRect(QRect(6, 4, 10, 2));
    p.setBrush(grey);
    for (int y = 10; y <= 25; y += 3) {
        p.drawRect(QRect(6, y, 16, 1));
    }
    p.drawRect(QRect(15, 10, 1, 16));  // column divider

    // Coin in the lower right, overlapping the sheet.
    p.setPen(black);
    p.setBrush(olive);
    p.drawEllipse(QRect(15, 17, 15, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(yellow);
    p.drawEllipse(QRect(17, 19, 11, 10));
    p.setBrush(olive);
    p.setPen(olive);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRect(19, 21, 7, 6));  // raised rim of the face
    p.setPen(Qt::NoPen);
    p.setBrush(white);
    p.drawRect(QRect(19, 20, 2, 1));   // glint
    p.end();
    return canvas;
}

// The desktop's icons at the larger sizes: the same sheet and coin as the
// 32 x 32 window icon, in the same 32-unit grid, drawn smooth. The SVG below
// holds the same shapes; both are kept in step by hand.
QImage drawDesktopIcon(int size)
{
    QImage canvas(size, size, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    const QPen outline(QColor(0, 0, 0), 1);
    p.setPen(outline);
    p.setBrush(QColor(255, 255, 255));
    p.drawPolygon(QPolygonF({{3.5, 1.5}, {19.5, 1.5}, {25.5, 7.5}, {25.5, 28.5}, {3.5, 28.5}}));
    p.setBrush(QColor(192, 192, 192));
    p.drawPolygon(QPolygonF({{19.5, 1.5}, {19.5, 7.5}, {25.5, 7.5}}));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(QRectF(6, 4, 10, 2));
    p.setBrush(QColor(128, 128, 128));
    for (int y = 10; y <= 25; y += 3)
        p.drawRect(QRectF(6, y, 16, 1));
    p.drawRect(QRectF(15, 10, 1, 16));
    p.setPen(outline);
    p.setBrush(QColor(128, 128, 0));
    p.drawEllipse(QRectF(15.5, 17.5, 14, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 0));
    p.drawEllipse(QRectF(17, 19, 11, 10));
    p.setPen(QPen(QColor(128, 128, 0), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(19.5, 21.5, 6, 5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255));
    p.drawRect(QRectF(19, 20, 2, 1));
    p.end();
    return canvas;
}

constexpr const char *DesktopIconSvg = R"(<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
  <path d="M3.5 1.5H19.5L25.5 7.5V28.5H3.5Z" fill="#ffffff" stroke="#000000"/>
  <path d="M19.5 1.5V7.5H25.5Z" fill="#c0c0c0" stroke="#000000"/>
  <rect x="6" y="4" width="10" height="2" fill="#000080"/>
  <g fill="#808080">
    <rect x="6" y="10" width="16" height="1"/>
    <rect x="6" y="13" width="16" height="1"/>
    <rect x="6" y="16" width="16" height="1"/>
    <rect x="6" y="19" width="16" height="1"/>
    <rect x="6" y="22" width="16" height="1"/>
    <rect x="6" y="25" width="16" height="1"/>
    <rect x="15" y="10" width="1" height="16"/>
  </g>
  <ellipse cx="22.5" cy="24" rx="7" ry="6.5" fill="#808000" stroke="#000000"/>
  <ellipse cx="22.5" cy="24" rx="5.5" ry="5" fill="#ffff00"/>
  <ellipse cx="22.5" cy="24" rx="3" ry="2.5" fill="none" stroke="#808000"/>
  <rect x="19" y="20" width="2" height="1" fill="#ffffff"/>
</svg>
)";

}  // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments();
    if (args.size() != 2)
        fail(QStringLiteral("usage: quorvel-make-assets <output-folder>"));
    QDir dir(args.at(1));
    if (!dir.mkpath(QStringLiteral(".")))
        fail(QStringLiteral("cannot create %1").arg(args.at(1)));

    save(drawMark(), dir, QStringLiteral("logo0.bmp"), "BMP");
    save(drawWordmark(), dir, QStringLiteral("logo1.bmp"), "BMP");

    const QHash<char, QRgb> toolbar = toolbarPalette();
    std::vector<std::string> storage;
    for (const ToolbarImage &item : toolbarImages(storage)) {
        const QString name = QString::fromLatin1(item.name);
        const QImage image = fromRows(item.rows, toolbar, QImage::Format_RGB888, name);
        save(image, dir, name, "PNG");
        // The sizes a 16-pixel button needs on screens of ratio 1.25, 1.5, 2
        // and 3: each pixel of the art becomes a block of whole pixels, so a
        // line stays one colour, without the grey edges of a smooth enlargement.
        for (const int size : Toolbar_Sizes) {
            const QString sized = QString(name).replace(QStringLiteral(".png"), QStringLiteral("-%1.png").arg(size));
            save(image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation), dir, sized, "PNG");
        }
    }

    const QList<QRgb> table = iconColourTable();
    const QImage small = fromRows(SmallIcon, iconPalette(), QImage::Format_ARGB32, QStringLiteral("icon-16"));
    save(toIndexed(small, table, QStringLiteral("icon-16")), dir, QStringLiteral("icon-16.png"), "PNG");
    save(toIndexed(drawLargeIcon(), table, QStringLiteral("icon-32")), dir, QStringLiteral("icon-32.png"), "PNG");
    for (const int size : {22, 24, 48, 64, 128, 256})
        save(drawDesktopIcon(size), dir, QStringLiteral("icon-%1.png").arg(size), "PNG");
    QSaveFile svg(dir.filePath(QStringLiteral("icon.svg")));
    if (!svg.open(QIODevice::WriteOnly) || svg.write(DesktopIconSvg) < 0 || !svg.commit())
        fail(QStringLiteral("cannot write %1").arg(svg.fileName()));
    return 0;
}
