// Draw_Text fed with arbitrary input: any UTF-16 text (carriage returns,
// line feeds, spaces, lone surrogates), any position and wrap width, the
// alignment keywords and arbitrary alignment strings, font sizes from 0 and
// negatives to fractions and sizes no surface takes, the three style flags
// and any zoom in (0, 2.3), on the recording surface (printer and preview)
// and on the real preview canvas at ratios 1 and 2, there twice, the second
// time from the text's ink.
//
// A call may end in an overflow (6) from its Integer arithmetic, or in an
// invalid property value (380) exactly when the surface must refuse the font
// size; anything else, and any warning from Qt while drawing (but its note
// that an installed face lacks the shaping tables of some script), aborts
// the run, so libFuzzer keeps the input as a crash.
//
// Input: byte 0 the surface, 1 the style flags, 2 and 3 the alignments
// (7: the text's first line), 4 the face, 5 the size (15: the float at 13),
// 6, 8 and 10 X, Y and Wrap_Width (int16), 12 the zoom (0 to 3: 1, 0.5,
// 2.2, 2.22002; else x 0.009), 13 the float; then the text as UTF-16.
#include "preview_surface.h"
#include "recording_surface.h"
#include "support_routines.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace {

template <typename T>
T Read(const std::uint8_t *data, std::size_t at)
{
    T value;
    std::memcpy(&value, data + at, sizeof value);
    return value;
}

[[noreturn]] void Finding(const QString &what)
{
    std::fprintf(stderr, "fuzz_draw_text: %s\n", qPrintable(what));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int args = 1;
    static QGuiApplication app(args, *argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg && type != QtInfoMsg && !message.contains(QLatin1String("OpenType support missing for")))
            Finding(QStringLiteral("Qt said: ") + message);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr std::size_t Header = 17;
    if (size < Header)
        return 0;
    QString text(qsizetype((size - Header) / 2), Qt::Uninitialized);
    std::memcpy(text.data(), data + Header, std::size_t(text.size()) * 2);
    const QString firstLine = text.section(u'\r', 0, 0);
    static const char *const aligns[] = {"", "left", "right", "RIGHT", "Center", "center", " center"};
    const auto align = [&](std::uint8_t choice) { return choice % 8 == 7 ? firstLine : QString(aligns[choice % 8]); };
    static const char *const faces[] = {"", "Arial", "Times New Roman", "No Such Face"};
    static const Single sizes[] = {0, 8, 7, 7.5f, -1, -0.5f, 0.4f, 0.5f, 1, 2160, 2160.5f, 1e9f,
                                   std::numeric_limits<Single>::quiet_NaN(), std::numeric_limits<Single>::infinity(), 48};
    const Single fontSize = data[5] % 16 == 15 ? Read<Single>(data, 13) : sizes[data[5] % 16];

    std::unique_ptr<Surface> surface;
    if (data[0] % 4 < 2) {
        surface = std::make_unique<Recording_Surface>(data[0] % 4 == 0);
    } else {
        auto canvas = std::make_unique<Preview_Surface>();
        canvas->Set_Device_Pixel_Ratio(data[0] % 4 == 3 ? 2 : 1);
        canvas->Set_Width(960); // 64 x 48 screen pixels: every input stays cheap
        canvas->Set_Height(720);
        surface = std::move(canvas);
    }
    static const Single zooms[] = {1, 0.5f, 2.2f, 2.22002f};
    const Drawing_Scope scope(*surface, data[12] < 4 ? zooms[data[12]] : Single(data[12] * 0.009));

    // Whether the surface must refuse the size Draw_Text will set; false
    // also when the size overflows on the way.
    bool refused = false;
    try {
        const Single size = fontSize == 0 ? 8 : fontSize;
        const Single set = surface->Is_Printer() ? size : Single(Scale_Value(CInt(size)));
        refused = !(set > 0 && set <= 2160);
    } catch (const RuntimeError &) {
    }
    // Twice on the canvas: the second time from the text's measured ink.
    const int passes = data[0] % 4 < 2 ? 1 : 2;
    int error = 0;
    try {
        for (int pass = 0; pass < passes; ++pass)
            Draw_Text(text, Read<Integer>(data, 6), Read<Integer>(data, 8), Read<Integer>(data, 10), align(data[2]),
                      align(data[3]), QString(faces[data[4] % 4]), fontSize, data[1] & 1, data[1] & 2, data[1] & 4);
    } catch (const RuntimeError &e) {
        error = e.number();
    } catch (const std::exception &e) {
        Finding(e.what());
    }
    if (error != 0 && error != Err_Overflow && error != Err_Invalid_Property_Value)
        Finding(QStringLiteral("run-time error %1").arg(error));
    if ((error == Err_Invalid_Property_Value) != refused && !(refused && error == Err_Overflow))
        Finding(QStringLiteral("error %1 for a font size the surface %2").arg(error).arg(refused ? "refuses" : "takes"));
    if (auto *canvas = dynamic_cast<Preview_Surface *>(surface.get()))
        (void)canvas->Image(); // ends the painter on the finished image
    return 0;
}
