#pragma once
// The settings block: every setting of the main program that outlives a run, in one
// fixed-layout record that is stored byte for byte as "settings.suap" (no header, no
// version, no checksum). Other windows read and write its fields directly, so the
// layout below is the file format; the static_asserts in SettingsBlock.cpp hold it.
//
// Texts are 8-bit (code page 1250) and NUL-terminated inside their arrays. A shorter
// text leaves the bytes of a longer earlier one behind its NUL; they are kept and saved
// back as they are, so a file round-trips unchanged.

#include "platform/files/SafeFile.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

namespace acquisition {

static_assert(std::endian::native == std::endian::little,
              "the settings file is the little-endian memory image of the block");

// Copies text into a fixed text field, cutting it to N - 1 bytes, and NUL-terminates.
// Bytes behind the new NUL stay as they were. True when the whole text fitted.
template <std::size_t N>
bool setText(char (&field)[N], std::string_view text)
{
    static_assert(N > 0);
    const std::size_t end = text.find('\0');
    if (end != std::string_view::npos)
        text = text.substr(0, end);
    const std::size_t n = text.size() < N ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
    return n == text.size();
}

// Like setText, but a text that does not fit is refused: the field keeps its bytes.
template <std::size_t N>
bool setTextWhole(char (&field)[N], std::string_view text)
{
    const std::size_t end = text.find('\0');
    if (end != std::string_view::npos)
        text = text.substr(0, end);
    if (text.size() >= N)
        return false;
    return setText(field, text);
}

// The text of a field up to its NUL; a field without NUL gives all N bytes.
template <std::size_t N>
std::string getText(const char (&field)[N])
{
    const void* nul = std::memchr(field, '\0', N);
    const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : N;
    return std::string(field, n);
}

// One measurement window's slot (480 bytes). Slots 0 to 7 belong to windows that can
// exist; slots 0 to 8 receive the new-sample flag; the rest are carried along.
struct WindowRecord {
    std::uint8_t state = 0; // 0 open, bit of value 4 = closed (hidden)
    char remarks[123] = {};
    std::int32_t height = 500;
    std::int32_t width = 500;
    std::int32_t left = 50;
    std::int32_t top = 200;
    std::uint8_t reserved140[144] = {};
    char measurementName[84] = {}; // last run's data file name without ".dan"
    std::int32_t splitterPos = 0;
    std::uint8_t reserved372[28] = {};
    double startTime = 0.0; // days since 30 December 1899
    double endTime = 0.0;
    std::uint8_t reserved416[8] = {}; // a date-time nobody uses; 0.0 is zero bytes
    std::uint8_t newSample = 0;
    std::uint8_t reserved425[3] = {};
    std::int32_t seriesColours[9] = {}; // colour values (vcl::TColor)
    std::uint8_t penWidths[9] = {};
    std::uint8_t reserved473[7] = {};
};

struct SettingsBlock {
    static constexpr int maxWindows = 8;
    static constexpr int windowSlots = 32;

    std::uint8_t reserved0[4] = {};
    std::int32_t mainWidth = 0;
    std::int32_t mainHeight = 0; // height in the full view
    std::int32_t mainLeft = 0;
    std::int32_t mainTop = 0;
    std::int32_t leftPanelWidth = 0;
    std::int32_t listPanelSize = 0; // height at the bottom, width at the right
    std::int32_t dirListHeight = 0;
    std::int32_t maxMemoLines = 0;
    std::uint8_t bottomLayout = 0;
    std::uint8_t cycleMonthly = 0;
    std::uint8_t cycleWeekly = 0;
    std::uint8_t cycleDaily = 0;
    std::uint8_t cycleConstant = 0;
    std::uint8_t appendDate = 0;
    std::uint8_t appendSeconds = 0;
    std::uint8_t timeFromComputer = 0;
    std::uint8_t autoAppend = 0;
    std::uint8_t reserved45[19] = {};
    char filePrefix[800] = {};
    char measurementDir[800] = {};
    char period[25] = {}; // "hh:mm:ss"
    char ipAddress[25] = {};
    char tcpPort[25] = {};
    char comPort[25] = {};
    char baudText[25] = {};
    std::uint8_t reserved1789[3] = {};
    std::int32_t savedDeviceFamily = 0;
    std::int32_t connectionMode = 0; // 0 serial, 1 TCP client, 2 TCP server
    std::int32_t pageSize = 0;
    std::uint8_t reserved1804[8] = {};
    std::int32_t windowCount = 0;
    char workFolder[808] = {};
    WindowRecord windows[windowSlots];
    char deviceAddress[8] = {};

    // The first-run values, set in memory when no settings file could be read.
    // startDir is 8-bit text; a start folder too long for its field leaves it empty.
    void applyFirstRunValues(const std::string& startDir);

    // The window count limited to the windows that can exist; the stored bytes stay.
    int windowCountClamped() const;

    // The device address is cut to its 7 characters. The folders and the file prefix
    // refuse a text that does not fit (false, field unchanged) so the caller can say so.
    void setDeviceAddress(std::string_view text) { setText(deviceAddress, text); }
    bool setMeasurementDir(std::string_view text) { return setTextWhole(measurementDir, text); }
    bool setWorkFolder(std::string_view text) { return setTextWhole(workFolder, text); }
    bool setFilePrefix(std::string_view text) { return setTextWhole(filePrefix, text); }
};

static_assert(std::is_standard_layout_v<WindowRecord>);
static_assert(std::is_trivially_copyable_v<WindowRecord>);
static_assert(std::is_standard_layout_v<SettingsBlock>);
static_assert(std::is_trivially_copyable_v<SettingsBlock>);
static_assert(sizeof(WindowRecord) == 480);
static_assert(sizeof(SettingsBlock) == 17992);

// The settings file's name inside the start folder.
inline constexpr const char* settingsFileName = "settings.suap";

// Reads a settings file over the block: a short file of n bytes replaces the first n
// bytes, an empty one changes nothing, a longer one is read in consecutive pieces of
// the block's size, each laid over the block from its start. Returns whether the file
// opened (an empty file counts as present; a folder, a FIFO or a device as missing). The
// path is in the file system's encoding.
bool loadSettingsFile(SettingsBlock& block, const std::string& path);

// The main window's start: reads "settings.suap" from the start folder, or sets the
// first-run values when it cannot be opened. Returns whether the file was read, which
// is the opposite of the main window's automatic window placement. startDir is 8-bit.
bool loadSettings(SettingsBlock& block, const std::string& startDir);

// What the save reads from the main window at the moment of saving.
struct SettingsWindowSide {
    int mainViewMode = 0; // 1 full view, 0 the 93-pixel strip
    int height = 0;
    int width = 0;
    int left = 0;
    int top = 0;
    int leftPanelWidth = 0;        // Panel1
    int pageSize = 0;              // UpDown1's position
    bool listPanelAtBottom = true; // Panel4's alignment
    int listPanelHeight = 0;
    int listPanelWidth = 0;
    int dirListHeight = 0; // DirectoryListBox1
    int deviceFamily = 0;
};

// Writes the file's bytes; a stand-in for write(2) so tests can fail it like a full disk.
using SettingsWriteFn = platform::WriteFn;

// Stores the main window's geometry into the block, makes the start folder current and
// writes "settings.suap" there through a temporary file that replaces the old one only
// once it is complete on disk. On any failure the box "Save error " / "Error" is shown,
// the old file stays as it was and so does the block. Returns whether it was saved.
bool saveSettings(SettingsBlock& block, const SettingsWindowSide& side, const std::string& startDir,
                  SettingsWriteFn write = nullptr);

} // namespace acquisition
