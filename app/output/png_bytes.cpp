#include "png_bytes.h"

#include <csetjmp>
#include <cstring>

QByteArray Png_Bytes(const QImage &image, int level, int filters)
{
    if (image.format() != QImage::Format_RGB32)
        return Png_Bytes(image.convertToFormat(QImage::Format_RGB32), level, filters);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    QByteArray bytes;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &bytes,
        [](png_structp p, png_bytep data, png_size_t length) {
            static_cast<QByteArray *>(png_get_io_ptr(p))->append(reinterpret_cast<const char *>(data), qsizetype(length));
        },
        nullptr);
    png_set_compression_level(png, level);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0)
        png_set_pHYs(png, info, png_uint_32(image.dotsPerMeterX()), png_uint_32(image.dotsPerMeterY()),
                     PNG_RESOLUTION_METER);
    png_write_info(png, info);
    // RGB32 rows hold each pixel as one 32-bit 0xffRRGGBB; each row is
    // handed over as three bytes a pixel, taken out here in one pass rather
    // than by libpng's general byte-order and filler transforms (a third of
    // the PNG's time): shifted and byte-reversed, a pixel reads R, G, B, 0
    // in memory, and each is stored as four bytes whose last the next
    // pixel overwrites.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the pixels' bytes are taken in little-endian order");
    const int width = image.width();
    QByteArray rgb(qsizetype(width) * 3 + 1, Qt::Uninitialized);
    for (int y = 0; y < image.height(); ++y) {
        const auto *pixel = reinterpret_cast<const quint32 *>(image.constScanLine(y));
        char *out = rgb.data();
        for (const quint32 *end = pixel + width; pixel < end; ++pixel, out += 3) {
            const quint32 bytes = __builtin_bswap32(*pixel << 8);
            std::memcpy(out, &bytes, 4);
        }
        png_write_row(png, reinterpret_cast<png_bytep>(rgb.data()));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}
