#pragma once
// Fonts for texts that must fit a designed width. The forms were laid out for a narrow
// desktop font; the fonts found here are often wider, and a grid cell or a label column
// of fixed width would then cut or wrap its texts.

#include <QFont>
#include <QString>

namespace platform {

// The font itself when sample takes at most width pixels in it; otherwise the same font
// narrowed (semi-condensed, then condensed) and, when that is not enough, made smaller,
// down to 8 pixels at the least.
QFont FontFitting(const QFont& font, const QString& sample, int width);

} // namespace platform
