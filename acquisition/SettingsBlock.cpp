#include "acquisition/SettingsBlock.h"

#include "platform/files/SafeFile.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/MessageBox.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace acquisition {

#define HOLDS(type, field, offset) static_assert(offsetof(type, field) == (offset), #field)

HOLDS(WindowRecord, state, 0);
HOLDS(WindowRecord, remarks, 1);
HOLDS(WindowRecord, height, 124);
HOLDS(WindowRecord, width, 128);
HOLDS(WindowRecord, left, 132);
HOLDS(WindowRecord, top, 136);
HOLDS(WindowRecord, reserved140, 140);
HOLDS(WindowRecord, measurementName, 284);
HOLDS(WindowRecord, splitterPos, 368);
HOLDS(WindowRecord, reserved372, 372);
HOLDS(WindowRecord, startTime, 400);
HOLDS(WindowRecord, endTime, 408);
HOLDS(WindowRecord, reserved416, 416);
HOLDS(WindowRecord, newSample, 424);
HOLDS(WindowRecord, reserved425, 425);
HOLDS(WindowRecord, seriesColours, 428);
HOLDS(WindowRecord, penWidths, 464);
HOLDS(WindowRecord, reserved473, 473);
static_assert(sizeof(WindowRecord::seriesColours) == 36 && sizeof(WindowRecord::penWidths) == 9);

HOLDS(SettingsBlock, reserved0, 0);
HOLDS(SettingsBlock, mainWidth, 4);
HOLDS(SettingsBlock, mainHeight, 8);
HOLDS(SettingsBlock, mainLeft, 12);
HOLDS(SettingsBlock, mainTop, 16);
HOLDS(SettingsBlock, leftPanelWidth, 20);
HOLDS(SettingsBlock, listPanelSize, 24);
HOLDS(SettingsBlock, dirListHeight, 28);
HOLDS(SettingsBlock, maxMemoLines, 32);
HOLDS(SettingsBlock, bottomLayout, 36);
HOLDS(SettingsBlock, cycleMonthly, 37);
HOLDS(SettingsBlock, cycleWeekly, 38);
HOLDS(SettingsBlock, cycleDaily, 39);
HOLDS(SettingsBlock, cycleConstant, 40);
HOLDS(SettingsBlock, appendDate, 41);
HOLDS(SettingsBlock, appendSeconds, 42);
HOLDS(SettingsBlock, timeFromComputer, 43);
HOLDS(SettingsBlock, autoAppend, 44);
HOLDS(SettingsBlock, reserved45, 45);
HOLDS(SettingsBlock, filePrefix, 64);
HOLDS(SettingsBlock, measurementDir, 864);
HOLDS(SettingsBlock, period, 1664);
HOLDS(SettingsBlock, ipAddress, 1689);
HOLDS(SettingsBlock, tcpPort, 1714);
HOLDS(SettingsBlock, comPort, 1739);
HOLDS(SettingsBlock, baudText, 1764);
HOLDS(SettingsBlock, reserved1789, 1789);
HOLDS(SettingsBlock, savedDeviceFamily, 1792);
HOLDS(SettingsBlock, connectionMode, 1796);
HOLDS(SettingsBlock, pageSize, 1800);
HOLDS(SettingsBlock, reserved1804, 1804);
HOLDS(SettingsBlock, windowCount, 1812);
HOLDS(SettingsBlock, workFolder, 1816);
HOLDS(SettingsBlock, windows, 2624);
HOLDS(SettingsBlock, deviceAddress, 17984);
static_assert(sizeof(SettingsBlock::windows) == 15360);
static_assert(sizeof(SettingsBlock::deviceAddress) == 8);

#undef HOLDS

void SettingsBlock::applyFirstRunValues(const std::string& startDir)
{
    setText(filePrefix, "P");
    setTextWhole(measurementDir, startDir);
    setText(period, "00:00:10");
    cycleMonthly = 0;
    cycleWeekly = 0;
    cycleDaily = 1;
    cycleConstant = 0;
    autoAppend = 1;
    timeFromComputer = 1;
    appendDate = 1;
    appendSeconds = 1;
    maxMemoLines = 200;
    setText(ipAddress, "192.168.1.100");
    setText(tcpPort, "3999");
    setText(comPort, "com1");
    setText(baudText, "4800");
    connectionMode = 1;
    bottomLayout = 1;
}

int SettingsBlock::windowCountClamped() const { return std::clamp<std::int32_t>(windowCount, 0, maxWindows); }

namespace {

// The main window keeps its folders as 8-bit text; the file system wants its own names.
std::string localFileName(const std::string& text8)
{
    return QFile::encodeName(platform::cp1250ToUnicode(text8)).toStdString();
}

std::string joinPath(const std::string& dir, const char* name)
{
    if (dir.empty())
        return name;
    if (dir.back() == '/')
        return dir + name;
    return dir + '/' + name;
}

} // namespace

bool loadSettingsFile(SettingsBlock& block, const std::string& path)
{
    // A name that is no plain file counts as no file: a FIFO would hold the start until
    // some writer came, and a device might never end.
    const int fd = platform::OpenForReading(path);
    if (fd < 0)
        return false;
    auto* bytes = reinterpret_cast<unsigned char*>(&block);
    for (;;) {
        std::size_t got = 0;
        while (got < sizeof block) {
            const ssize_t n = ::read(fd, bytes + got, sizeof block - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        if (got < sizeof block)
            break;
    }
    ::close(fd);
    return true;
}

bool loadSettings(SettingsBlock& block, const std::string& startDir)
{
    if (loadSettingsFile(block, joinPath(localFileName(startDir), settingsFileName)))
        return true;
    block.applyFirstRunValues(startDir);
    return false;
}

bool saveSettings(SettingsBlock& block, const SettingsWindowSide& side, const std::string& startDir,
                  SettingsWriteFn write)
{
    SettingsBlock next = block;
    if (side.mainViewMode == 1)
        next.mainHeight = side.height;
    if (side.mainViewMode == 0)
        next.leftPanelWidth = side.leftPanelWidth;
    next.mainWidth = side.width;
    next.mainTop = side.top;
    next.mainLeft = side.left;
    next.pageSize = side.pageSize;
    next.listPanelSize = side.listPanelAtBottom ? side.listPanelHeight : side.listPanelWidth;
    next.dirListHeight = side.dirListHeight;
    next.savedDeviceFamily = side.deviceFamily;

    // The callers write their next files by relative name into the start folder. The
    // settings file itself is addressed by its full path, so a failed change cannot move it.
    const std::string dir = localFileName(startDir);
    [[maybe_unused]] const int changed = dir.empty() ? 0 : ::chdir(dir.c_str());
    if (!platform::ReplaceFile(joinPath(dir, settingsFileName), &next, sizeof next, write)) {
        platform::MessageBox(QStringLiteral("Save error "), QStringLiteral("Error"), platform::MB_OK);
        return false;
    }
    block = next;
    return true;
}

} // namespace acquisition
