// The canvas as a PNG file's bytes, written with libpng at the compression
// level and row filter that bench_png found the quickest to write without
// making the file much larger (bench/RESULTS.md).
#pragma once

#include <QByteArray>
#include <QImage>

#include <png.h>

constexpr int Png_Level = 2;
constexpr int Png_Filters = PNG_FILTER_NONE;

// An RGB PNG of an RGB32 image, with its resolution; empty on failure.
QByteArray Png_Bytes(const QImage &image, int level = Png_Level, int filters = Png_Filters);
