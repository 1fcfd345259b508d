// The main window's spreadsheet export and folder explorer through its file list's
// popup menu: the copy on disk byte for byte, the program started with its arguments,
// the failures that keep an earlier copy, and the items disabled after every export.

#include "platform/MessageBox.h"
#include "platform/VclShell.h"
#include "tests/support/FakePrograms.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/QtTestApp.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

class Export : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::CreateProgramForms();
        // The browsed folder, made current by the folder list, has a blank in its name.
        folder = cwd.mkdir(QStringLiteral("dane pomiarowe"));
        Form1->DirectoryListBox1->SetDirectory(folder);
    }
    void TearDown() override { testsupport::DestroyProgramForms(); }

    QString put(const QString& name, const QByteArray& bytes) const
    {
        return cwd.file(QStringLiteral("dane pomiarowe/") + name, bytes);
    }
    // The user's click on a file of the list, which enables both export items.
    void select(const QString& name) const
    {
        Form1->FileListBox1->Update();
        Form1->FileListBox1->SetFileName(name);
        ASSERT_EQ(Form1->FileListBox1->FileName(), folder + "/" + name);
        Form1->MSExel1->setEnabled(true);
        Form1->OpenOffice1->setEnabled(true);
    }
    std::string bytesOf(const QString& path) const { return testsupport::readBytes(QFile::encodeName(path).toStdString()); }
    void expectItemsDisabled() const
    {
        EXPECT_FALSE(Form1->MSExel1->isEnabled());
        EXPECT_FALSE(Form1->OpenOffice1->isEnabled());
    }

    testsupport::TempCwd cwd;
    QString folder;
    testsupport::FakePrograms programs{{QStringLiteral("localc"), QStringLiteral("xdg-open")}};
    platform::MessageScript boxes;
    platform::ShellScript shell;
};

} // namespace

TEST_F(Export, ADanFileIsCopiedByteForByteAndCalcOpensTheCopy)
{
    EXPECT_FALSE(Form1->MSExel1->isEnabled()) << "disabled in the form";
    EXPECT_FALSE(Form1->OpenOffice1->isEnabled());
    const QString data = put(QStringLiteral("P 20220301.dan"), "DataTime  k1 k2\r\n2022-03-01  12:00:05   21.46  -3.2 .5\r\n");
    const QString copy = folder + QStringLiteral("/P 20220301.dan.txt");
    const std::string header = "&Plik:\t" + QFile::encodeName(data).toStdString() + "\n";

    select(QStringLiteral("P 20220301.dan"));
    Form1->MSExel1->trigger();
    EXPECT_EQ(bytesOf(copy), header + "DataTime\tk1\tk2\n2022-03-01\t12:00:05\t21,46\t-3,2\t.5\n");
    ASSERT_EQ(shell.records().size(), 1u);
    EXPECT_EQ(shell.records()[0].program, programs.path(QStringLiteral("localc")));
    EXPECT_EQ(shell.records()[0].arguments, QStringList{copy}) << "one argument, blanks and all";
    expectItemsDisabled();
    EXPECT_TRUE(Form1->FileListBox1->Items().contains(QStringLiteral("P 20220301.dan.txt"))) << "the list was read again";
    Form1->OpenOffice1->trigger();
    EXPECT_EQ(shell.records().size(), 1u) << "one click on a file allows one export";

    // A second export of the changed file replaces the copy.
    put(QStringLiteral("P 20220301.dan"), "1.5  2.25\r\n");
    select(QStringLiteral("P 20220301.dan"));
    Form1->OpenOffice1->trigger();
    EXPECT_EQ(bytesOf(copy), header + "1,5\t2,25\n");
    ASSERT_EQ(shell.records().size(), 2u);
    EXPECT_EQ(shell.records()[1].arguments, QStringList{copy});
    expectItemsDisabled();
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(Export, OtherFilesGoToTheProgramAsTheyAre)
{
    for (const char* name : {"P 2022.DAN", "pomiary 1.txt"}) {
        SCOPED_TRACE(name);
        const QString data = put(QString::fromLatin1(name), "1.5  2.25\r\n");
        select(QString::fromLatin1(name));
        const std::size_t before = shell.records().size();
        Form1->MSExel1->trigger();
        ASSERT_EQ(shell.records().size(), before + 1);
        EXPECT_EQ(shell.records().back().program, programs.path(QStringLiteral("localc")));
        EXPECT_EQ(shell.records().back().arguments, QStringList{data});
        EXPECT_FALSE(QFile::exists(data + QStringLiteral(".txt"))) << "no copy";
        expectItemsDisabled();
    }
}

TEST_F(Export, AnUnreadableDataFileKeepsTheEarlierCopyAndStartsNothing)
{
    const QString data = put(QStringLiteral("P.dan"), "1.5\r\n");
    select(QStringLiteral("P.dan"));
    Form1->MSExel1->trigger();
    const std::string earlier = bytesOf(folder + QStringLiteral("/P.dan.txt"));
    ASSERT_FALSE(earlier.empty());

    // The file goes while it is still selected in the list.
    select(QStringLiteral("P.dan"));
    ASSERT_TRUE(QFile::remove(data));
    Form1->MSExel1->trigger();
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Błąd otwarcia pliku.."));
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Błąd..."));
    EXPECT_EQ(boxes.records()[0].flags, unsigned(platform::MB_OK));
    EXPECT_EQ(bytesOf(folder + QStringLiteral("/P.dan.txt")), earlier) << "the earlier copy is not emptied";
    EXPECT_EQ(shell.records().size(), 1u) << "nothing is started";
    expectItemsDisabled();
    EXPECT_FALSE(Form1->FileListBox1->Items().contains(QStringLiteral("P.dan"))) << "the list was read again";
}

TEST_F(Export, ACopyThatCannotBeWrittenIsReported)
{
    put(QStringLiteral("P.dan"), "1.5\r\n");
    // Something that is no file holds the copy's name.
    cwd.mkdir(QStringLiteral("dane pomiarowe/P.dan.txt"));
    select(QStringLiteral("P.dan"));
    Form1->OpenOffice1->trigger();
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Błąd, Zmień nazwę lub zamknij plik Arkusza kalkulacyjnego"));
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Błąd..."));
    EXPECT_TRUE(shell.records().empty());
    expectItemsDisabled();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("P.dan")}) << "no temporary file is left";
}

TEST_F(Export, TheExplorerOpensTheBrowsedFolderOrSaysItCannot)
{
    Form1->MSEksplorer1->trigger();
    ASSERT_EQ(shell.records().size(), 1u);
    EXPECT_EQ(shell.records()[0].operation, QStringLiteral("explore"));
    EXPECT_EQ(shell.records()[0].program, programs.path(QStringLiteral("xdg-open")));
    EXPECT_EQ(shell.records()[0].arguments, QStringList{folder});
    EXPECT_TRUE(boxes.records().empty());

    shell.answer(false);
    Form1->MSEksplorer1->trigger();
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Dostęp zabroniony!"));
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Uwaga!"));
    EXPECT_EQ(boxes.records()[0].flags, unsigned(platform::MB_OK));
}
