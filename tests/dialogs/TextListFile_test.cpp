// Text files as lists of lines: what a file's first bytes say about its encoding, a
// list saved and read back any number of times without losing a byte, the size limit;
// a write-protected file stays as it was and the error names it; a file kept elsewhere
// through a symbolic link stays a link.

#include "dialogs/TextListFile.h"

#include "platform/vcl/VclCore.h"
#include "tests/support/FileBytes.h"
#include "tests/support/QtTestApp.h"

#include <QFile>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using dialogs::TextEncoding;
using testsupport::readBytes;

namespace {

const QString mark = QString(QChar(0xFEFF));

// Reads the file and writes its list back in the encoding read, as the console's
// load and save do.
QByteArray bytesOf(const QString& path)
{
    return QByteArray::fromStdString(readBytes(QFile::encodeName(path).toStdString()));
}

void readAndSave(const QString& path)
{
    const dialogs::TextList list = dialogs::readTextList(path);
    dialogs::writeTextList(path, list.lines, list.encoding);
}

} // namespace

TEST(TextListFile, TheFirstBytesNameTheEncodingAndOnlyTheFirstMarkIsTakenOff)
{
    const struct {
        const char* name;
        QByteArray bytes;
        TextEncoding encoding;
        QStringList lines;
    } cases[] = {
        {"code page",
         QByteArray("a \xB9\r\nb\rc\n\r\n"),
         TextEncoding::Ansi,
         {QStringLiteral("a ą"), QStringLiteral("b"), QStringLiteral("c"), QString()}},
        {"utf-8",
         QByteArray("\xEF\xBB\xBF"
                    "\xC5\x82\r\n"),
         TextEncoding::Utf8,
         {QStringLiteral("ł")}},
        {"utf-8, a mark in the text",
         QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF"
                    "k1\r\n"),
         TextEncoding::Utf8,
         {mark + QStringLiteral("k1")}},
        {"utf-8, the mark alone", QByteArray("\xEF\xBB\xBF"), TextEncoding::Utf8, {}},
        {"utf-16 le, a mark in the text",
         QByteArray("\xFF\xFE\xFF\xFE"
                    "A\0\r\0\n\0",
                    10),
         TextEncoding::Utf16LE,
         {mark + QStringLiteral("A")}},
        {"utf-16 be", QByteArray("\xFE\xFF\x01\x05\0\n", 6), TextEncoding::Utf16BE, {QStringLiteral("ą")}},
        {"utf-16 le, half a character at the end is dropped",
         QByteArray("\xFF\xFE"
                    "A\0\n\0B",
                    7),
         TextEncoding::Utf16LE,
         {QStringLiteral("A")}},
        {"utf-16 be, a pair and lone surrogates",
         QByteArray("\xFE\xFF\xD8\x3D\xDE\x00\xDC\x00\0x\xD8\x00", 12),
         TextEncoding::Utf16BE,
         {QString::fromUtf16(u"\U0001F600") + QChar(0xDC00) + QStringLiteral("x") + QChar(0xD800)}},
        {"half a mark is code page",
         QByteArray("\xEF\xBB"
                    "x"),
         TextEncoding::Ansi,
         {QStringLiteral("ď»x")}},
    };
    testsupport::TempCwd cwd;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = cwd.file(QStringLiteral("lista.txt"), c.bytes);
        const dialogs::TextList list = dialogs::readTextList(path);
        EXPECT_EQ(list.encoding, c.encoding);
        EXPECT_EQ(list.lines, c.lines);
        // The whole text, as the browser shows it, is the same text.
        EXPECT_EQ(dialogs::splitLines(dialogs::readTextFile(path).text), c.lines);
    }
}

TEST(TextListFile, ASavedListReadsBackToTheSameBytes)
{
    const struct {
        const char* name;
        QByteArray stored;
    } cases[] = {
        {"code page", QByteArray("k1 \xB9\xEA\r\n\r\nk2\r\n")},
        {"utf-8", QByteArray("\xEF\xBB\xBF"
                             "za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 \xE2\x82\xAC\r\n")},
        {"utf-8 that begins with a mark", QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF"
                                                     "k1 T 0.1\r\n")},
        {"utf-8 with marks only", QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF\r\n")},
        {"utf-16 le that begins with a mark", QByteArray("\xFF\xFE\xFF\xFE"
                                                         "A\0\x05\x01\r\0\n\0",
                                                         12)},
        {"utf-16 be that begins with a mark", QByteArray("\xFE\xFF\xFE\xFF\0A\0\r\0\n", 10)},
        // Text no encoder should have made still comes back byte for byte.
        {"utf-16 le with lone surrogates", QByteArray("\xFF\xFE\x00\xDC"
                                                      "A\0\x3D\xD8\r\0\n\0\x00\xD8\r\0\n\0",
                                                      18)},
        {"utf-16 be with a pair", QByteArray("\xFE\xFF\xD8\x3D\xDE\x00\0\r\0\n", 10)},
        {"empty", QByteArray()},
    };
    testsupport::TempCwd cwd;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = cwd.file(QStringLiteral("lista.txt"), c.stored);
        for (int round = 1; round <= 3; ++round) {
            readAndSave(path);
            EXPECT_EQ(bytesOf(path), c.stored) << "after save " << round;
        }
    }
}

TEST(TextListFile, AFileLargerThanTheLimitIsRefusedWhole)
{
    testsupport::TempCwd cwd;
    const QString path = cwd.file(QStringLiteral("dane.dan"), QByteArray("12345\r\n6789\r\n"));
    EXPECT_EQ(dialogs::readTextFile(path, 13).text, QStringLiteral("12345\r\n6789\r\n"));
    for (const qint64 limit : {qint64(12), qint64(0)}) {
        SCOPED_TRACE(limit);
        try {
            dialogs::readTextFile(path, limit);
            ADD_FAILURE() << "a file over the limit was read";
        } catch (const vcl::Exception& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Plik \"%1\" jest za duży, aby wczytać go w całości.").arg(path));
        }
    }

    // A file that tells no size is held to the limit as it is read.
    try {
        dialogs::readTextFile(QStringLiteral("/proc/self/maps"), 10);
        ADD_FAILURE() << "a file over the limit was read";
    } catch (const vcl::Exception& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("jest za duży"))) << e.Message().toStdString();
    }

    // Only plain files are read: a folder, a device that never ends, and a FIFO that no
    // one writes to (opening it would wait for a writer for good).
    const QString fifo = cwd.path() + QStringLiteral("/kolejka.dan");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {cwd.path(), QStringLiteral("/dev/zero"), fifo}) {
        SCOPED_TRACE(path.toStdString());
        try {
            dialogs::readTextList(path);
            ADD_FAILURE() << "read";
        } catch (const vcl::Exception& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Nie można otworzyć pliku \"%1\".").arg(path));
        }
    }
}

TEST(TextListFile, WrittenBackWhereTheUserKeepsItOrNotAtAll)
{
    testsupport::TempCwd cwd;
    const std::string dir = QFile::encodeName(cwd.path()).toStdString();
    const QString name = QStringLiteral("DefaultSystemConfig.bu");
    const std::string file = dir + "/DefaultSystemConfig.bu";

    testsupport::writeBytes(file, "stary\r\n");
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    try {
        dialogs::writeTextList(name, {QStringLiteral("nowy")}, dialogs::TextEncoding::Ansi);
        ADD_FAILURE() << "a write-protected file was written";
    } catch (const vcl::Exception& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Cannot create file \"") + cwd.path() + "/" + name))
            << e.Message().toStdString();
    }
    EXPECT_EQ(readBytes(file), "stary\r\n");

    ASSERT_EQ(::mkdir((dir + "/wspolne").c_str(), 0755), 0);
    ASSERT_EQ(::rename(file.c_str(), (dir + "/wspolne/config.bu").c_str()), 0);
    ASSERT_EQ(::chmod((dir + "/wspolne/config.bu").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("wspolne/config.bu", file.c_str()), 0);
    dialogs::writeTextList(name, {QStringLiteral("nowy"), QStringLiteral("łódź")}, dialogs::TextEncoding::Ansi);
    struct stat st {};
    ASSERT_EQ(::lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readBytes(dir + "/wspolne/config.bu"), "nowy\r\n\xB3\xF3\x64\x9F\r\n");
}
