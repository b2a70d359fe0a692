// Draw_Text fed with arbitrary input: any UTF-16 text (carriage returns,
// line feeds, spaces, lone surrogates), any position and wrap width, the
// alignment keywords and arbitrary alignment strings, font sizes from 0 and
// negatives to fractions and sizes no surface takes, the three style flags
// and any zoom in (0, 2.3), on the recording surface (printer and preview)
// and on the real preview canvas.
//
// A call may end in an overflow (6) from its Integer arithmetic, or in an
// invalid property value (380) when the surface rejects the font size;
// nothing else. Any other error, any other exception, a 380 for a size the
// surface takes or a size it rejects that raises nothing aborts the run, so
// libFuzzer keeps the input as a crash. So does any warning from Qt while
// drawing (a bad font size, a painter that cannot start), except Qt's note
// that an installed face lacks the shaping tables for some script, which
// depends on the machine's fonts and not on our code.
//
// Input layout (little endian), then the text as UTF-16 code units:
//   0  surface: 0 recording printer, 1 recording preview, 2 canvas, 3 canvas at ratio 2
//   1  style flags: 1 bold, 2 italic, 4 underline; exactly 8 in the low four
//      bits: long text, the text repeated to 32760 + (flags >> 4) characters,
//      across the length at which the position counters overflow (on the
//      recording printer, without wrapping, and rarely: it is slow; on the
//      preview a wrap width of 0 becomes 1, and the wrap search over a line
//      of 32000 characters measures every prefix that ends at a space)
//   2  H_Align choice          3  V_Align choice (7: the text's first line)
//   4  font name choice        5  font size choice (15: the float at 17)
//   6  X   8  Y   10  Wrap_Width     (int16 each)
//   12 zoom fraction (uint32)  16 zoom choice (0-3 fixed zooms, else the fraction)
//   17 font size (float)
#include "preview_surface.h"
#include "recording_surface.h"
#include "support_routines.h"

#include <QGuiApplication>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr std::size_t Header_Size = 21;

template <typename T>
T Read(const std::uint8_t *data, std::size_t at)
{
    T value;
    std::memcpy(&value, data + at, sizeof value);
    return value;
}

QString Align(std::uint8_t choice, const QString &firstLine)
{
    static const char *const keywords[] = {"", "left", "right", "RIGHT", "Center", "center", " center"};
    choice %= 8;
    return choice == 7 ? firstLine : QString::fromLatin1(keywords[choice]);
}

QString Font_Name(std::uint8_t choice)
{
    static const char *const faces[] = {"", "Arial", "Times New Roman", "No Such Face"};
    return QString::fromLatin1(faces[choice % 4]);
}

Single Font_Size(std::uint8_t choice, Single raw)
{
    static const Single sizes[] = {0,    8,    7,      7.5f,   -1,  -0.5f, 0.4f, 0.5f,
                                   1,    2160, 2160.5f, 1e9f, std::numeric_limits<Single>::quiet_NaN(),
                                   std::numeric_limits<Single>::infinity(), 48};
    choice %= 16;
    return choice == 15 ? raw : sizes[choice];
}

Single Zoom(std::uint8_t choice, std::uint32_t fraction)
{
    static const Single fixed[] = {1, 0.5f, 2.2f, 2.22002f};
    if (choice < 4)
        return fixed[choice];
    // (0, 2.3): never 0, never 2.3.
    const double z = (double(fraction) + 1) / 4294967297.0 * 2.3;
    return std::min(Single(z), std::nextafter(Single(2.3), Single(0)));
}

// Whether the surface must refuse the font size Draw_Text will set, and so
// whether a 380 is due; false also when the size itself overflows first.
bool Size_Rejected(Single size, bool printer)
{
    if (size == 0)
        size = 8;
    try {
        const Single set = printer ? size : Single(Scale_Value(CInt(size)));
        return !(set > 0 && set <= 2160);
    } catch (const RuntimeError &) {
        return false;
    }
}

[[noreturn]] void Finding(const char *what)
{
    std::fprintf(stderr, "fuzz_draw_text: %s\n", what);
    std::abort();
}

void On_Qt_Message(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (message.contains(QLatin1String("OpenType support missing for")))
        return;
    Finding(qPrintable(QStringLiteral("Qt said: ") + message));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int args = 1;
    static QGuiApplication app(args, *argv);
    qInstallMessageHandler(On_Qt_Message);
    (void)argc;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < Header_Size)
        return 0;
    const std::uint8_t flags = data[1];
    const bool long_text = (flags & 0x0F) == 0x08;
    const int kind = long_text ? 0 : data[0] % 4;
    const auto X = Read<Integer>(data, 6);
    const auto Y = Read<Integer>(data, 8);
    const auto Wrap_Width = long_text ? Integer(0) : Read<Integer>(data, 10);
    const Single zoom = Zoom(data[16], Read<std::uint32_t>(data, 12));
    const Single Font_Size_Value = Font_Size(data[5], Read<Single>(data, 17));

    const std::size_t units = (size - Header_Size) / 2;
    QString Text(qsizetype(units), Qt::Uninitialized);
    std::memcpy(Text.data(), data + Header_Size, units * 2);
    if (long_text) {
        const qsizetype length = 32760 + (flags >> 4);
        const QString unit = Text.isEmpty() ? QStringLiteral("x") : Text;
        Text = unit.repeated(length / unit.size() + 1).left(length);
    }
    const QString firstLine = Text.section(u'\r', 0, 0);

    std::unique_ptr<Surface> surface;
    if (kind < 2) {
        surface = std::make_unique<Recording_Surface>(kind == 0);
    } else {
        auto canvas = std::make_unique<Preview_Surface>();
        canvas->Set_Device_Pixel_Ratio(kind == 3 ? 2 : 1);
        canvas->Set_Width(960); // 64 x 48 screen pixels: small, so that every input stays cheap
        canvas->Set_Height(720);
        surface = std::move(canvas);
    }
    Screen = Screen_Metrics{};
    OutputTarget = surface.get();
    Zoom_Factor = zoom;
    const bool printer = surface->Is_Printer();

    int error = 0;
    try {
        Draw_Text(Text, X, Y, Wrap_Width, Align(data[2], firstLine), Align(data[3], firstLine), Font_Name(data[4]),
                  Font_Size_Value, flags & 1, flags & 2, flags & 4);
    } catch (const RuntimeError &e) {
        error = e.number();
    } catch (const std::exception &e) {
        Finding(e.what());
    }

    if (error == 5)
        Finding("invalid procedure call (5) from Draw_Text");
    if (error != 0 && error != Err_Overflow && error != Err_Invalid_Property_Value)
        Finding("a run-time error other than 6 or 380");
    const bool rejected = Size_Rejected(Font_Size_Value, printer);
    if (error == Err_Invalid_Property_Value && !rejected)
        Finding("380 for a font size the surface takes");
    if (rejected && error == 0)
        Finding("a font size the surface rejects raised nothing");

    if (auto *canvas = dynamic_cast<Preview_Surface *>(surface.get()))
        (void)canvas->Image(); // ends the painter on the finished image
    OutputTarget = nullptr;
    return 0;
}
