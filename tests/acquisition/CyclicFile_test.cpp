// The cyclic data file: names per cycle, the time stamp and the line of a reading, and
// appending with a header to a new file, compared as bytes on disk, also when the disk
// fails in the middle of a line.

#include "acquisition/CyclicFile.h"

#include "tests/support/FileBytes.h"
#include "tests/support/TempDirTest.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using acquisition::ArchiveCycle;
using testsupport::readBytes;
using testsupport::writeBytes;

namespace {

rtl::TDateTime at(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return rtl::EncodeDate(y, mo, d) + rtl::EncodeTime(h, mi, s, ms);
}

Linia1MG parsed(std::string_view line)
{
    Linia1MG m;
    m.Zeruj();
    m.CzytajLinie(line);
    return m;
}

} // namespace

TEST(CyclicFileName, EachCycleNamesItsPeriod)
{
    struct Case {
        std::string prefix;
        ArchiveCycle cycle;
        rtl::TDateTime now;
        std::string name;
    } cases[] = {
        {"P", ArchiveCycle::Daily, at(2024, 3, 5, 14, 7, 11), "P20240305.dan"},
        {"P", ArchiveCycle::Monthly, at(2024, 3, 5, 14, 7, 11), "P202403.dan"},
        {"P", ArchiveCycle::Constant, at(2024, 3, 5, 14, 7, 11), "P.dan"},
        {"P", ArchiveCycle::Weekly, at(2024, 3, 5, 14, 7, 11), ""},
        {"P", ArchiveCycle::None, at(2024, 3, 5, 14, 7, 11), ""},
        // The last millisecond of a day is still that day; of a year, still that year.
        {"P", ArchiveCycle::Daily, at(2024, 12, 31, 23, 59, 59, 999), "P20241231.dan"},
        {"P", ArchiveCycle::Monthly, at(2025, 1, 1, 0, 0, 0), "P202501.dan"},
        {"dane/Pomiar\xB9", ArchiveCycle::Daily, at(2024, 3, 5, 0, 0, 0),
         "dane/Pomiar\xB9"
         "20240305.dan"},
        {"", ArchiveCycle::Constant, at(2024, 3, 5, 0, 0, 0), ".dan"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(acquisition::cyclicFileName(c.prefix, c.cycle, c.now), c.name) << c.prefix << ' ' << int(c.cycle);
}

TEST(CyclicFileLine, ComputerStampDeviceTimeAndHeader)
{
    // The device replied 14:07:09; the computer's clock shows 14:07:11.
    const std::string reply = "2024-03-05 14:07:09 21.4 22.0 -.- 3.61";
    const rtl::TDateTime now = at(2024, 3, 5, 14, 7, 11);
    struct Case {
        std::string line;
        acquisition::TimeStampOptions options;
        std::string label;
        std::string text;
    } cases[] = {
        {reply, {true, true, true}, "2024-03-05  14:07:11", "2024-03-05  14:07:11  21.4 22.0 -.- 3.61"},
        {reply, {true, true, false}, "2024-03-05  14:07", "2024-03-05  14:07  21.4 22.0 -.- 3.61"},
        {reply, {true, false, true}, "  14:07:11", "  14:07:11  21.4 22.0 -.- 3.61"},
        {reply, {false, true, true}, "", reply},
        // No time token: the stamp and two blanks, nothing else.
        {"2024-03-05 1 2 3", {true, true, true}, "2024-03-05  14:07:11", "2024-03-05  14:07:11  "},
        {"DataTime  k1 k2 k3", {true, true, true}, "", ""},
        {"DataTime  k1 k2 k3", {false, true, true}, "", ""},
    };
    for (const Case& c : cases) {
        const auto r = acquisition::stampReading(parsed(c.line), c.line, c.options, now);
        EXPECT_EQ(r.timeLabel, c.label) << c.line;
        EXPECT_EQ(r.text, c.text) << c.line;
    }
}

class CyclicFileAppend : public testsupport::TempDirTest {
protected:
    std::string path(const char* name) const { return QDir(tempPath()).filePath(name).toStdString(); }
};

TEST_F(CyclicFileAppend, NewFileGetsTheHeaderAndLaterLinesOnlyThemselves)
{
    const std::string file = path("P20240305.dan");
    auto r = acquisition::appendCyclicLine(file, "DataTime  k1 k2", "2024-03-05  14:07:11  1 2");
    EXPECT_TRUE(r.written);
    EXPECT_TRUE(r.created);
    r = acquisition::appendCyclicLine(file, "DataTime  k1 k2", "");
    EXPECT_TRUE(r.written);
    EXPECT_FALSE(r.created);
    r = acquisition::appendCyclicLine(file, "DataTime  k1 k2", "a\nb \xB9");
    EXPECT_TRUE(r.written);
    EXPECT_EQ(readBytes(file), "DataTime  k1 k2\r\n2024-03-05  14:07:11  1 2\r\n\r\na\r\nb \xB9\r\n");
}

TEST_F(CyclicFileAppend, AFailingDiskLeavesNoPartOfALine)
{
    static int budget = 0;
    // A disk that takes `budget` more bytes and then is full.
    const platform::WriteFn fullDisk = [](int fd, const void* data, std::size_t size) -> long {
        if (budget <= 0) {
            errno = ENOSPC;
            return -1;
        }
        const long n = static_cast<long>(::write(fd, data, std::min<std::size_t>(size, std::size_t(budget))));
        budget -= static_cast<int>(n);
        return n;
    };

    const std::string fresh = path("P202403.dan");
    budget = 20;
    auto r = acquisition::appendCyclicLine(fresh, "DataTime  k1 k2", "  14:07:11  1 2", fullDisk);
    EXPECT_FALSE(r.written);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(fresh))) << "a new file without its line is removed";

    const std::string old = path("P.dan");
    writeBytes(old, "DataTime  k1\r\n  14:07:01  1\r\n");
    budget = 5;
    r = acquisition::appendCyclicLine(old, "DataTime  k1", "  14:07:11  2", fullDisk);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(readBytes(old), "DataTime  k1\r\n  14:07:01  1\r\n");

    // The next reading, with room again, starts the new file with its header.
    r = acquisition::appendCyclicLine(fresh, "DataTime  k1 k2", "  14:07:21  3 4");
    EXPECT_TRUE(r.written && r.created);
    EXPECT_EQ(readBytes(fresh), "DataTime  k1 k2\r\n  14:07:21  3 4\r\n");
}

TEST_F(CyclicFileAppend, WhatCannotBeOpenedIsReportedAndUntouched)
{
    ASSERT_TRUE(QDir(tempPath()).mkdir("P20240305.dan"));
    EXPECT_FALSE(acquisition::appendCyclicLine(path("P20240305.dan"), "DataTime ", "x").written);
    EXPECT_FALSE(acquisition::appendCyclicLine(path("missing/P.dan"), "DataTime ", "x").written);
    ASSERT_EQ(::mkfifo(path("pipe.dan").c_str(), 0600), 0);
    EXPECT_FALSE(acquisition::appendCyclicLine(path("pipe.dan"), "DataTime ", "x").written) << "and does not hang";
    // A write-protected data file stays as it is, also for root.
    const std::string kept = "DataTime  k1\r\n  14:07:11  1\r\n";
    testsupport::writeBytes(path("P.dan"), kept);
    ASSERT_EQ(::chmod(path("P.dan").c_str(), 0444), 0);
    EXPECT_FALSE(acquisition::appendCyclicLine(path("P.dan"), "DataTime  k1", "  14:07:21  2").written);
    EXPECT_EQ(readBytes(path("P.dan")), kept);
}

TEST_F(CyclicFileAppend, ALinkStaysALink)
{
    const std::string target = path("target.dan");
    const std::string link = path("P.dan");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    // A dangling link: its target is created, with the header.
    auto r = acquisition::appendCyclicLine(link, "DataTime  k1", "  14:07:11  1");
    EXPECT_TRUE(r.written && r.created);
    r = acquisition::appendCyclicLine(link, "DataTime  k1", "  14:07:21  2");
    EXPECT_TRUE(r.written && !r.created);
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readBytes(target), "DataTime  k1\r\n  14:07:11  1\r\n  14:07:21  2\r\n");
}
