// The spreadsheet copy of a data file, byte for byte: the first line, blank runs, dots,
// TABs and line ends; the same copy whatever pieces the file is read in; and the file
// written so that an unreadable data file or a failed write keeps an earlier copy.

#include "acquisition/SpreadsheetCopy.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FullDisk.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/TempDirTest.h"
#include "tests/support/WaitBreaker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using acquisition::CopyResult;

namespace {

const std::string header = "&Plik:\t/dane/a.dan\n";

struct Case {
    const char* what;
    std::string data;
    std::string copy; // after the first line
};

const Case cases[] = {
    {"the example data line", "2022-03-01  12:00:05   21.46  -3.2 .5", "2022-03-01\t12:00:05\t21,46\t-3,2\t.5"},
    {"a line that starts with a dot", ".5 1\n", ",5\t1\n"},
    {"CR LF becomes LF", "1.5  2.25\r\n", "1,5\t2,25\n"},
    {"a blank run at the very end", "1.5   ", "1,5\t"},
    {"a blank before a line end", "1 \r\n2 \n3", "1\t\n2\t\n3"},
    {"a dot after blanks stays, after a letter it goes", "x .5 x.5", "x\t.5\tx,5"},
    {"a TAB is no blank", "1\t.5\t 2", "1\t,5\t\t2"},
    {"the line end after blanks is copied, the dot after it changes", "a \r\n.5", "a\t\n,5"},
    {"a lone CR stays", "1\r2\r", "1\r2\r"},
    {"CR CR LF keeps the first CR", "1\r\r\n2", "1\r\n2"},
    {"8-bit letters are copied",
     "pr\xb9"
     "d 1.0",
     "pr\xb9"
     "d\t1,0"},
    {"an empty file gives the first line only", "", ""},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

class SpreadsheetCopyCases : public ::testing::TestWithParam<Case> {};

} // namespace

TEST_P(SpreadsheetCopyCases, CopyIsByteForByte)
{
    const Case& c = GetParam();
    acquisition::SpreadsheetCopy copy("/dane/a.dan");
    copy.add(c.data);
    EXPECT_EQ(copy.finish(), header + c.copy);
}

TEST_P(SpreadsheetCopyCases, PiecesOfAnySizeGiveTheSameCopy)
{
    const Case& c = GetParam();
    for (std::size_t cut = 0; cut <= c.data.size(); ++cut) {
        acquisition::SpreadsheetCopy copy("/dane/a.dan");
        copy.add(std::string_view(c.data).substr(0, cut));
        copy.add(std::string_view(c.data).substr(cut));
        EXPECT_EQ(copy.finish(), header + c.copy) << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(Rules, SpreadsheetCopyCases, ::testing::ValuesIn(cases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(SpreadsheetCopy, NameAndWhichFilesAreCopied)
{
    EXPECT_EQ(acquisition::spreadsheetCopyName("/dane/P20220301.dan"), "P20220301.dan.txt");
    EXPECT_EQ(acquisition::spreadsheetCopyName("a b.dan"), "a b.dan.txt");
    struct {
        const char* path;
        bool copied;
    } kinds[] = {
        {"/dane/a.dan", true},      {"/dane/a.DAN", false}, {"/dane/a.Dan", false}, {"/dane/a.txt", false},
        {"/dane/a.dan.txt", false}, {"/dane.dan/a", false}, {"/dane/dan", false},   {"/dane/.dan", true},
    };
    for (const auto& k : kinds)
        EXPECT_EQ(acquisition::needsSpreadsheetCopy(k.path), k.copied) << k.path;
}

namespace {

class SpreadsheetCopyFile : public testsupport::TempDirTest {
protected:
    std::string path(const char* name) const { return (tempPath() + "/" + name).toStdString(); }
    std::string data = path("a b.dan");
    std::string copy = path("a b.dan.txt");
    const std::string earlier = "&Plik:\tearlier copy\n1\t2\n";
};

} // namespace

TEST_F(SpreadsheetCopyFile, ASecondExportOverwritesTheFirst)
{
    testsupport::writeBytes(data, "1.5  2.25\r\n3.5  4.25\r\n");
    ASSERT_EQ(acquisition::writeSpreadsheetCopy(data, "/x/a b.dan", copy), CopyResult::written);
    EXPECT_EQ(testsupport::readBytes(copy), "&Plik:\t/x/a b.dan\n1,5\t2,25\n3,5\t4,25\n");
    testsupport::writeBytes(data, "7.5\r\n");
    ASSERT_EQ(acquisition::writeSpreadsheetCopy(data, "/x/a b.dan", copy), CopyResult::written);
    EXPECT_EQ(testsupport::readBytes(copy), "&Plik:\t/x/a b.dan\n7,5\n");
    EXPECT_EQ(QDir(tempPath()).entryList(QDir::Files).size(), 2) << "no temporary file is left";
}

TEST_F(SpreadsheetCopyFile, AnUnreadableDataFileLeavesAnEarlierCopyAndMakesNone)
{
    std::string error;
    EXPECT_EQ(acquisition::writeSpreadsheetCopy(data, "/x/a b.dan", copy, nullptr, &error),
              CopyResult::dataFileUnreadable);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(copy))) << "no empty copy";

    testsupport::writeBytes(copy, earlier);
    EXPECT_EQ(acquisition::writeSpreadsheetCopy(data, "/x/a b.dan", copy), CopyResult::dataFileUnreadable);
    EXPECT_EQ(testsupport::readBytes(copy), earlier);
    // A folder cannot be read as a data file either.
    ASSERT_TRUE(QDir(tempPath()).mkdir("d.dan"));
    EXPECT_EQ(acquisition::writeSpreadsheetCopy(path("d.dan"), "d.dan", copy), CopyResult::dataFileUnreadable);
    EXPECT_EQ(testsupport::readBytes(copy), earlier);
}

// A FIFO or a device under a data file's name is refused at once: the copy neither waits
// for a writer nor reads a device for good, and writes nothing, whether or not there
// was an earlier copy.
TEST_F(SpreadsheetCopyFile, ADataFileThatIsNoPlainFileIsRefusedAtOnce)
{
    testsupport::PtyDevice terminal;
    const struct {
        const char* name;
        std::function<void()> make;
        std::function<void()> release; // ends a wait that has begun
    } cases[] = {
        {"fifo", [&] { ASSERT_EQ(::mkfifo(data.c_str(), 0600), 0); }, [&] { testsupport::VisitFifo(data); }},
        {"terminal", [&] { ASSERT_EQ(::symlink(terminal.path().c_str(), data.c_str()), 0); },
         [&] { terminal.hangUp(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(data.c_str());
        ASSERT_NO_FATAL_FAILURE(c.make());
        for (const bool hadCopy : {false, true}) {
            SCOPED_TRACE(hadCopy ? "earlier copy" : "no copy yet");
            ::unlink(copy.c_str());
            if (hadCopy)
                testsupport::writeBytes(copy, earlier);
            testsupport::WaitBreaker breaker(c.release);
            QElapsedTimer took;
            took.start();
            std::string error;
            EXPECT_EQ(acquisition::writeSpreadsheetCopy(data, "/x/a b.dan", copy, nullptr, &error),
                      CopyResult::dataFileUnreadable);
            EXPECT_LT(took.elapsed(), 2000) << "the copy waited";
            EXPECT_FALSE(error.empty());
            if (hadCopy) {
                EXPECT_EQ(testsupport::readBytes(copy), earlier);
            } else {
                EXPECT_FALSE(QFile::exists(QString::fromStdString(copy))) << "no copy is written";
            }
            QStringList names{QStringLiteral("a b.dan")};
            if (hadCopy)
                names << QStringLiteral("a b.dan.txt");
            EXPECT_EQ(QDir(tempPath())
                          .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
                      names)
                << "no temporary file";
        }
    }
}

TEST_F(SpreadsheetCopyFile, AFailedWriteKeepsTheEarlierCopyWhole)
{
    testsupport::writeBytes(data, std::string(100000, '1') + "\r\n");
    testsupport::writeBytes(copy, earlier);
    for (const long room : {0L, 10L, 50000L}) {
        testsupport::diskRoom = room;
        std::string error;
        EXPECT_EQ(acquisition::writeSpreadsheetCopy(data, "a b.dan", copy, testsupport::fullDiskWrite, &error),
                  CopyResult::copyUnwritable)
            << room;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(testsupport::readBytes(copy), earlier) << room;
    }
    EXPECT_EQ(QDir(tempPath()).entryList(QDir::Files).size(), 2) << "no temporary file is left";
    // A folder in the copy's place cannot be replaced.
    ASSERT_TRUE(QDir(tempPath()).mkdir("b.dan.txt"));
    EXPECT_EQ(acquisition::writeSpreadsheetCopy(data, "a b.dan", path("b.dan.txt")), CopyResult::copyUnwritable);
}
