#pragma once
// What the screenshot programs share: letting the windows settle and writing one
// window's picture into a PNG file, with a line saying so.

#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclApplication.h"

#include <QDir>
#include <QTemporaryDir>

#include <QPixmap>
#include <QScreen>
#include <QString>
#include <QWidget>

#include <cstdio>
#include <memory>

namespace screenshots {

inline void settle()
{
    for (int i = 0; i < 5; ++i)
        vcl::Application->processEvents();
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

// What a screenshot program starts with: the output folder named on its command line,
// the application, a temporary start folder made current and message boxes answered by
// script, since nothing may wait for a click. Without a folder it prints its usage and
// has no application (app is null).
struct Session {
    Session(int& argc, char** argv, const char* program)
    {
        if (argc < 2) {
            std::fprintf(stderr, "usage: %s <output folder>\n", program);
            return;
        }
        out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
        QDir().mkpath(out);
        app = std::make_unique<vcl::TApplication>(argc, argv);
        start = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(start->path());
    }

    QString out;
    std::unique_ptr<vcl::TApplication> app;
    std::unique_ptr<QTemporaryDir> start;
    platform::MessageScript boxes;
};

} // namespace screenshots
