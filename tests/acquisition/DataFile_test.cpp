#include "acquisition/DataFile.h"

#include "platform/text/Convert.h"
#include "platform/vcl/MessageBox.h"

#include "tests/support/FileBytes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <random>
#include <unistd.h>

using acquisition::plikPomiar;
using acquisition::WlasciwosciPliku;

namespace {

using testsupport::readBytes;
using testsupport::writeBytes;

// Joins lines, each ended by CR LF as the devices write them.
std::string crlf(std::initializer_list<std::string> lines)
{
    std::string s;
    for (const std::string& l : lines)
        s += l + "\r\n";
    return s;
}

const std::string header =
    crlf({"VeskSystem measurement file", "Channels 3", "***End_of_Header***", "yyyy-mm-dd hh:mm:ss.nnn k1 k2 k3"});
const std::string dataLine = "2024-03-01 12:00:00 21.5 22.0 19.8";

std::string dataLines(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += dataLine + "\r\n";
    return s;
}

// What the step must leave alone.
void markBrowserFields(plikPomiar& d)
{
    d.pageStart = 11;
    d.pageLines = 1001;
    d.pageEnd = 33;
}

void expectBrowserFields(const plikPomiar& d)
{
    EXPECT_EQ(d.pageStart, 11);
    EXPECT_EQ(d.pageLines, 1001);
    EXPECT_EQ(d.pageEnd, 33);
}

// Fields of an earlier file that every step must clear first.
void fillWithStale(plikPomiar& d)
{
    d.fileSize = 999;
    d.headerEnd = 999;
    d.trailerStart = 999;
    d.dataStart = 999;
    d.recordCount = 999;
    d.lineLen = 999;
    d.headerChannels = 999;
    d.propertiesText = "stale";
    d.trailerText = "stale";
    d.columnLine = "stale";
}

std::size_t openDescriptors()
{
    return static_cast<std::size_t>(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.isValid());
        previousDir_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(temp_.path()));
        dir_ = temp_.path().toStdString();
    }
    void TearDown() override { QDir::setCurrent(previousDir_); }

    plikPomiar examine(const std::string& bytes)
    {
        const std::string path = dir_ + "/file.dan";
        writeBytes(path, bytes);
        plikPomiar d;
        fillWithStale(d);
        markBrowserFields(d);
        d.fileName = path;
        WlasciwosciPliku(d);
        expectBrowserFields(d);
        EXPECT_EQ(d.fileName, path);
        return d;
    }

    QTemporaryDir temp_;
    QString previousDir_;
    std::string dir_;
    platform::MessageScript boxes_;
};

} // namespace

TEST_F(DataFileTest, WorkedExampleFromTheFixture)
{
    const std::string fixture = std::string(TEST_FIXTURES_DIR) + "/vesk_example.dan";
    const std::string bytes = readBytes(fixture);
    ASSERT_EQ(bytes.size(), 287u);
    ASSERT_EQ(bytes.substr(276), "Counter 5\r\n");

    plikPomiar d;
    markBrowserFields(d);
    d.fileName = fixture;
    WlasciwosciPliku(d);

    EXPECT_EQ(d.fileSize, 287u);
    EXPECT_EQ(d.headerEnd, 59);
    EXPECT_EQ(d.headerChannels, 3);
    EXPECT_EQ(d.columnLine, "yyyy-mm-dd hh:mm:ss.nnn k1 k2 k3");
    EXPECT_EQ(d.dataStart, 96);
    EXPECT_EQ(d.lineLen, 36);
    EXPECT_EQ(d.recordCount, 5);
    EXPECT_EQ(d.trailerText, "Counter 5");
    EXPECT_EQ(d.trailerStart, 278);
    // The first two lines joined, the marker with the CR behind it, CR LF, the trailer.
    EXPECT_EQ(d.propertiesText, "VeskSystem measurement fileChannels 3\r\n***End_of_Header***\r\r\nCounter 5");
    EXPECT_EQ(d.fileName, fixture);
    expectBrowserFields(d);
    EXPECT_TRUE(boxes_.records().empty());
}

TEST_F(DataFileTest, PlainFileAfterAHeaderFileKeepsOnlyItsSize)
{
    plikPomiar d;
    d.fileName = std::string(TEST_FIXTURES_DIR) + "/vesk_example.dan";
    WlasciwosciPliku(d);
    ASSERT_EQ(d.headerEnd, 59);

    const std::string plain = crlf({"DataTime  k1 k2", "2024-03-01 12:00:00 1.0 2.0", "Counter 5 Channels 3"});
    d.fileName = dir_ + "/plain.dan";
    writeBytes(d.fileName, plain);
    WlasciwosciPliku(d);
    EXPECT_EQ(d.fileSize, plain.size());
    EXPECT_EQ(d.headerEnd, 0);
    EXPECT_EQ(d.lineLen, 0);
    EXPECT_EQ(d.recordCount, 0);
    EXPECT_EQ(d.headerChannels, 0);
    EXPECT_EQ(d.dataStart, 0);
    EXPECT_EQ(d.trailerStart, 0);
    EXPECT_EQ(d.propertiesText, "");
    EXPECT_EQ(d.trailerText, "");
    EXPECT_EQ(d.columnLine, "");
}

TEST_F(DataFileTest, MissingFileShowsItsNameAndLeavesTheDescriptorCleared)
{
    plikPomiar d;
    fillWithStale(d);
    markBrowserFields(d);
    d.fileName = dir_ + "/pomiar_\xB9\xE6.dan"; // "ą" and "ć" in code page 1250
    WlasciwosciPliku(d);

    ASSERT_EQ(boxes_.records().size(), 1u);
    EXPECT_EQ(boxes_.records()[0].text,
              QString::fromStdString("Fie no exist: " + dir_) + QStringLiteral("/pomiar_ąć.dan"));
    EXPECT_EQ(d.fileSize, 0u);
    EXPECT_EQ(d.headerEnd, 0);
    EXPECT_EQ(d.trailerStart, 0);
    EXPECT_EQ(d.dataStart, 0);
    EXPECT_EQ(d.recordCount, 0);
    EXPECT_EQ(d.lineLen, 0);
    EXPECT_EQ(d.headerChannels, 0);
    EXPECT_EQ(d.propertiesText, "");
    EXPECT_EQ(d.trailerText, "");
    EXPECT_EQ(d.columnLine, "");
    expectBrowserFields(d);
}

TEST_F(DataFileTest, EightBitFileNameOpensTheFileOfThatName)
{
    QFile file(temp_.path() + QStringLiteral("/pomiar_ąć.dan"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("plain\r\n");
    file.close();

    plikPomiar d;
    d.fileName = dir_ + "/pomiar_\xB9\xE6.dan";
    WlasciwosciPliku(d);
    EXPECT_TRUE(boxes_.records().empty());
    EXPECT_EQ(d.fileSize, 7u);
}

// One file per case and the fields it must give; -1 marks a field the case leaves unchecked.
struct HeaderCase {
    const char* name;
    std::string bytes;
    std::int64_t headerEnd;
    std::int32_t headerChannels;
    std::string columnLine;
    std::int64_t dataStart;
    std::int64_t lineLen;
    std::int64_t recordCount;
    std::string trailerText;
};
// Names the case in test listings instead of dumping its bytes.
inline void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

std::string sixtyOneLinesWithoutMarker()
{
    std::string s = "VeskSystem\r\n";
    for (int i = 1; i <= 61; ++i)
        s += "line" + std::to_string(i) + "\r\n";
    return s + dataLines(2);
}

// A trailer must lie in the last 200 bytes of a file of at least 200 bytes.
std::string headerFileWithTail(const std::string& tail) { return header + dataLines(6) + tail; }

std::vector<HeaderCase> headerCases()
{
    const std::int64_t dataAt = static_cast<std::int64_t>(header.size());
    std::vector<HeaderCase> cases;
    cases.push_back({"markerMissing", sixtyOneLinesWithoutMarker(), 19, 0, "line61", -1, 36, -1, ""});
    cases.push_back({"markerInFirstLine",
                     crlf({"VeskSystem ***End_of_Header***", "Channels 2", "DataTime k1 k2", "a", "b"}), 12 + 19, 2,
                     "DataTime k1 k2", -1, 3, -1, ""});
    cases.push_back({"singleDigitBeforeLineEnd",
                     crlf({"VeskSystem", "Channels 8", "***End_of_Header***", "cols"}) + dataLines(2), -1, 8, "cols",
                     -1, 36, -1, ""});
    cases.push_back({"threeDigits", crlf({"VeskSystem", "Channels 128x", "***End_of_Header***", "cols"}), -1, 128,
                     "cols", -1, 0, 0, ""});
    cases.push_back({"leadingZero", crlf({"VeskSystem", "x Channels 016", "***End_of_Header***", "cols"}), -1, 16,
                     "cols", -1, 0, 0, ""});
    // Mended: a header that announces no count is read, with no count.
    cases.push_back({"noChannelsLine", crlf({"VeskSystem", "***End_of_Header***", "cols"}) + dataLines(2), 11 + 19, 0,
                     "cols", -1, 36, -1, ""});
    cases.push_back({"oneDataLine", header + dataLines(1), 59, 3, "", dataAt, 2, 36 / 2, ""});
    cases.push_back({"endsWithColumnLine", header, 59, 3, "", dataAt, 0, 0, ""});
    cases.push_back(
        {"onlyCounterAfterColumnLine",
         crlf({"VeskSystem" + std::string(150, ' '), "Channels 3", "***End_of_Header***", "cols", "Counter 0"}),
         160 + 12 + 1 + 19, 3, "cols", 160 + 2 + 12 + 21 + 6, 2, 0, "Counter 0"});
    cases.push_back(
        {"shorterThan200", header + dataLines(2) + "Counter 7\r\n", 59, 3, "", dataAt, 36, (36 * 2 + 11) / 36, ""});
    // Mended: the "Counter" inside "ErrorCounter" counts faulty records, not lines.
    cases.push_back({"errorCounterBeforeCounter", headerFileWithTail("ErrorCounter 2\r\nCounter 6\r\n"), 59, 3, "",
                     dataAt, 36, 6, "Counter 6"});
    cases.push_back(
        {"onlyErrorCounter", headerFileWithTail("ErrorCounter 2\r\n"), 59, 3, "", dataAt, 36, (36 * 6 + 16) / 36, ""});
    cases.push_back({"counterWithBlanksBeforeErrorCounter",
                     headerFileWithTail("Counter 6          \r\nErrorCounter 2\r\n"), 59, 3, "", dataAt, 36, 6,
                     "Counter 6          \nErrorCounter 2"});
    cases.push_back(
        {"counterWithoutLineEnd", headerFileWithTail("Counter\t123"), 59, 3, "", dataAt, 36, 123, "Counter\t123"});
    for (HeaderCase& c : cases)
        if (c.columnLine.empty() && c.bytes.compare(0, header.size(), header) == 0)
            c.columnLine = "yyyy-mm-dd hh:mm:ss.nnn k1 k2 k3";
    return cases;
}

class DataFileHeaderTest : public DataFileTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(DataFileHeaderTest, DescriptorOfTheFile)
{
    const HeaderCase& c = GetParam();
    const plikPomiar d = examine(c.bytes);
    EXPECT_EQ(d.fileSize, c.bytes.size());
    if (c.headerEnd >= 0) {
        EXPECT_EQ(d.headerEnd, c.headerEnd);
    }
    EXPECT_EQ(d.headerChannels, c.headerChannels);
    EXPECT_EQ(d.columnLine, c.columnLine);
    if (c.dataStart >= 0) {
        EXPECT_EQ(d.dataStart, c.dataStart);
    }
    EXPECT_EQ(d.lineLen, c.lineLen);
    if (c.recordCount >= 0) {
        EXPECT_EQ(d.recordCount, c.recordCount);
    }
    EXPECT_EQ(d.trailerText, c.trailerText);
    EXPECT_EQ(d.trailerStart,
              c.trailerText.empty() ? 0 : static_cast<std::int64_t>(c.bytes.size() - c.trailerText.size()));
    EXPECT_TRUE(boxes_.records().empty());
}

INSTANTIATE_TEST_SUITE_P(Files, DataFileHeaderTest, ::testing::ValuesIn(headerCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataFileTest, MarkerMissingKeepsTheFirst19CharactersOfTheHeader)
{
    const plikPomiar d = examine(sixtyOneLinesWithoutMarker());
    EXPECT_EQ(d.propertiesText, "VeskSystemline1\r\nli\r\n");
}

TEST_F(DataFileTest, PropertiesTextKeepsTheCrAfterTheMarker)
{
    const plikPomiar d =
        examine(crlf({"VeskSystem", "Channels 8", "***End_of_Header***", "cols"}) + dataLines(5) + "Counter 5\r\n");
    EXPECT_EQ(d.propertiesText, "VeskSystemChannels 8\r\n***End_of_Header***\r\r\nCounter 5");
    EXPECT_EQ(d.headerEnd,
              static_cast<std::int64_t>(std::string("VeskSystemChannels 8\r\n***End_of_Header***\r").size()));
}

struct ConversionCase {
    const char* name;
    std::string bytes;
    std::int64_t headerEnd;   // written before the error
    std::uint64_t fileSize;   // 0 when the error comes before the size is measured
    std::int64_t recordCount; // the computed count that the trailer's error leaves
    std::string columnLine;
};
// Names the case in test listings instead of dumping its bytes.
inline void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }

class DataFileConversionTest : public DataFileTest, public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(DataFileConversionTest, CountThatIsNoIntegerEndsTheStep)
{
    const ConversionCase& c = GetParam();
    const std::string path = dir_ + "/file.dan";
    writeBytes(path, c.bytes);
    plikPomiar d;
    fillWithStale(d);
    d.fileName = path;
    const std::size_t openBefore = openDescriptors();
    EXPECT_THROW(WlasciwosciPliku(d), rtl::EConvertError);
    EXPECT_EQ(openDescriptors(), openBefore);
    EXPECT_EQ(d.headerEnd, c.headerEnd);
    EXPECT_EQ(d.fileSize, c.fileSize);
    EXPECT_EQ(d.recordCount, c.recordCount);
    EXPECT_EQ(d.trailerText, "");
    EXPECT_EQ(d.trailerStart, 0);
    EXPECT_EQ(d.columnLine, c.columnLine);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DataFileConversionTest,
    ::testing::Values(ConversionCase{"channelsNotANumber",
                                     crlf({"VeskSystem", "Channels abc", "***End_of_Header***", "cols"}), 25 + 19, 0, 0,
                                     ""},
                      ConversionCase{"channelsWithoutCount",
                                     crlf({"VeskSystem", "***End_of_Header***Channels ", "cols"}), 11 + 19, 0, 0, ""},
                      ConversionCase{"counterWithoutNumber", headerFileWithTail("Counter\r\n"), 59,
                                     headerFileWithTail("Counter\r\n").size(), 6, "yyyy-mm-dd hh:mm:ss.nnn k1 k2 k3"},
                      ConversionCase{"errorCounterRightBehindTheCount",
                                     headerFileWithTail("Counter 6\r\nErrorCounter 0\r\n"), 59,
                                     headerFileWithTail("Counter 6\r\nErrorCounter 0\r\n").size(), 6,
                                     "yyyy-mm-dd hh:mm:ss.nnn k1 k2 k3"}),
    [](const auto& info) { return std::string(info.param.name); });

// Mended: a line longer than the read limit is cut, and the reading goes on at the next line.
TEST_F(DataFileTest, OverlongLinesDoNotStopTheReading)
{
    const std::string longData = "2024-03-01 12:00:00" + std::string(900, ' ') + "1.0";
    const std::string bytes =
        crlf({"VeskSystem " + std::string(300, 'f'), std::string(500, 'h'), "Channels 4", "***End_of_Header***",
              "cols " + std::string(400, 'k'), longData, dataLine, dataLine, "Counter 3"});
    const plikPomiar d = examine(bytes);
    EXPECT_EQ(d.headerChannels, 4);
    EXPECT_EQ(d.headerEnd, static_cast<std::int64_t>(199 + 199 + 2 + 10 + 2 + 1 + 19));
    EXPECT_EQ(d.columnLine, "cols " + std::string(194, 'k'));
    EXPECT_EQ(d.dataStart, static_cast<std::int64_t>(bytes.find(longData)));
    EXPECT_EQ(d.lineLen, 36);
    EXPECT_EQ(d.recordCount, 3);
    EXPECT_EQ(d.trailerText, "Counter 3");
}

// Mended: sizes and offsets past 4 GB. The files are sparse, so they cost no disk.
TEST_F(DataFileTest, FilesBeyondFourGigabytes)
{
    const std::uint64_t size = 5ull << 30;
    const std::string body = header + dataLines(2);
    for (const std::string& trailer : {std::string(), std::string("Counter 123456789\r\n")}) {
        const std::string path = dir_ + "/big.dan";
        writeBytes(path, body);
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size - trailer.size())), 0);
        ASSERT_EQ(::pwrite(fd, trailer.data(), trailer.size(), static_cast<off_t>(size - trailer.size())),
                  static_cast<ssize_t>(trailer.size()));
        ::close(fd);

        plikPomiar d;
        d.fileName = path;
        WlasciwosciPliku(d);
        EXPECT_EQ(d.fileSize, size);
        EXPECT_EQ(d.lineLen, 36);
        if (trailer.empty()) {
            EXPECT_EQ(d.recordCount, static_cast<std::int64_t>((size - header.size()) / 36));
            EXPECT_EQ(d.trailerStart, 0);
        } else {
            EXPECT_EQ(d.recordCount, 123456789);
            EXPECT_EQ(d.trailerStart, static_cast<std::int64_t>(size - 17));
        }
    }
}

TEST_F(DataFileTest, RandomBytesGiveADescriptor)
{
    std::mt19937 gen(1250);
    std::uniform_int_distribution<int> byte(0, 255);
    for (const std::size_t n : {0u, 1u, 199u, 200u, 201u, 4096u, 200000u}) {
        for (const std::string& prefix : {std::string(), std::string("VeskSystem")}) {
            std::string bytes = prefix;
            for (std::size_t i = 0; i < n; ++i)
                bytes += static_cast<char>(byte(gen));
            plikPomiar d;
            ASSERT_NO_THROW(d = examine(bytes)) << n << " " << prefix;
            EXPECT_EQ(d.fileSize, bytes.size());
            if (!prefix.empty()) {
                EXPECT_EQ(d.headerEnd, 19);
            }
            EXPECT_LE(d.trailerText.size(), 200u);
        }
    }
}
