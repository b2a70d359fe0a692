// The canvas as a PNG file's bytes: RGB rows without filtering, compressed
// with zlib at the level that bench_png found the quickest to write without
// making the file much larger (bench/RESULTS.md). Where the machine has the
// cores, the top and the bottom half are compressed at once, each on a core
// of its own, into the one stream PNG holds.
#pragma once

#include <QByteArray>
#include <QImage>

constexpr int Png_Level = 2;

// An RGB PNG of an RGB32 image, with its resolution; empty on failure.
// `parts`: the stretches of rows compressed at once, 0 for as many as the
// machine has cores (at most two).
QByteArray Png_Bytes(const QImage &image, int level = Png_Level, int parts = 0);
