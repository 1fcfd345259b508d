// The run log's file writing on its own: the value format against printf's, whole-file
// replacement on a disk that fills up, and the append and catch-up of the log.

#include "windows/RunLog.h"

#include "tests/support/QtTestApp.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <locale.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::TempCwd;

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

long room = 0;
long limitedWrite(int fd, const void* data, std::size_t size)
{
    if (room <= 0) {
        errno = ENOSPC;
        return -1;
    }
    const std::size_t n = std::min<std::size_t>(size, static_cast<std::size_t>(room));
    room -= static_cast<long>(n);
    return static_cast<long>(::write(fd, data, n));
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
        {5.0, " 5.0"}, {-0.04, " -0.0"}, {123.456, " 123.5"}, {0.0, " 0.0"}, {-0.5, " -0.5"},
        {21.4f, " 21.4"}, {0.25, " 0.2"}, {0.35, " 0.3"}, {-1500.5, " -1500.5"}, {1e7, " 10000000.0"},
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

TEST(ReplaceFile, AFullDiskLeavesTheOldFileAndNoTemporary)
{
    TempCwd cwd;
    const QString path = cwd.file(QStringLiteral("run.txt"), "old contents\r\n");
    ::chmod(QFile::encodeName(path).constData(), 0640);
    std::string error;
    room = 4;
    EXPECT_FALSE(windows::replaceFileAtomically(QFile::encodeName(path).toStdString(), "new contents\r\n",
                                                limitedWrite, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readFile(path), QByteArray("old contents\r\n"));
    EXPECT_FALSE(QFileInfo::exists(path + ".tmp"));

    room = 1000;
    EXPECT_TRUE(windows::replaceFileAtomically(QFile::encodeName(path).toStdString(), "new\r\n", limitedWrite));
    EXPECT_EQ(readFile(path), QByteArray("new\r\n"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the replaced file keeps its permissions";
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
    EXPECT_TRUE(log.inSync());
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

TEST(RunLog, AFailedAppendTakesBackItsPartAndCatchesUpLater)
{
    TempCwd cwd;
    const std::string path = QFile::encodeName(cwd.path() + "/a.dan").toStdString();
    windows::RunLog log(limitedWrite);
    room = 1000;
    log.setPath(path);
    log.append("00:00:01  1.0\r\n");
    ASSERT_TRUE(log.sync());
    room = 3;
    log.append("00:00:02  2.0\r\n");
    std::string error;
    EXPECT_FALSE(log.sync(&error));
    EXPECT_NE(error.find(std::strerror(ENOSPC)), std::string::npos) << error;
    EXPECT_EQ(readFile(QString::fromStdString(path)), QByteArray("00:00:01  1.0\r\n"));
    EXPECT_FALSE(log.inSync());
    log.append("00:00:03  3.0\r\n");
    room = 1000;
    ASSERT_TRUE(log.sync());
    EXPECT_EQ(readFile(QString::fromStdString(path)), QByteArray("00:00:01  1.0\r\n00:00:02  2.0\r\n00:00:03  3.0\r\n"));
    EXPECT_EQ(log.rewrites(), 1u) << "the catch-up is an append";
}
