#pragma once
// The program's forms as the entry routine creates them, in a temporary working
// folder, with a test clock and scripted message boxes and dialogs, plus small steps
// that drive a measurement window the way the live road and the user do.

#include "acquisition/LivePort.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit5.h"
#include "mainwindow/Unit1.h"
#include "platform/text/Cp1250.h"
#include "platform/text/DateTime.h"
#include "platform/vcl/MessageBox.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/QtTestApp.h"
#include "windows/Unit6.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace windowtest {

inline QByteArray readFile(const QString& path) { return testsupport::ReadFileBytes(path); }

// 8-bit lines, each ended by CR LF, as the window's files hold them.
inline QByteArray crlfLines(std::initializer_list<std::string> lines)
{
    QByteArray bytes;
    for (const std::string& line : lines)
        bytes += QByteArray::fromStdString(line) + "\r\n";
    return bytes;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterMeasurementWindows();
        testsupport::CreateProgramForms();
        // No test reaches a real serial port.
        Form2->NumerCom->SetText(cwd.path() + QStringLiteral("/no-such-port"));
        workDir = platform::unicodeToCp1250(cwd.path());
        Form1->workDir = workDir;
        Form1->settings.windowCount = 1;
        Form1->autoPlaceWindows = false;
        // The overwrite question gets questionAnswer; every other box its first button.
        boxes.onMessage = [this](const platform::MessageRecord& r) {
            if (r.title == QStringLiteral("Uwaga!") && (r.flags & platform::MB_TYPEMASK) == platform::MB_OKCANCEL)
                boxes.answer(questionAnswer);
        };
    }
    void TearDown() override
    {
        if (Form1->acquisitionRunning)
            Form1->BitBtn4Click(Form1->BitBtn4);
        if (acquisition::comHandle > 0)
            acquisition::zamknijCom(acquisition::comHandle);
        testsupport::DestroyProgramForms();
        TForm6::screenHeightOverride = 0;
        TForm6::logWrite = nullptr;
        acquisition::comHandle = 0;
    }

    // The window of slot k, made as the main window makes it.
    TForm6* open(int k = 0)
    {
        Form1->nextWindowIndex = k;
        TForm1::createMeasurementWindow(*Form1);
        return TForm6::ForSlot(k);
    }
    QString windowDir(int k = 0) const { return cwd.path() + QStringLiteral("/Okno") + QString::number(k + 1); }

    void advance(int ms) { now = now.addMSecs(ms); }
    // The values of the next live line, as the live loop hands them on to the windows.
    void setValues(std::initializer_list<float> values)
    {
        int i = 0;
        for (float v : values)
            Form1->liveSample.values[static_cast<std::size_t>(i++)] = v;
    }
    // What the live loop does when a line completes: hands its values on and raises
    // the flag of the slot.
    static void announce(int slot)
    {
        ++Form1->liveSample.count;
        Form1->settings.windows[slot].newSample = 1;
    }
    // Marks or unmarks item i of the channel list as the user's choice does.
    static void toggle(TForm6* w, int item)
    {
        w->ComboBox2->SetItemIndex(item);
        w->ComboBox2Change(w->ComboBox2);
    }
    // One new sample as the live loop announces it, consumed by the window's tick; then
    // what the tick left for the event loop (a box) runs, as it does after a tick.
    void sample(TForm6* w, int afterMs = 0)
    {
        advance(afterMs);
        announce(w->windowIndex);
        w->Timer1Timer(w->Timer1);
        QCoreApplication::sendPostedEvents(w, QEvent::MetaCall);
    }
    // START with the run name chosen in the dialog; the first tick then arms the window.
    void start(TForm6* w, const QString& chosenFile)
    {
        dialogs.answerFile(chosenFile);
        w->BitBtn1->Click();
        EXPECT_TRUE(w->Timer1->Enabled());
        // The tests tick by hand, so the event loop never consumes a sample of its own.
        w->Timer1->SetEnabled(false);
        w->Timer1Timer(w->Timer1);
    }
    int boxesTitled(const QString& title) const
    {
        int n = 0;
        for (const auto& r : boxes.records())
            n += r.title == title ? 1 : 0;
        return n;
    }
    QStringList boxTexts() const
    {
        QStringList texts;
        for (const auto& r : boxes.records())
            texts << r.text;
        return texts;
    }

    testsupport::TempCwd cwd;
    std::string workDir;
    QDateTime now{QDate(2024, 3, 1), QTime(10, 0, 0)};
    platform::ScopedClock clock{[this] { return now; }};
    platform::MessageScript boxes;
    int questionAnswer = platform::IDOK;
    vcl::DialogScript dialogs;
};

} // namespace windowtest
