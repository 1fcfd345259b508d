// Renders the main window (strip and full view with a few readings) and every page
// of the settings dialog into PNG files, for a person to look at.
//
//   screenshots <output folder>

#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit5.h"
#include "mainwindow/Unit1.h"
#include "platform/DateTime.h"
#include "platform/MessageBox.h"
#include "windows/Unit6.h"

#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i)
        vcl::Application->ProcessMessages();
}

bool shoot(QWidget* w, const QString& file)
{
    settle();
    const QPixmap picture = w->screen() ? w->screen()->grabWindow(w->winId()) : QPixmap();
    const QPixmap image = picture.isNull() || picture.width() < w->width() / 2 ? w->grab() : picture;
    const bool ok = image.save(file);
    std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "FAILED", qPrintable(file), image.width(), image.height());
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: screenshots <output folder>\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(out);

    vcl::TApplication app(argc, argv);
    QTemporaryDir start;
    QDir::setCurrent(start.path());
    platform::MessageScript boxes;   // nothing may wait for a click here
    platform::ScopedClock clock(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));

    app.CreateForm(Form1);
    app.CreateForm(Form2);
    app.CreateForm(Form5);
    app.CreateForm(Form3);
    Form1->SetLeft(0);
    Form1->SetTop(0);
    Form1->Show();
    bool ok = shoot(Form1, out + "/main-strip.png");

    Form1->BitBtn3Click(Form1->BitBtn3);
    Form1->SetWidth(1400);
    const char* lines[] = {
        "2024-03-05 14:07:09 21.4 22.0 19.8 T 18.5 23.1 20.2",
        "2024-03-05 14:07:19 21.5 22.1 19.9 T 18.6 23.4 20.0",
        "2024-03-05 14:07:29 21.9 22.3 20.4 T 18.6 23.0 19.7",
        "2024-03-05 14:07:39 22.4 22.2 20.9 T 18.7 22.6 19.9",
        "2024-03-05 14:07:49 22.0 21.8 21.3 T 18.7 22.9 20.3",
    };
    for (const char* line : lines) {
        Form1->currentLine = line;
        if (Form1->parsedLine.resetPending)
            Form1->parsedLine.Zeruj();
        Form1->parsedLine.CzytajLinie(Form1->currentLine);
        Form1->showLiveLine();
    }
    Form1->ToolButton27Click(nullptr);   // legend on
    ok &= shoot(Form1, out + "/main-full.png");

    const char* pages[] = {"settings-pomiaru.png", "settings-komunikacja.png", "settings-systemu.png",
                           "settings-okien.png"};
    Form2->Show();
    for (int i = 0; i < Form2->PageControl1->PageCount(); ++i) {
        Form2->PageControl1->Pages(i)->SetTabVisible(true);
        Form2->PageControl1->SetActivePageIndex(i);
        ok &= shoot(Form2, out + "/" + pages[i]);
    }
    Form2->Hide();
    Form5->Show();
    ok &= shoot(Form5, out + "/about.png");
    Form5->Hide();

    // A measurement window with a few samples of two channels.
    RegisterMeasurementWindows();
    Form1->settings.windowCount = 1;
    Form1->autoPlaceWindows = true;   // placed below the main window, left panel 150
    Form1->UruchomOknaExecute(nullptr);
    if (TForm6* w = TForm6::ForSlot(0)) {
        w->SetBounds(0, 0, 900, 500);
        ok &= shoot(w, out + "/window.png");

        // The same window previewing a run stored in its folder.
        QFile log(QDir(w->FileListBox1->Directory()).filePath(QStringLiteral("pomiar1.dan")));
        QFile properties(QDir(w->FileListBox1->Directory()).filePath(QStringLiteral("pomiar1.txt")));
        if (log.open(QIODevice::WriteOnly) && properties.open(QIODevice::WriteOnly)) {
            for (int i = 0; i < 60; ++i)
                log.write(QStringLiteral("00:%1:%2  %3 %4\r\n")
                              .arg(i / 6, 2, 10, QLatin1Char('0'))
                              .arg(i % 6 * 10, 2, 10, QLatin1Char('0'))
                              .arg(21.0 + 2.0 * std::sin(i / 8.0), 0, 'f', 1)
                              .arg(19.5 + std::cos(i / 6.0), 0, 'f', 1)
                              .toLatin1());
            properties.write("pomiar1\r\n2024-03-05 13:57\r\n2024-03-05 14:07\r\n19.0\r\n23.0\r\n\r\n\r\n\r\n"
                             "pomiar1.dan\r\n\r\n.\r\n");
            log.close();
            properties.close();
            w->FileListBox1->Update();
            w->FileListBox1->SetFileName(QStringLiteral("pomiar1.dan"));
            w->FileListBox1DblClick(w->FileListBox1);
            ok &= shoot(w, out + "/window-preview.png");
        }
    }
    return ok ? 0 : 1;
}
