// The run log's file writing on its own: the value format against printf's, and the
// append and catch-up of the log on a disk that fills up or a file made write-protected.

#include "windows/RunLog.h"

#include "tests/support/FullDisk.h"
#include "tests/support/QtTestApp.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <locale.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::diskRoom;
using testsupport::fullDiskWrite;
using testsupport::TempCwd;

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string printfValue(double v)
{
    // printf in the C locale, whatever locale the process runs in.
    locale_t c = newlocale(LC_NUMERIC_MASK, "C", nullptr);
    locale_t old = uselocale(c);
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, " %3.1f", v);
    uselocale(old);
    freelocale(c);
    return buffer;
}

} // namespace

TEST(LogValue, IsPrintfsFormatWithADecimalPoint)
{
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {5.0, " 5.0"},    {-0.04, " -0.0"}, {123.456, " 123.5"}, {0.0, " 0.0"},         {-0.5, " -0.5"},
        {21.4f, " 21.4"}, {0.25, " 0.2"},   {0.35, " 0.3"},      {-1500.5, " -1500.5"}, {1e7, " 10000000.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(windows::formatLogValue(c.value), c.text) << c.value;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> any(-1e6, 1e6);
    for (int i = 0; i < 20000; ++i) {
        const double v = i % 2 ? any(random) : static_cast<float>(any(random) / 1000.0);
        ASSERT_EQ(windows::formatLogValue(v), printfValue(v)) << v;
    }
}

TEST(RunLog, AppendsWhatIsNewAndWritesWholeOnlyWhenNeeded)
{
    TempCwd cwd;
    const std::string path = QFile::encodeName(cwd.path() + "/a.dan").toStdString();
    windows::RunLog log;
    log.setPath(path);
    log.append("one\r\n");
    ASSERT_TRUE(log.sync());
    log.append("two\r\n");
    ASSERT_TRUE(log.sync());
    EXPECT_EQ(readFile(QString::fromStdString(path)), QByteArray("one\r\ntwo\r\n"));
    EXPECT_EQ(log.rewrites(), 1u);
    EXPECT_EQ(log.bytesWritten(), 10u);
    EXPECT_TRUE(log.sync()) << "nothing new writes nothing";
    EXPECT_EQ(log.bytesWritten(), 10u);

    // Someone else appended to the file: its length no longer matches, so it is rewritten.
    {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("foreign\r\n");
    }
    log.append("three\r\n");
    ASSERT_TRUE(log.sync());
    EXPECT_EQ(readFile(QString::fromStdString(path)), QByteArray("one\r\ntwo\r\nthree\r\n"));
    EXPECT_EQ(log.rewrites(), 2u);

    // Another file: written whole under its name; the first stays as it was.
    const std::string other = QFile::encodeName(cwd.path() + "/b.dan").toStdString();
    log.setPath(other);
    log.reset("x\r\n");
    ASSERT_TRUE(log.sync());
    EXPECT_EQ(readFile(QString::fromStdString(other)), QByteArray("x\r\n"));
    EXPECT_EQ(readFile(QString::fromStdString(path)), QByteArray("one\r\ntwo\r\nthree\r\n"));
}

namespace {

// A run log in a temporary folder whose file holds its first line.
class RunLogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        diskRoom = 1000;
        log.setPath(path);
        log.append("00:00:01  1.0\r\n");
        ASSERT_TRUE(log.sync());
    }
    QByteArray onDisk() const { return readFile(QString::fromStdString(path)); }

    TempCwd cwd;
    const std::string path = QFile::encodeName(cwd.path() + "/a.dan").toStdString();
    windows::RunLog log{fullDiskWrite};
};

} // namespace

TEST_F(RunLogFile, AFailedAppendTakesBackItsPartAndCatchesUpLater)
{
    diskRoom = 3;
    log.append("00:00:02  2.0\r\n");
    std::string error;
    EXPECT_FALSE(log.sync(&error));
    EXPECT_NE(error.find(std::strerror(ENOSPC)), std::string::npos) << error;
    EXPECT_EQ(onDisk(), QByteArray("00:00:01  1.0\r\n"));
    log.append("00:00:03  3.0\r\n");
    diskRoom = 1000;
    ASSERT_TRUE(log.sync());
    EXPECT_EQ(onDisk(), QByteArray("00:00:01  1.0\r\n00:00:02  2.0\r\n00:00:03  3.0\r\n"));
    EXPECT_EQ(log.rewrites(), 1u) << "the catch-up is an append";
}

TEST_F(RunLogFile, AWriteProtectedLogStaysAsItIsUntilItMayBeWrittenAgain)
{
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    log.append("00:00:02  2.0\r\n");
    // The append and then the whole-file write that follows it are both refused.
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string error;
        EXPECT_FALSE(log.sync(&error)) << attempt;
        EXPECT_EQ(error, std::strerror(EACCES)) << attempt;
        EXPECT_EQ(onDisk(), QByteArray("00:00:01  1.0\r\n")) << attempt;
    }
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    ASSERT_TRUE(log.sync());
    EXPECT_EQ(onDisk(), QByteArray("00:00:01  1.0\r\n00:00:02  2.0\r\n"));
}
