#include "png_bytes.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include <zlib.h>

namespace {

constexpr int Window = 32 << 10; // what deflate looks back at
constexpr qsizetype Split_From = 1 << 20; // smaller images are not worth a thread

// A row as PNG takes it: its filter byte (none), then three bytes a pixel.
// RGB32 holds each pixel as one 32-bit 0xffRRGGBB: shifted and
// byte-reversed it reads R, G, B, 0 in memory, and each pixel is stored as
// four bytes whose last the next pixel overwrites; `out` has a byte to spare.
void Png_Row(const QImage &image, int y, char *out)
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the pixels' bytes are taken in little-endian order");
    *out++ = 0;
    const auto *pixel = reinterpret_cast<const quint32 *>(image.constScanLine(y));
    for (const quint32 *end = pixel + image.width(); pixel < end; ++pixel, out += 3) {
        const quint32 bytes = __builtin_bswap32(*pixel << 8);
        std::memcpy(out, &bytes, 4);
    }
}

// Rows `first` to `end` (not included) deflated as one stretch of the
// image's stream: raw deflate data primed with the rows before them (the
// window the stream would have), ending on a byte boundary, or ending the
// stream when `last`; with the Adler-32 of those rows.
struct Stretch {
    int first = 0, end = 0;
    bool last = false;
    QByteArray deflated;
    uLong adler = adler32(0, nullptr, 0);
    bool ok = false;
};

void Deflate(const QImage &image, int level, Stretch &part)
{
    const qsizetype row_bytes = qsizetype(image.width()) * 3 + 1;
    QByteArray row(row_bytes + 1, Qt::Uninitialized);
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    if (part.first > 0) {
        QByteArray window;
        for (int y = std::max(0, part.first - int(Window / row_bytes) - 1); y < part.first; ++y) {
            Png_Row(image, y, row.data());
            window.append(row.constData(), row_bytes);
        }
        window = window.right(Window);
        deflateSetDictionary(&stream, reinterpret_cast<const Bytef *>(window.constData()), uInt(window.size()));
    }
    char out[16 << 10];
    int status = Z_OK;
    for (int y = part.first; y < part.end && status != Z_STREAM_ERROR; ++y) {
        Png_Row(image, y, row.data());
        auto *in = reinterpret_cast<Bytef *>(row.data());
        part.adler = adler32(part.adler, in, uInt(row_bytes));
        stream.next_in = in;
        stream.avail_in = uInt(row_bytes);
        const int flush = y + 1 < part.end ? Z_NO_FLUSH : part.last ? Z_FINISH : Z_SYNC_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef *>(out);
            stream.avail_out = sizeof out;
            status = deflate(&stream, flush);
            part.deflated.append(out, qsizetype(sizeof out - stream.avail_out));
        } while (stream.avail_out == 0 && status != Z_STREAM_ERROR);
    }
    part.ok = part.last ? status == Z_STREAM_END : status == Z_OK;
    deflateEnd(&stream);
}

// A PNG chunk: its length, type, data and the CRC of type and data.
void Chunk(QByteArray &png, const char *type, const QByteArray &data)
{
    const auto big_endian = [&png](quint32 value) {
        char bytes[4];
        qToBigEndian(value, bytes);
        png.append(bytes, 4);
    };
    big_endian(quint32(data.size()));
    png.append(type, 4);
    png.append(data);
    uLong crc = crc32(0, reinterpret_cast<const Bytef *>(type), 4);
    crc = crc32(crc, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size()));
    big_endian(quint32(crc));
}

QByteArray Big_Endian(std::initializer_list<quint32> values)
{
    QByteArray bytes;
    for (const quint32 value : values) {
        char four[4];
        qToBigEndian(value, four);
        bytes.append(four, 4);
    }
    return bytes;
}

// The zlib stream of all rows: its header, the stretches deflated at once,
// the Adler-32 of all rows; empty on failure.
QByteArray Image_Data(const QImage &image, int level, int parts)
{
    std::vector<Stretch> stretches(std::size_t(std::max(1, parts)));
    for (std::size_t i = 0; i < stretches.size(); ++i) {
        stretches[i].first = int(qsizetype(image.height()) * qsizetype(i) / qsizetype(stretches.size()));
        stretches[i].end = int(qsizetype(image.height()) * qsizetype(i + 1) / qsizetype(stretches.size()));
        stretches[i].last = i + 1 == stretches.size();
    }
    // A stretch that runs out of memory fails alone, one that gets no thread
    // is made here, and every thread is joined.
    const auto deflate = [&image, level](Stretch &part) {
        try {
            Deflate(image, level, part);
        } catch (const std::bad_alloc &) {
            part.ok = false;
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(stretches.size());
    for (std::size_t i = 1; i < stretches.size(); ++i) {
        try {
            helpers.emplace_back(deflate, std::ref(stretches[i]));
        } catch (const std::system_error &) {
            deflate(stretches[i]);
        }
    }
    deflate(stretches.front());
    for (std::thread &helper : helpers)
        helper.join();

    // Deflate, a 32 KB window; the level said as zlib says it.
    const int level_flag = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    const int header = 0x7800 | level_flag << 6;
    QByteArray data;
    data.append(char(header >> 8)).append(char((header + 31 - header % 31) & 0xff));
    uLong adler = adler32(0, nullptr, 0);
    for (const Stretch &part : stretches) {
        if (!part.ok)
            return {};
        data.append(part.deflated);
        adler = adler32_combine(adler, part.adler, z_off_t(part.end - part.first) * (qsizetype(image.width()) * 3 + 1));
    }
    return data.append(Big_Endian({quint32(adler)}));
}

} // namespace

QByteArray Png_Bytes(const QImage &image, int level, int parts)
{
    if (image.format() != QImage::Format_RGB32)
        return Png_Bytes(image.convertToFormat(QImage::Format_RGB32), level, parts);
    if (image.isNull())
        return {};
    if (parts < 1)
        parts = image.sizeInBytes() < Split_From ? 1 : int(std::clamp(std::thread::hardware_concurrency(), 1u, 2u));
    const QByteArray data = Image_Data(image, level, std::min(parts, image.height()));
    if (data.isEmpty())
        return {};
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    // Width, height; 8 bits a channel, RGB, deflate, no filtering method but
    // PNG's own, not interlaced.
    Chunk(png, "IHDR", Big_Endian({quint32(image.width()), quint32(image.height())}).append("\x08\x02\x00\x00\x00", 5));
    if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0)
        Chunk(png, "pHYs",
              Big_Endian({quint32(image.dotsPerMeterX()), quint32(image.dotsPerMeterY())}).append(char(1))); // per metre
    Chunk(png, "IDAT", data);
    Chunk(png, "IEND", {});
    return png;
}
