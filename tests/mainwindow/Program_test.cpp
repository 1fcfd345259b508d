// The real program on an X server of the test's own, used as its user uses it: the
// titles the window system shows, and the way out through "&Zamknij" with measurement
// windows open and the live acquisition running.

#include "tests/support/ProgramForms.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/XServer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#ifdef TAZO_EXECUTABLE

using acquisition::SettingsBlock;
using namespace std::chrono_literals;

namespace {

const QString mainWindowTitle = QStringLiteral("VESK Tazo6xDalvinter 2022");
const QString questionTitle = QStringLiteral("Uwaga!");

// Where the top bar's buttons are inside the main window.
constexpr int startX = 50, startY = 17;                // "START"
constexpr int settingsX = 358, settingsY = 17;         // the settings button
constexpr int viewX = 132, viewY = 17;                 // "[_][_]", the view switch
constexpr int fileListY = 214;                         // the file list's top in the full view
constexpr int stripHeight = 93;                        // the main window's height in the strip
constexpr int tabY = 12, windowsTabX = 212;            // the settings dialog's tabs, "okien."
constexpr int consoleSaveX = 91, consoleButtonY = 307; // the console's save button
constexpr int okX = 557, okY = 309;                    // the settings dialog's "OK"

class RealProgram : public testsupport::RealProgramTest {
protected:
    void writeSettings(const SettingsBlock& b)
    {
        cwd.file(QStringLiteral("settings.suap"), testsupport::BlockBytes(b));
    }
    QByteArray storedSettings() const
    {
        return testsupport::ReadFileBytes(cwd.path() + QStringLiteral("/settings.suap"));
    }

    // Starts the program in the test's folder and waits for its main window.
    void start()
    {
        mainWindow = startProgram(QStringLiteral(TAZO_EXECUTABLE), {}, QLatin1Char('^') + mainWindowTitle);
        ASSERT_FALSE(mainWindow.isEmpty()) << "no main window";
    }
    qint64 pid() const { return program.processId(); }

    // "&Zamknij" by its accelerator; gives the question box that follows.
    QString zamknij()
    {
        EXPECT_TRUE(x.pressKeys(mainWindow, QStringLiteral("alt+z")));
        return x.waitForWindow(pid(), QLatin1Char('^') + questionTitle);
    }

    QString mainWindow;
};

} // namespace

TEST_F(RealProgram, TitlesAreTheCaptionsWithNothingAdded)
{
    SettingsBlock b = testsupport::StoredSettings();
    b.windowCount = 1;
    writeSettings(b);
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(x.title(mainWindow), mainWindowTitle);
    EXPECT_EQ(x.legacyTitle(mainWindow), mainWindowTitle);

    const QString measurementWindow = x.waitForWindow(pid(), QStringLiteral("^Okno1"));
    ASSERT_FALSE(measurementWindow.isEmpty());
    EXPECT_EQ(x.title(measurementWindow), QStringLiteral("Okno1  "));

    const QString question = zamknij();
    ASSERT_FALSE(question.isEmpty()) << "no question after \"&Zamknij\"";
    EXPECT_EQ(x.title(question), questionTitle);
    EXPECT_EQ(x.legacyTitle(question), questionTitle);
    ASSERT_TRUE(x.pressKeys(question, QStringLiteral("Escape")));
    ASSERT_TRUE(x.waitForWindowCount(pid(), QLatin1Char('^') + questionTitle, 0));
    EXPECT_EQ(program.state(), QProcess::Running) << "Cancel keeps the program running";

    ASSERT_TRUE(x.click(mainWindow, settingsX, settingsY));
    const QString settings = x.waitForWindow(pid(), QStringLiteral("^Ustawienia"));
    ASSERT_FALSE(settings.isEmpty()) << "no settings dialog";
    EXPECT_EQ(x.title(settings), QStringLiteral("Ustawienia"));
}

class ZamknijWithWindows : public RealProgram, public ::testing::WithParamInterface<int> {};

// OK on the question ends the program at once, whatever is open and running, and
// leaves "settings.suap" as "&Zamknij" wrote it.
TEST_P(ZamknijWithWindows, OkEndsTheProgramAtOnce)
{
    const int windows = GetParam();
    testsupport::PtyDevice device;
    device.answerPeriodically("?DAT &", {"2024-03-05 14:07:09 21.4 22.0\r\n", "2024-03-05 14:07:10 21.5 22.1\r\n"},
                              50ms, true);
    SettingsBlock b = testsupport::StoredSettings();
    b.windowCount = windows;
    acquisition::setText(b.comPort, device.path());
    acquisition::setText(b.baudText, "115600");
    acquisition::setText(b.period, "00:00:00"); // the loop reads from the first moment
    writeSettings(b);
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(x.waitForWindowCount(pid(), QStringLiteral("^Okno"), windows));

    ASSERT_TRUE(x.click(mainWindow, startX, startY));
    ASSERT_TRUE(device.waitForReceived("?DAT &", 3000ms)) << "the live acquisition did not start";

    const QString question = zamknij();
    ASSERT_FALSE(question.isEmpty()) << "no question after \"&Zamknij\"";
    const QByteArray saved = storedSettings();
    ASSERT_EQ(saved.size(), qsizetype(sizeof(SettingsBlock)));
    EXPECT_TRUE(QFile::exists(cwd.path() + QStringLiteral("/LabelSetings.txt")));

    ASSERT_TRUE(x.pressKeys(question, QStringLiteral("Return")));
    ASSERT_TRUE(program.waitForFinished(2000)) << "still running after OK";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    EXPECT_EQ(storedSettings(), saved) << "nothing after \"&Zamknij\" may rewrite the settings";
    SettingsBlock back;
    std::memcpy(&back, saved.constData(), sizeof back);
    EXPECT_EQ(back.windowCount, windows);
    for (int i = 0; i < windows; ++i)
        EXPECT_EQ(back.windows[i].state, 0) << "window " << i + 1 << " was open";
}

INSTANTIATE_TEST_SUITE_P(OpenWindows, ZamknijWithWindows, ::testing::Values(0, 1, 3));

// A start, a switch to the full view and back, and "&Zamknij", with measurement windows
// of their own charts open or none: the program writes no painting complaint on its
// standard error, such as a chart painted before it had a size.
TEST_F(RealProgram, PaintsWithoutComplaints)
{
    for (const int windows : {0, 2}) {
        SCOPED_TRACE(testing::Message() << windows << " measurement windows");
        SettingsBlock b = testsupport::StoredSettings();
        b.windowCount = windows;
        writeSettings(b);
        ASSERT_NO_FATAL_FAILURE(start());
        ASSERT_TRUE(x.waitForWindowCount(pid(), QStringLiteral("^Okno"), windows));
        ASSERT_TRUE(x.click(mainWindow, viewX, viewY));
        ASSERT_TRUE(testsupport::WaitUntil([&] { return x.geometry(mainWindow).height() == b.mainHeight; }));
        ASSERT_TRUE(x.click(mainWindow, viewX, viewY));
        ASSERT_TRUE(testsupport::WaitUntil([&] { return x.geometry(mainWindow).height() == stripHeight; }));
        ASSERT_TRUE(x.waitForWindowCount(pid(), QStringLiteral("^Okno"), windows));

        const QString question = zamknij();
        ASSERT_FALSE(question.isEmpty());
        ASSERT_TRUE(x.pressKeys(question, QStringLiteral("Return")));
        ASSERT_TRUE(program.waitForFinished(3000));
        const QStringList complaints = QString::fromLocal8Bit(program.readAllStandardError())
                                           .split(QLatin1Char('\n'))
                                           .filter(QRegularExpression(QStringLiteral("QPainter|QCP")));
        EXPECT_TRUE(complaints.isEmpty())
            << complaints.size() << " lines, the first: " << complaints.value(0).toStdString();
    }
}

// A FIFO or a device named "settings.suap" in the start folder is no settings file: the
// program neither waits for a writer nor reads a device for good. Its window comes up
// within seconds, placed and sized as on a first start without the file (an empty file
// would count as present and give the window no size and the right layout).
TEST_F(RealProgram, SettingsFileThatIsNoPlainFileStartsAsTheFirstRun)
{
    const auto stop = [&] {
        program.kill();
        program.waitForFinished(3000);
    };
    const auto placed = [&] {
        EXPECT_TRUE(testsupport::WaitUntil([&] { return x.geometry(mainWindow).height() == stripHeight; }));
        return x.geometry(mainWindow);
    };
    ASSERT_NO_FATAL_FAILURE(start());
    const QRect firstRun = placed();
    stop();

    const std::string file = QFile::encodeName(cwd.path() + QStringLiteral("/settings.suap")).toStdString();
    const struct {
        const char* name;
        std::function<int()> make;
    } cases[] = {
        {"fifo", [&] { return ::mkfifo(file.c_str(), 0600); }},
        {"device that never ends", [&] { return ::symlink("/dev/zero", file.c_str()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(file.c_str());
        ASSERT_EQ(c.make(), 0);
        ASSERT_NO_FATAL_FAILURE(start());
        EXPECT_EQ(placed(), firstRun);
        stop();
    }
}

// The strip after the full view showed an opened file's chart and text list, in the
// layout of the parameter (SettingsBlock::bottomLayout): the window shows its top bar and
// status bar, and where they have no control, the window's own colour.
class StripAfterFullView : public RealProgram, public ::testing::WithParamInterface<int> {
protected:
    // The pixels of the strip's picture, other than the top bar's controls and the status
    // bar, that are not the window's colour.
    static int foreignPixels(const QImage& strip)
    {
        const int w = strip.width();
        // The top bar's controls from left to right, "&Zamknij" at the right edge.
        const std::pair<int, int> controls[] = {{8, 98},    {104, 160}, {164, 200}, {206, 336},
                                                {342, 374}, {378, 410}, {w - 98, w}};
        const auto onControl = [&](int px, int py) {
            if (py >= barHeight)
                return false;
            for (const auto& [from, to] : controls)
                if (px >= from - 1 && px <= to)
                    return true;
            return false;
        };
        const QRgb window = QApplication::palette().color(QPalette::Active, QPalette::Window).rgb();
        int foreign = 0;
        // Inside the bar's one-pixel frame, down to the highest the status bar may reach.
        for (int py = 1; py < strip.height() - statusBarMaxHeight; ++py)
            for (int px = 1; px < w - 1; ++px)
                if (py != barHeight - 1 && !onControl(px, py) && strip.pixel(px, py) != window)
                    ++foreign;
        return foreign;
    }
    // Whether the status bar's first panel, empty at the start, shows a text.
    static bool statusShowsText(const QImage& strip)
    {
        const QRgb window = QApplication::palette().color(QPalette::Active, QPalette::Window).rgb();
        for (int py = strip.height() - 15; py < strip.height() - 4; ++py)
            for (int px = 4; px < 200; ++px)
                if (strip.pixel(px, py) != window)
                    return true;
        return false;
    }

    static constexpr int barHeight = 35;
    static constexpr int statusBarMaxHeight = 24;
};

TEST_P(StripAfterFullView, ShowsTheBarAlone)
{
    SettingsBlock b = testsupport::StoredSettings();
    b.bottomLayout = GetParam();
    writeSettings(b);
    QByteArray readings = "DataTime  k1 k2 k3\r\n";
    for (int i = 0; i < 60; ++i)
        readings += QStringLiteral("2024-03-05  08:%1:00  %2 5 %3\r\n")
                        .arg(i, 2, 10, QLatin1Char('0'))
                        .arg(20 + i % 7)
                        .arg(30 - i % 5)
                        .toLatin1();
    cwd.file(QStringLiteral("pomiar.dan"), readings);
    ASSERT_NO_FATAL_FAILURE(start());

    ASSERT_TRUE(x.click(mainWindow, viewX, viewY));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return x.geometry(mainWindow).height() == b.mainHeight; }))
        << "no full view";
    // The file list's only item, a double click opens it.
    ASSERT_TRUE(x.click(mainWindow, 60, fileListY + 8, 2));
    ASSERT_TRUE(x.click(mainWindow, viewX, viewY));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return x.geometry(mainWindow).height() == stripHeight; })) << "no strip";
    ASSERT_TRUE(x.parkPointer());

    QImage strip;
    const bool clean = testsupport::WaitUntil(
        [&] {
            strip = x.picture(mainWindow);
            return !strip.isNull() && foreignPixels(strip) == 0;
        },
        3000);
    if (!clean) {
        const QString saved = QDir::temp().filePath(QStringLiteral("strip-after-full-view-%1.png").arg(GetParam()));
        strip.save(saved);
        ADD_FAILURE() << foreignPixels(strip)
                      << " pixels of other controls in the strip; its picture: " << saved.toStdString();
    }
    EXPECT_TRUE(statusShowsText(strip)) << "the file was not opened: the status bar does not name it";
}

INSTANTIATE_TEST_SUITE_P(RightAndBottomLayout, StripAfterFullView, ::testing::Values(0, 1));

// The settings dialog stays on top of other windows. The dialogs and boxes it opens
// belong to it: each is its transient and above it, where its name field and buttons can
// be used, and the settings dialog takes input again once they are closed.
class SettingsDialogOnTop : public RealProgram {
protected:
    // Starts the program with a window manager and opens the settings dialog on the tab
    // that a click at tabX shows (< 0: the first tab, shown at first).
    void openSettings(int tabX)
    {
        ASSERT_TRUE(x.startWindowManager()) << "no window manager";
        ASSERT_NO_FATAL_FAILURE(start());
        ASSERT_TRUE(x.click(mainWindow, settingsX, settingsY));
        settings = x.waitForWindow(pid(), QStringLiteral("^Ustawienia"));
        ASSERT_FALSE(settings.isEmpty()) << "no settings dialog";
        if (tabX >= 0) {
            ASSERT_TRUE(x.click(settings, tabX, tabY));
        }
    }
    // The window of the program that the action brings; empty when none came.
    QString windowAfter(const std::function<bool()>& action)
    {
        const QStringList before = x.windows(pid(), QStringLiteral("."));
        if (!action())
            return {};
        QString found;
        testsupport::WaitUntil([&] {
            for (const QString& w : x.windows(pid(), QStringLiteral(".")))
                if (!before.contains(w))
                    found = w;
            return !found.isEmpty();
        });
        return found;
    }
    void expectAboveSettings(const QString& window)
    {
        EXPECT_EQ(x.transientFor(window), settings) << "not a transient of the settings dialog";
        QStringList stack;
        EXPECT_TRUE(testsupport::WaitUntil([&] {
            stack = x.stacking();
            return stack.contains(settings) && stack.indexOf(window) > stack.indexOf(settings);
        })) << "not above the settings dialog; from the bottom: "
            << stack.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(x.geometry(window).intersects(x.geometry(settings)))
            << "they do not overlap: the order tells nothing";
    }
    // Closes the window with Escape, then the settings dialog with its "OK".
    void closeBoth(const QString& window)
    {
        ASSERT_TRUE(x.pressKeys(window, QStringLiteral("Escape")));
        ASSERT_TRUE(testsupport::WaitUntil([&] { return !x.windows(pid(), QStringLiteral(".")).contains(window); }))
            << "it did not close";
        // Input that comes before the program has seen the closing would still be refused.
        ASSERT_TRUE(testsupport::WaitUntil([&] { return x.activeWindow() == settings; }))
            << "the settings dialog is not active again";
        ASSERT_TRUE(x.click(settings, okX, okY));
        EXPECT_TRUE(x.waitForWindowCount(pid(), QStringLiteral("^Ustawienia"), 0))
            << "the settings dialog takes no click";
    }

    QString settings;
};

struct SettingsFileDialog {
    const char* name;
    int tabX; // where to click on the button's tab; < 0: the first tab
    int x, y; // the button's middle in the settings dialog
    friend void PrintTo(const SettingsFileDialog& d, std::ostream* os) { *os << d.name; }
};

class SettingsFileDialogs : public SettingsDialogOnTop, public ::testing::WithParamInterface<SettingsFileDialog> {};

TEST_P(SettingsFileDialogs, OpenAboveTheSettingsDialog)
{
    const SettingsFileDialog& road = GetParam();
    ASSERT_NO_FATAL_FAILURE(openSettings(road.tabX));
    const QString dialog = windowAfter([&] { return x.click(settings, road.x, road.y); });
    ASSERT_FALSE(dialog.isEmpty()) << "no file dialog";
    expectAboveSettings(dialog);
    closeBoth(dialog);
}

INSTANTIATE_TEST_SUITE_P(Buttons, SettingsFileDialogs,
                         ::testing::Values(SettingsFileDialog{"Folder", -1, 362, 112},
                                           SettingsFileDialog{"WorkFolder", windowsTabX, 76, 106},
                                           SettingsFileDialog{"ConsoleLoad", windowsTabX, 57, consoleButtonY},
                                           SettingsFileDialog{"ConsoleSave", windowsTabX, consoleSaveX,
                                                              consoleButtonY}),
                         [](const auto& info) { return std::string(info.param.name); });

// The console's save into a file that is there asks first; the question too is above.
TEST_F(SettingsDialogOnTop, ReplaceQuestionOfTheConsoleSaveIsAbove)
{
    cwd.file(QStringLiteral("k.txt"), "?DAT &\r\n");
    ASSERT_NO_FATAL_FAILURE(openSettings(windowsTabX));
    const QString dialog = windowAfter([&] { return x.click(settings, consoleSaveX, consoleButtonY); });
    ASSERT_FALSE(dialog.isEmpty()) << "no file dialog";
    const QString question = windowAfter([&] { return x.pressKeys(dialog, QStringLiteral("k Return")); });
    ASSERT_FALSE(question.isEmpty()) << "no question about the file that is there";
    EXPECT_EQ(x.title(question), QStringLiteral("Uwaga"));
    expectAboveSettings(question);
    closeBoth(question);
    EXPECT_EQ(testsupport::ReadFileBytes(cwd.path() + QStringLiteral("/k.txt")), QByteArray("?DAT &\r\n"));
}

#endif
