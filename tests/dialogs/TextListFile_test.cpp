// The console's text files written back: a write-protected file stays as it was and
// the error names it; a file kept elsewhere through a symbolic link stays a link.

#include "dialogs/TextListFile.h"

#include "platform/VclCore.h"
#include "tests/support/FileBytes.h"
#include "tests/support/QtTestApp.h"

#include <QFile>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using testsupport::readBytes;

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
