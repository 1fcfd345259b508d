// Renders the main window (strip and full view with a few readings, a chart of two
// readings, a data file opened whole and one in the paged view, and the strip after
// them), every page of the settings dialog, its console after a configuration read from
// a data logger on a pseudo-terminal, the about box and a measurement window (its chart
// of two readings and its properties page) into PNG files, for a person to look at.
//
//   screenshots <output folder>

#include "acquisition/PortCom.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit5.h"
#include "mainwindow/Unit1.h"
#include "platform/text/DateTime.h"
#include "platform/vcl/MessageBox.h"
#include "tests/support/PtyDevice.h"
#include "windows/Unit6.h"

#include "tests/screenshots/Shoot.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <functional>

using screenshots::settle;
using screenshots::shoot;

namespace {

// Runs the event loop until done() holds, for at most a few seconds.
bool settleUntil(const std::function<bool()>& done)
{
    const QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired())
        vcl::Application->processEvents();
    return done();
}

} // namespace

int main(int argc, char** argv)
{
    screenshots::Session session(argc, argv, "screenshots");
    if (!session.app)
        return 2;
    vcl::TApplication& app = *session.app;
    const QString& out = session.out;
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
        "2024-03-05 14:07:49 21.46 21.85 21.32 T 18.75 22.96 20.31",
    };
    for (const char* line : lines) {
        Form1->currentLine = line;
        if (Form1->parsedLine.resetPending)
            Form1->parsedLine.Zeruj();
        Form1->parsedLine.CzytajLinie(Form1->currentLine);
        Form1->showLiveLine();
    }
    Form1->ToolButton27Click(nullptr); // legend on
    ok &= shoot(Form1, out + "/main-full.png");

    // Two readings only: the time labels stand at both ends of the bottom axis.
    for (int i = 0; i < TForm1::seriesCount; ++i)
        Form1->Chart1->Series(i).Clear();
    const char* times[] = {"11:10:05", "11:10:15"};
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < 6; ++i)
            Form1->Chart1->Series(i).Add(20.0 + i + p * 0.5, times[p]);
    Form1->dopasujWykresExecute(nullptr);
    ok &= shoot(Form1, out + "/main-two-points.png");

    // Data files in the browsed folder: a day's cyclic file opened whole, then a device
    // file with a header in the paged view.
    {
        QFile whole(QStringLiteral("P20240305.dan"));
        whole.open(QIODevice::WriteOnly);
        whole.write("DataTime  k1 k2 k3 k4\r\n");
        QFile paged(QStringLiteral("urzadzenie.dan"));
        paged.open(QIODevice::WriteOnly);
        paged.write("VeskSystem measurement file\r\nChannels 4\r\n***End_of_Header***\r\n"
                    "yyyy-mm-dd hh:mm:ss.nnn k1 k2 k3 k4\r\n");
        for (int i = 0; i < 3000; ++i) {
            const double a = i / 150.0;
            const QString values =
                QString::asprintf(" %5.1f %5.1f %5.1f %5.2f", 21.0 + 2.0 * std::sin(a), 19.5 + 1.5 * std::cos(a * 0.7),
                                  23.0 + 0.002 * i, 3.60 - 0.0001 * i);
            const QTime t = QTime(8, 0).addSecs(i * 10);
            whole.write(("2024-03-05  " + t.toString("hh:mm:ss") + " " + values + "\r\n").toLatin1());
            paged.write(("2024-03-05 " + t.toString("hh:mm:ss") + values + "\r\n").toLatin1());
        }
        paged.write("Counter 3000\r\n");
    }
    Form1->FileListBox1->Update();
    Form1->FileListBox1->SetFileName(QStringLiteral("P20240305.dan"));
    Form1->FileListBox1DblClick(Form1->FileListBox1);
    ok &= shoot(Form1, out + "/main-file-whole.png");
    Form1->deviceFamily = 2;
    Form1->UpDown1->SetPosition(1000);
    Form1->FileListBox1->SetFileName(QStringLiteral("urzadzenie.dan"));
    Form1->FileListBox1DblClick(Form1->FileListBox1);
    Form1->TrackBar1->SetPosition(1);
    ok &= shoot(Form1, out + "/main-file-paged.png");
    Form1->deviceFamily = 0;
    Form1->BitBtn3Click(Form1->BitBtn3);
    ok &= shoot(Form1, out + "/main-strip-after-file.png");

    const char* pages[] = {"settings-pomiaru.png", "settings-komunikacja.png", "settings-systemu.png",
                           "settings-okien.png"};
    Form2->Show();
    for (int i = 0; i < Form2->PageControl1->PageCount(); ++i) {
        Form2->PageControl1->Pages(i)->SetTabVisible(true);
        Form2->PageControl1->SetActivePageIndex(i);
        ok &= shoot(Form2, out + "/" + pages[i]);
    }

    // The console after "Czytaj końfigurację" answered by a device.
    {
        testsupport::PtyDevice device;
        device.answer("?B_U &", "Tazo132 v2.4\rk1 T 0.1 Temperatura wody\rk2 T 0.1 Temperatura powietrza\r"
                                "k3 U 0.01 Napi\xEA"
                                "cie\rM_S 00:00:10\r\x1A");
        acquisition::setText(acquisition::portCom.portSettings, device.path());
        acquisition::portCom.baudRate = 9600;
        Form2->RadioButton1->SetChecked(true);
        Form2->PageControl1->SetActivePage(Form2->TabSheet3);
        Form2->Button5->click(); // the data file's properties make way for the configuration
        Form2->Button4->click();
        ok &= settleUntil([] { return Form2->Button4->Enabled() && !Form1->serialExchangeRunning(); });
        ok &= shoot(Form2, out + "/settings-systemu-config.png");
        device.answerPeriodically("?DAT &", {"2024-03-05 14:07:09 21.4 22.0\n"}, std::chrono::milliseconds(200), true);
        Form2->Edit3->SetText(QStringLiteral("?DAT &"));
        Form2->Button1->click();
        settleUntil([] { return vcl::Lines(Form2->Memo1).Count() > 9; });
        ok &= shoot(Form2, out + "/settings-systemu-reading.png");
        Form2->Button11->click();
    }
    Form2->Hide();
    Form5->Show();
    ok &= shoot(Form5, out + "/about.png");
    Form5->Hide();

    // A measurement window with a few samples of two channels.
    RegisterMeasurementWindows();
    Form1->settings.windowCount = 1;
    Form1->autoPlaceWindows = true; // placed below the main window, left panel 150
    Form1->UruchomOknaExecute(nullptr);
    if (TForm6* w = TForm6::ForSlot(0)) {
        w->SetBounds(0, 0, 900, 500);
        for (int p = 0; p < 2; ++p)
            w->Chart1->Series(0).Add(21.46 + p, times[p]);
        w->Dopasuj6WykresExecute(nullptr);
        ok &= shoot(w, out + "/window.png");
        // The values as the end of a run leaves them (the bath temperatures stay empty).
        QStringList values(11);
        values[0] = QStringLiteral("Pomiar_1");
        values[1] = QStringLiteral("2024-03-05 14:07");
        values[2] = QStringLiteral("2024-03-05 15:07");
        values[3] = QStringLiteral("19.8");
        values[4] = QStringLiteral("23.4");
        values[8] = QStringLiteral("Pomiar_1.dan");
        values[9] = session.start->path();
        values[10] = QStringLiteral(".");
        vcl::Lines(w->Memo3).Assign(values);
        w->PageControl1->SetActivePageIndex(1);
        ok &= shoot(w, out + "/window-properties.png");

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
