#pragma once
// What the screenshot programs share: letting the windows settle and writing one
// window's picture into a PNG file, with a line saying so.

#include "platform/VclApplication.h"

#include <QPixmap>
#include <QScreen>
#include <QString>
#include <QWidget>

#include <cstdio>

namespace screenshots {

inline void settle()
{
    for (int i = 0; i < 5; ++i)
        vcl::Application->ProcessMessages();
}

// The window as the screen shows it (frame included where there is one), or as it
// paints itself when the screen cannot give it.
inline bool shoot(QWidget* w, const QString& file)
{
    settle();
    const QPixmap picture = w->screen() ? w->screen()->grabWindow(w->winId()) : QPixmap();
    const QPixmap image = picture.isNull() || picture.width() < w->width() / 2 ? w->grab() : picture;
    const bool ok = image.save(file);
    std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "FAILED", qPrintable(file), image.width(), image.height());
    return ok;
}

} // namespace screenshots
