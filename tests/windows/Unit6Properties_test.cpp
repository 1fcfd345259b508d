// A run's properties file that cannot be written at STOP: the user sees the error box
// naming the file, the run still ends, and nothing is lost or passed off as written:
// the properties stay on their page, the run log and an older properties file stay on
// disk as they were.

#include "tests/windows/WindowFixture.h"

#include <QFileInfo>
#include <sys/stat.h>

using namespace windowtest;

namespace {

struct Blocker {
    const char* name;
    void (*block)(const QString& windowDir);
    bool folderKept;
};
inline void PrintTo(const Blocker& b, std::ostream* os) { *os << b.name; }

class PropertiesTest : public WindowTest, public ::testing::WithParamInterface<Blocker> {};

const QByteArray oldProperties = "stare właściwości\r\n";

} // namespace

TEST_P(PropertiesTest, APropertiesFileThatCannotBeWrittenIsReportedAndNothingIsLost)
{
    const Blocker& b = GetParam();
    TForm6* w = open(0);
    toggle(w, 0);
    start(w, QStringLiteral("pomiar1.dan"));
    setValues({21.5f});
    sample(w, 1000);
    const QString log = windowDir() + "/pomiar1.dan";
    const QString properties = windowDir() + "/pomiar1.txt";
    const QByteArray logBytes = readFile(log);
    ASSERT_EQ(logBytes, crlfLines({"00:00:01  21.5"}));
    b.block(windowDir());

    advance(60000);
    w->BitBtn1->click(); // as the user clicks: the error reaches the error box

    ASSERT_EQ(boxesTitled(QStringLiteral("Error")), 1);
    const QString text = boxes.records().back().text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("Cannot create file \"") + properties + "\"")) << text.toStdString();
    EXPECT_EQ(w->BitBtn1->Caption(), QStringLiteral("Nowy pomiar"));
    EXPECT_GT(Form1->settings.windows[0].endTime, Form1->settings.windows[0].startTime);
    const QStringList shown = vcl::Lines(w->Memo3).ToList();
    ASSERT_GE(shown.size(), 3);
    EXPECT_EQ(shown[0], QStringLiteral("pomiar1"));
    EXPECT_EQ(shown[2], QStringLiteral("2024-03-01 10:01")) << "the properties stay on their page";
    if (b.folderKept) {
        EXPECT_EQ(readFile(properties), oldProperties);
        EXPECT_EQ(readFile(log), logBytes);
        EXPECT_EQ(QDir(windowDir()).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{"ChanelConfig.confs", "pomiar1.dan", "pomiar1.txt"}));
    } else {
        EXPECT_FALSE(QFileInfo::exists(windowDir()));
    }
    EXPECT_FALSE(QFileInfo::exists(cwd.path() + "/pomiar1.txt")) << "nothing lands in another folder";
}

INSTANTIATE_TEST_SUITE_P(
    Blockers, PropertiesTest,
    ::testing::Values(Blocker{"olderFileWriteProtected",
                              [](const QString& dir) {
                                  const QString path = dir + "/pomiar1.txt";
                                  QFile f(path);
                                  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                                  f.write(oldProperties);
                                  f.close();
                                  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
                              },
                              true},
                      Blocker{"windowFolderRemoved",
                              [](const QString& dir) { ASSERT_TRUE(QDir(dir).removeRecursively()); }, false}),
    [](const auto& info) { return std::string(info.param.name); });
