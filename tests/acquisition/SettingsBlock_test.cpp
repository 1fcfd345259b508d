#include "acquisition/SettingsBlock.h"

#include "platform/vcl/MessageBox.h"

#include "tests/support/FileBytes.h"
#include "tests/support/FullDisk.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/WaitBreaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <climits>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace acquisition;

namespace {

constexpr std::size_t blockSize = 17992;

using testsupport::diskRoom;
using testsupport::fullDiskWrite;
using testsupport::readBytes;
using testsupport::writeBytes;

std::string imageOf(const SettingsBlock& block)
{
    return std::string(reinterpret_cast<const char*>(&block), sizeof block);
}

void putLe32(std::string& image, std::size_t offset, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        image[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The constructed block as the file layout describes it: zero bytes, and in each of
// the 32 window records height 500, width 500, left 50, top 200.
std::string constructedImage()
{
    std::string image(blockSize, '\0');
    for (std::size_t k = 0; k < 32; ++k) {
        const std::size_t r = 2624 + 480 * k;
        putLe32(image, r + 124, 500);
        putLe32(image, r + 128, 500);
        putLe32(image, r + 132, 50);
        putLe32(image, r + 136, 200);
    }
    return image;
}

// Every name in a folder, hidden ones included.
QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

std::string randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(byte(gen));
    return s;
}

class SettingsBlockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.isValid());
        previousDir_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(temp_.path()));
        dir_ = temp_.path().toStdString();
    }
    void TearDown() override { QDir::setCurrent(previousDir_); }
    std::string path(const char* name) const { return dir_ + "/" + name; }

    QTemporaryDir temp_;
    QString previousDir_;
    std::string dir_;
    platform::MessageScript boxes_;
};

} // namespace

TEST_F(SettingsBlockTest, ConstructedBlockIsZeroBytesExceptTheWindowGeometry)
{
    const SettingsBlock block;
    EXPECT_EQ(imageOf(block), constructedImage());
}

// Each field is written by name and found in the saved file at the offset of the layout.
TEST_F(SettingsBlockTest, SavedFileHoldsEveryFieldAtItsOffset)
{
    SettingsBlock block;
    block.leftPanelWidth = 0x01020304; // kept: saved in the full view
    block.maxMemoLines = 0x0A0B0C0D;
    block.bottomLayout = 1;
    block.cycleMonthly = 1;
    block.cycleWeekly = 1;
    block.cycleDaily = 1;
    block.cycleConstant = 1;
    block.appendDate = 1;
    block.appendSeconds = 1;
    block.timeFromComputer = 1;
    block.autoAppend = 1;
    setText(block.filePrefix, "Pref");
    setText(block.measurementDir, "/data/pomiary");
    setText(block.period, "00:01:00");
    setText(block.ipAddress, "10.0.0.7");
    setText(block.tcpPort, "4001");
    setText(block.comPort, "ttyUSB0");
    setText(block.baudText, "9600");
    block.connectionMode = 2;
    block.windowCount = 3;
    setText(block.workFolder, "/work/okna");
    block.setDeviceAddress("#12");
    WindowRecord& w = block.windows[5];
    w.state = 4;
    setText(w.remarks, "uwagi");
    w.height = 301;
    w.width = 302;
    w.left = 303;
    w.top = 304;
    setText(w.measurementName, "run7");
    w.splitterPos = 305;
    w.startTime = 1.5;
    w.endTime = -2.25;
    w.newSample = 1;
    for (int i = 0; i < 9; ++i) {
        w.seriesColours[i] = 0xC0000000u + static_cast<std::uint32_t>(i);
        w.penWidths[i] = static_cast<std::uint8_t>(1 + i % 5);
    }

    SettingsWindowSide side;
    side.mainViewMode = 1;
    side.height = 0x11121314;
    side.width = 0x21222324;
    side.left = 0x31323334;
    side.top = 0x41424344;
    side.leftPanelWidth = 77;
    side.pageSize = 0x51525354;
    side.listPanelAtBottom = true;
    side.listPanelHeight = 0x61626364;
    side.listPanelWidth = 99;
    side.dirListHeight = 0x71727374;
    side.deviceFamily = 2;
    ASSERT_TRUE(saveSettings(block, side, dir_));

    std::string expected = constructedImage();
    putLe32(expected, 4, 0x21222324);
    putLe32(expected, 8, 0x11121314);
    putLe32(expected, 12, 0x31323334);
    putLe32(expected, 16, 0x41424344);
    putLe32(expected, 20, 0x01020304);
    putLe32(expected, 24, 0x61626364);
    putLe32(expected, 28, 0x71727374);
    putLe32(expected, 32, 0x0A0B0C0D);
    for (std::size_t o = 36; o <= 44; ++o)
        expected[o] = 1;
    auto text = [&](std::size_t offset, const char* s) { expected.replace(offset, std::strlen(s), s); };
    text(64, "Pref");
    text(864, "/data/pomiary");
    text(1664, "00:01:00");
    text(1689, "10.0.0.7");
    text(1714, "4001");
    text(1739, "ttyUSB0");
    text(1764, "9600");
    putLe32(expected, 1792, 2);
    putLe32(expected, 1796, 2);
    putLe32(expected, 1800, 0x51525354);
    putLe32(expected, 1812, 3);
    text(1816, "/work/okna");
    text(17984, "#12");
    const std::size_t r = 2624 + 480 * 5;
    expected[r] = 4;
    text(r + 1, "uwagi");
    putLe32(expected, r + 124, 301);
    putLe32(expected, r + 128, 302);
    putLe32(expected, r + 132, 303);
    putLe32(expected, r + 136, 304);
    text(r + 284, "run7");
    putLe32(expected, r + 368, 305);
    expected.replace(r + 400, 8, std::string("\x00\x00\x00\x00\x00\x00\xF8\x3F", 8)); // 1.5
    expected.replace(r + 408, 8, std::string("\x00\x00\x00\x00\x00\x00\x02\xC0", 8)); // -2.25
    expected[r + 424] = 1;
    for (std::size_t i = 0; i < 9; ++i) {
        putLe32(expected, r + 428 + 4 * i, 0xC0000000u + static_cast<std::uint32_t>(i));
        expected[r + 464 + i] = static_cast<char>(1 + i % 5);
    }

    EXPECT_EQ(readBytes(path("settings.suap")), expected);
    EXPECT_TRUE(boxes_.records().empty());
}

TEST_F(SettingsBlockTest, FirstRunValuesWithoutSettingsFile)
{
    SettingsBlock block;
    EXPECT_FALSE(loadSettings(block, dir_));

    EXPECT_EQ(getText(block.filePrefix), "P");
    EXPECT_EQ(getText(block.measurementDir), dir_);
    EXPECT_EQ(getText(block.period), "00:00:10");
    EXPECT_EQ(getText(block.ipAddress), "192.168.1.100");
    EXPECT_EQ(getText(block.tcpPort), "3999");
    EXPECT_EQ(getText(block.comPort), "com1");
    EXPECT_EQ(getText(block.baudText), "4800");
    EXPECT_EQ(getText(block.workFolder), "");
    EXPECT_EQ(getText(block.deviceAddress), "");
    const std::uint8_t flags[] = {block.bottomLayout,  block.cycleMonthly,     block.cycleWeekly,
                                  block.cycleDaily,    block.cycleConstant,    block.appendDate,
                                  block.appendSeconds, block.timeFromComputer, block.autoAppend};
    const std::uint8_t expectedFlags[] = {1, 0, 0, 1, 0, 1, 1, 1, 1};
    EXPECT_EQ(0, std::memcmp(flags, expectedFlags, sizeof flags));
    EXPECT_EQ(block.maxMemoLines, 200);
    EXPECT_EQ(block.connectionMode, 1);
    EXPECT_EQ(block.windowCount, 0);
    EXPECT_EQ(block.mainHeight, 0);
    EXPECT_EQ(block.pageSize, 0);
    // Everything past the texts keeps its constructed bytes.
    EXPECT_EQ(imageOf(block).substr(1804), constructedImage().substr(1804));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path("settings.suap"))));
    EXPECT_TRUE(boxes_.records().empty());
}

TEST_F(SettingsBlockTest, SettingsFileThatIsAFolderCountsAsMissing)
{
    ASSERT_EQ(::mkdir(path("settings.suap").c_str(), 0755), 0);
    SettingsBlock block;
    EXPECT_FALSE(loadSettings(block, dir_));
    EXPECT_EQ(getText(block.filePrefix), "P");
}

// A FIFO or a device under the settings file's name is no settings file: the start
// neither waits for a writer nor reads a device, and goes on with the first-run values
// as without the file.
TEST_F(SettingsBlockTest, SettingsFileThatIsNoPlainFileCountsAsMissing)
{
    SettingsBlock firstRun;
    ASSERT_FALSE(loadSettings(firstRun, dir_));
    testsupport::PtyDevice terminal;
    const std::string file = path("settings.suap");
    const struct {
        const char* name;
        std::function<void()> make;
        std::function<void()> release; // ends a wait that has begun
    } cases[] = {
        {"fifo", [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }, [&] { testsupport::VisitFifo(file); }},
        {"terminal", [&] { ASSERT_EQ(::symlink(terminal.path().c_str(), file.c_str()), 0); },
         [&] { terminal.hangUp(); }},
        {"empty device", [&] { ASSERT_EQ(::symlink("/dev/null", file.c_str()), 0); }, [] {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(file.c_str());
        ASSERT_NO_FATAL_FAILURE(c.make());
        testsupport::WaitBreaker breaker(c.release);
        QElapsedTimer took;
        took.start();
        SettingsBlock block;
        EXPECT_FALSE(loadSettings(block, dir_));
        EXPECT_LT(took.elapsed(), 2000) << "the load waited";
        EXPECT_TRUE(imageOf(block) == imageOf(firstRun)) << "not the block of a start without the file";
        EXPECT_TRUE(boxes_.records().empty());
    }
}

TEST_F(SettingsBlockTest, EmptyFileCountsAsPresentAndChangesNothing)
{
    writeBytes(path("settings.suap"), "");
    SettingsBlock block;
    EXPECT_TRUE(loadSettings(block, dir_));
    EXPECT_EQ(imageOf(block), constructedImage());
    EXPECT_EQ(block.bottomLayout, 0);
    EXPECT_EQ(block.connectionMode, 0);
}

struct LoadCase {
    const char* name;
    std::size_t fileSize;
    // The block ends up holding the file's bytes [wholeFrom, wholeFrom + block) of the last
    // whole piece (none when npos) with its first bytes replaced by [partialFrom, end).
    std::size_t wholeFrom;
    std::size_t partialFrom;
};
// Names the case in test listings instead of dumping its bytes.
inline void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class SettingsLoadTest : public SettingsBlockTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(SettingsLoadTest, FileIsLaidOverTheBlockPieceByPiece)
{
    const LoadCase& c = GetParam();
    const std::string bytes = randomBytes(c.fileSize, 20240301);
    writeBytes(path("settings.suap"), bytes);

    std::string expected = c.wholeFrom == std::string::npos ? constructedImage() : bytes.substr(c.wholeFrom, blockSize);
    expected.replace(0, c.fileSize - c.partialFrom, bytes.substr(c.partialFrom));

    SettingsBlock block;
    EXPECT_TRUE(loadSettingsFile(block, path("settings.suap")));
    EXPECT_EQ(imageOf(block), expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SettingsLoadTest,
                         ::testing::Values(LoadCase{"empty", 0, std::string::npos, 0},
                                           LoadCase{"hundredBytes", 100, std::string::npos, 0},
                                           LoadCase{"oneBlock", blockSize, 0, blockSize},
                                           LoadCase{"twoBlocks", 2 * blockSize, blockSize, 2 * blockSize},
                                           // 1 MiB = 58 whole pieces and 5040 bytes.
                                           LoadCase{"oneMegabyte", 1048576, 57 * blockSize, 58 * blockSize}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsBlockTest, HundredByteFileLeavesTextsAndWindowsAsConstructed)
{
    writeBytes(path("settings.suap"), randomBytes(100, 7));
    SettingsBlock block;
    ASSERT_TRUE(loadSettings(block, dir_));
    EXPECT_EQ(getText(block.measurementDir), "");
    EXPECT_EQ(getText(block.period), "");
    for (const WindowRecord& w : block.windows) {
        EXPECT_EQ(w.height, 500);
        EXPECT_EQ(w.width, 500);
        EXPECT_EQ(w.left, 50);
        EXPECT_EQ(w.top, 200);
    }
}

TEST_F(SettingsBlockTest, StaleBytesBehindTextsRoundTripUnchanged)
{
    std::string bytes = randomBytes(blockSize, 99);
    bytes.replace(64, 12, std::string("P\0OLDPREFIX\0", 12));
    bytes.replace(1664, 25, std::string("00:00:05\0:00:10 garbage!", 25));
    writeBytes(path("settings.suap"), bytes);

    SettingsBlock block;
    ASSERT_TRUE(loadSettings(block, dir_));
    EXPECT_EQ(getText(block.filePrefix), "P");
    EXPECT_EQ(getText(block.period), "00:00:05");

    // The window reports what was loaded; the strip view keeps the stored height.
    SettingsWindowSide side;
    side.mainViewMode = 0;
    side.height = 93;
    side.width = block.mainWidth;
    side.left = block.mainLeft;
    side.top = block.mainTop;
    side.leftPanelWidth = block.leftPanelWidth;
    side.pageSize = block.pageSize;
    side.listPanelHeight = block.listPanelSize;
    side.dirListHeight = block.dirListHeight;
    side.deviceFamily = block.savedDeviceFamily;
    ASSERT_TRUE(saveSettings(block, side, dir_));
    EXPECT_EQ(readBytes(path("settings.suap")), bytes);

    // A shorter text copied in leaves the tail of the longer one behind its NUL.
    setText(block.filePrefix, "AB");
    ASSERT_TRUE(saveSettings(block, side, dir_));
    EXPECT_EQ(readBytes(path("settings.suap")).substr(64, 12), std::string("AB\0LDPREFIX\0", 12));
}

struct SideCase {
    const char* name;
    int viewMode;
    bool atBottom;
    std::int32_t mainHeight;
    std::int32_t leftPanelWidth;
    std::int32_t listPanelSize;
};
// Names the case in test listings instead of dumping its bytes.
inline void PrintTo(const SideCase& c, std::ostream* os) { *os << c.name; }

class SettingsSideTest : public SettingsBlockTest, public ::testing::WithParamInterface<SideCase> {};

TEST_P(SettingsSideTest, SaveTakesWhatTheViewShows)
{
    const SideCase& c = GetParam();
    SettingsBlock block;
    block.mainHeight = 600;
    block.leftPanelWidth = 185;
    SettingsWindowSide side;
    side.mainViewMode = c.viewMode;
    side.height = c.viewMode == 1 ? 700 : 93;
    side.width = 1000;
    side.left = 10;
    side.top = 20;
    side.leftPanelWidth = 250;
    side.pageSize = 5000;
    side.listPanelAtBottom = c.atBottom;
    side.listPanelHeight = 263;
    side.listPanelWidth = 400;
    side.dirListHeight = 176;
    side.deviceFamily = 1;
    ASSERT_TRUE(saveSettings(block, side, dir_));

    SettingsBlock loaded;
    ASSERT_TRUE(loadSettingsFile(loaded, path("settings.suap")));
    for (const SettingsBlock* b : {&block, &loaded}) {
        EXPECT_EQ(b->mainHeight, c.mainHeight);
        EXPECT_EQ(b->leftPanelWidth, c.leftPanelWidth);
        EXPECT_EQ(b->listPanelSize, c.listPanelSize);
        EXPECT_EQ(b->mainWidth, 1000);
        EXPECT_EQ(b->mainLeft, 10);
        EXPECT_EQ(b->mainTop, 20);
        EXPECT_EQ(b->pageSize, 5000);
        EXPECT_EQ(b->dirListHeight, 176);
        EXPECT_EQ(b->savedDeviceFamily, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Views, SettingsSideTest,
                         ::testing::Values(SideCase{"stripBottom", 0, true, 600, 250, 263},
                                           SideCase{"fullBottom", 1, true, 700, 185, 263},
                                           SideCase{"fullRight", 1, false, 700, 185, 400}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsBlockTest, SaveMakesTheStartFolderCurrent)
{
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    SettingsBlock block;
    ASSERT_TRUE(saveSettings(block, {}, dir_));
    EXPECT_EQ(QDir::currentPath(), temp_.path());
    EXPECT_EQ(readBytes(path("settings.suap")), imageOf(block));
    EXPECT_EQ(entries(temp_.path()), QStringList{"settings.suap"}) << "no temporary file stays behind";
    EXPECT_EQ(entries(elsewhere.path()), QStringList());
}

namespace {

long writesNothing(int, const void*, std::size_t) { return 0; }

} // namespace

struct FailCase {
    const char* name;
    void (*prepare)(const std::string& dir);
    SettingsWriteFn write;
    bool targetIsFolder = false;
};
// Names the case in test listings instead of dumping its bytes.
inline void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

class SettingsSaveFailTest : public SettingsBlockTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(SettingsSaveFailTest, OldFileAndBlockStayAndTheErrorIsShown)
{
    const FailCase& c = GetParam();
    const std::string old = randomBytes(blockSize, 5);
    writeBytes(path("settings.suap"), old);
    c.prepare(dir_);
    diskRoom = 1000;

    SettingsBlock block;
    block.windowCount = 4;
    const std::string before = imageOf(block);
    SettingsWindowSide side;
    side.width = 1234;
    EXPECT_FALSE(saveSettings(block, side, dir_, c.write));

    EXPECT_EQ(imageOf(block), before);
    struct stat st {};
    ASSERT_EQ(::stat(path("settings.suap").c_str(), &st), 0);
    if (c.targetIsFolder) {
        EXPECT_TRUE(S_ISDIR(st.st_mode));
    } else {
        EXPECT_EQ(readBytes(path("settings.suap")), old);
    }
    ASSERT_EQ(boxes_.records().size(), 1u);
    EXPECT_EQ(boxes_.records()[0].text, QStringLiteral("Save error "));
    EXPECT_EQ(boxes_.records()[0].title, QStringLiteral("Error"));
    EXPECT_EQ(boxes_.records()[0].flags, unsigned(platform::MB_OK));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, SettingsSaveFailTest,
    ::testing::Values(FailCase{"writeProtected",
                               [](const std::string& d) { ::chmod((d + "/settings.suap").c_str(), 0444); }, nullptr},
                      FailCase{"targetIsAFolder",
                               [](const std::string& d) {
                                   ::unlink((d + "/settings.suap").c_str());
                                   ::mkdir((d + "/settings.suap").c_str(), 0755);
                               },
                               nullptr, true},
                      FailCase{"diskFullMidway", [](const std::string&) {}, fullDiskWrite},
                      FailCase{"writeTakesNothing", [](const std::string&) {}, writesNothing}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsBlockTest, FailedWriteLeavesNoTemporaryFile)
{
    diskRoom = 1000;
    SettingsBlock block;
    EXPECT_FALSE(saveSettings(block, {}, dir_, fullDiskWrite));
    EXPECT_EQ(entries(temp_.path()), QStringList());
}

// A start folder the user cannot write still takes the file it holds, written in place;
// a file kept elsewhere through a symbolic link stays a link and its target is saved.
TEST_F(SettingsBlockTest, SavedWhereTheUserKeepsIt)
{
    SettingsBlock block;
    block.windowCount = 2;
    SettingsWindowSide side;
    side.width = 800;
    SettingsBlock expected = block;
    expected.mainWidth = 800;

    writeBytes(path("settings.suap"), randomBytes(blockSize, 3));
    ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
    const bool savedInProtectedFolder = saveSettings(block, side, dir_);
    ::chmod(dir_.c_str(), 0755);
    EXPECT_TRUE(savedInProtectedFolder);
    EXPECT_EQ(readBytes(path("settings.suap")), imageOf(expected));

    ASSERT_EQ(::mkdir(path("shared").c_str(), 0755), 0);
    ASSERT_EQ(::rename(path("settings.suap").c_str(), path("shared/settings.suap").c_str()), 0);
    ASSERT_EQ(::symlink("shared/settings.suap", path("settings.suap").c_str()), 0);
    side.width = 900;
    expected.mainWidth = 900;
    EXPECT_TRUE(saveSettings(block, side, dir_));
    struct stat st {};
    ASSERT_EQ(::lstat(path("settings.suap").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readBytes(path("shared/settings.suap")), imageOf(expected));
    EXPECT_EQ(entries(temp_.path()), (QStringList{"settings.suap", "shared"}));
    EXPECT_TRUE(boxes_.records().empty());
}

TEST_F(SettingsBlockTest, DeviceAddressIsCutToSevenAndNothingBeyondIsTouched)
{
    // The address is the block's last field, so a guard right behind the block shows an overrun.
    struct Guarded {
        SettingsBlock block;
        unsigned char guard[8];
    };
    static_assert(offsetof(Guarded, guard) == sizeof(SettingsBlock));
    Guarded g;
    std::memset(g.guard, 0xAA, sizeof g.guard);

    g.block.setDeviceAddress("12345678");
    EXPECT_EQ(getText(g.block.deviceAddress), "1234567");
    EXPECT_EQ(g.block.deviceAddress[7], '\0');
    for (unsigned char b : g.guard)
        EXPECT_EQ(b, 0xAA);

    g.block.setDeviceAddress("#5");
    EXPECT_EQ(std::string(g.block.deviceAddress, 8), std::string("#5\0"
                                                                 "4567\0",
                                                                 8));
}

TEST_F(SettingsBlockTest, FoldersThatDoNotFitAreRefused)
{
    SettingsBlock block;
    ASSERT_TRUE(block.setMeasurementDir("/old"));
    ASSERT_TRUE(block.setWorkFolder("/old"));

    struct Case {
        bool (SettingsBlock::*set)(std::string_view);
        std::size_t width;
        const char* field;
    };
    const Case cases[] = {{&SettingsBlock::setMeasurementDir, 800, block.measurementDir},
                          {&SettingsBlock::setWorkFolder, 808, block.workFolder}};
    for (const Case& c : cases) {
        const std::string before(c.field, c.width);
        EXPECT_FALSE((block.*c.set)(std::string(c.width, 'd')));
        EXPECT_EQ(std::string(c.field, c.width), before);
        const std::string longest(c.width - 1, 'e');
        EXPECT_TRUE((block.*c.set)(longest));
        EXPECT_EQ(std::string(c.field, c.width), longest + '\0');
    }
}

TEST_F(SettingsBlockTest, FirstRunLeavesAStartFolderTooLongForItsFieldOut)
{
    SettingsBlock block;
    block.applyFirstRunValues(std::string(800, 's'));
    EXPECT_EQ(getText(block.measurementDir), "");
    EXPECT_EQ(getText(block.filePrefix), "P");
}

TEST_F(SettingsBlockTest, TextWithoutNulIsReadWithinItsField)
{
    SettingsBlock block;
    setText(block.ipAddress, "10.1.1.1");
    std::memset(block.period, 'x', sizeof block.period);
    EXPECT_EQ(getText(block.period), std::string(25, 'x'));
    EXPECT_FALSE(setText(block.tcpPort, std::string(30, '9')));
    EXPECT_EQ(getText(block.tcpPort), std::string(24, '9'));
    EXPECT_EQ(getText(block.comPort), "");
}

TEST_F(SettingsBlockTest, WindowCountIsClampedWithoutChangingTheStoredBytes)
{
    const struct {
        std::int32_t stored;
        int clamped;
    } cases[] = {{INT_MIN, 0}, {-1, 0}, {0, 0}, {3, 3}, {8, 8}, {9, 8}, {32, 8}, {INT_MAX, 8}};
    for (const auto& c : cases) {
        SettingsBlock block;
        block.windowCount = c.stored;
        const std::string before = imageOf(block);
        EXPECT_EQ(block.windowCountClamped(), c.clamped) << c.stored;
        EXPECT_EQ(imageOf(block), before);
    }
}
