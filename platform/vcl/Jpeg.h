#pragma once
// JPEG pictures stored with the program (the about boxes' images), decoded with libjpeg.

#include <QByteArray>
#include <QImage>

namespace platform {

// Decodes a baseline or progressive JPEG held in memory: greyscale pictures give a
// Format_Grayscale8 image, colour ones Format_RGB888. Anything that is not a whole,
// sound picture (empty, truncated, corrupt data, CMYK, larger than maxJpegPixels)
// gives a null QImage; libjpeg never ends the program and prints nothing.
QImage decodeJpeg(const QByteArray& bytes);

// Pictures beyond this many pixels are refused before any memory is taken for them,
// so a damaged header cannot ask for gigabytes.
inline constexpr long long maxJpegPixels = 64LL * 1024 * 1024;

} // namespace platform
