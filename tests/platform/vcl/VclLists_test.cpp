// Folder and file lists (and the current directory they set), the memo's lines as a
// text list (compared with a plain text edit's document), grid cells.

#include "platform/vcl/VclForms.h"
#include "platform/vcl/VclLists.h"
#include "platform/vcl/VclMemo.h"
#include "tests/support/ProcessMemory.h"
#include "tests/support/QtInput.h"
#include "tests/support/QtTestApp.h"

#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>
#include <memory>
#include <random>

using namespace vcl;

namespace {

QString canonical(const QString& path) { return QFileInfo(path).canonicalFilePath(); }

struct VclLists : ::testing::Test {
    testsupport::TempCwd tmp;
    std::unique_ptr<TForm> form = std::make_unique<TForm>();
    QString data, other;
    void SetUp() override
    {
        data = tmp.mkdir("Pomiary");
        other = tmp.mkdir("Inne");
        for (const char* name : {"a.txt", "B.DAN", "c.Dan", "d.csv", "e.txt.bak", "f", "Z.txt"})
            tmp.file(QStringLiteral("Pomiary/") + QString::fromUtf8(name), "x");
        tmp.mkdir("Pomiary/sub.dan");
        tmp.file("Inne/k.dan", "y");
    }
    bool cwdIs(const QString& dir) const { return canonical(QDir::currentPath()) == canonical(dir); }
};

} // namespace

TEST_F(VclLists, MaskMatchesIgnoringCaseAndTheListIsSorted)
{
    auto* files = new TFileListBox(form.get());
    struct Case {
        const char* mask;
        QStringList items;
    };
    const Case cases[] = {
        {"*.txt;*.dan;", {"a.txt", "B.DAN", "c.Dan", "Z.txt"}},
        {"*.dan;", {"B.DAN", "c.Dan"}},
        {"*.*", {"a.txt", "B.DAN", "c.Dan", "d.csv", "e.txt.bak", "f", "Z.txt"}},
        {";;*.CSV", {"d.csv"}},
    };
    files->SetDirectory(data);
    for (const Case& c : cases) {
        files->SetMask(QString::fromUtf8(c.mask));
        EXPECT_EQ(files->Items(), c.items) << c.mask;
        EXPECT_EQ(files->ItemCount(), c.items.size());
    }
}

TEST_F(VclLists, AnotherFolderBecomesCurrentRunsOnChangeAndRereadsTheFileList)
{
    auto* dirs = new TDirectoryListBox(form.get());
    auto* files = new TFileListBox(form.get());
    files->SetMask(QStringLiteral("*.txt;*.dan;"));
    dirs->SetFileList(files);
    ASSERT_TRUE(cwdIs(tmp.path()));
    EXPECT_TRUE(cwdIs(dirs->Directory()));

    int changes = 0;
    QString listedDir;
    QStringList listed;
    dirs->OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, dirs);
        ++changes;
        // What the file list shows when the handler runs.
        listedDir = files->Directory();
        listed = files->Items();
    };
    dirs->SetDirectory(data);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(canonical(listedDir), canonical(data));
    EXPECT_EQ(listed, (QStringList{"a.txt", "B.DAN", "c.Dan", "Z.txt"}));
    EXPECT_TRUE(cwdIs(data));
    EXPECT_EQ(canonical(dirs->Directory()), canonical(data));

    // The same folder, however written, does nothing (not even make it current).
    QDir::setCurrent(other);
    for (const QString& same : {data, data + "/", data + "/./", data + "/sub.dan/.."}) {
        dirs->SetDirectory(same);
        EXPECT_EQ(changes, 1) << same.toStdString();
        EXPECT_TRUE(cwdIs(other));
    }

    // A relative folder follows the current directory.
    dirs->SetDirectory(QStringLiteral("../Inne"));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(listed, QStringList{"k.dan"});
    EXPECT_TRUE(cwdIs(other));
}

TEST_F(VclLists, AFolderThatCannotBeEnteredChangesNothing)
{
    auto* dirs = new TDirectoryListBox(form.get());
    int changes = 0;
    dirs->OnChange = [&](TObject*) { ++changes; };
    const QString before = dirs->Directory();
    EXPECT_THROW(dirs->SetDirectory(tmp.path() + "/Brak"), Exception);
    EXPECT_EQ(dirs->Directory(), before);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(cwdIs(tmp.path()));
}

TEST_F(VclLists, UpdateRereadsAndMakesTheFileListsFolderCurrent)
{
    auto* files = new TFileListBox(form.get());
    files->SetMask(QStringLiteral("*.dan;"));
    files->SetDirectory(data);
    files->SetFileName(QStringLiteral("c.dan")); // the list's name, found ignoring case
    EXPECT_EQ(files->ItemIndex(), 1);
    EXPECT_EQ(files->FileName(), QDir(files->Directory()).filePath("c.Dan"));

    QDir::setCurrent(other);
    tmp.file("Pomiary/A0.dan", "z");
    files->Update();
    EXPECT_TRUE(cwdIs(data));
    EXPECT_EQ(files->Items(), (QStringList{"A0.dan", "B.DAN", "c.Dan"}));
    EXPECT_EQ(files->ItemIndex(), 2); // still c.Dan

    files->SetItemIndex(-1);
    EXPECT_EQ(files->FileName(), QString());
    // Pointing it at the folder it has does nothing, not even make it current.
    QDir::setCurrent(other);
    files->SetDirectory(data + "/.");
    EXPECT_TRUE(cwdIs(other));
}

TEST_F(VclLists, FoldersWhoseNamesDifferInCaseAreDifferentFolders)
{
    const QString lower = tmp.mkdir("pomiary"); // beside "Pomiary"
    if (canonical(lower) == canonical(data))
        GTEST_SKIP() << "this file system does not tell names apart by case";
    tmp.file("pomiary/m.dan", "m");
    auto* dirs = new TDirectoryListBox(form.get());
    auto* files = new TFileListBox(form.get());
    files->SetMask(QStringLiteral("*.txt;*.dan;"));
    dirs->SetFileList(files);
    int changes = 0;
    dirs->OnChange = [&](TObject*) { ++changes; };

    const struct {
        QString chosen, other;
        QStringList items;
    } cases[] = {
        {lower, data, {"m.dan"}}, {data, lower, {"a.txt", "B.DAN", "c.Dan", "Z.txt"}}, {lower, data, {"m.dan"}}};
    for (const auto& c : cases) {
        dirs->SetDirectory(c.chosen);
        EXPECT_EQ(changes, &c - cases + 1);
        EXPECT_EQ(canonical(dirs->Directory()), canonical(c.chosen));
        EXPECT_EQ(canonical(files->Directory()), canonical(c.chosen));
        EXPECT_EQ(files->Items(), c.items);
        EXPECT_TRUE(cwdIs(c.chosen));
        // What is then written by a name without a folder lands in the chosen folder.
        QFile written(QStringLiteral("nowy.txt"));
        ASSERT_TRUE(written.open(QIODevice::WriteOnly));
        written.close();
        EXPECT_TRUE(QFileInfo::exists(c.chosen + "/nowy.txt"));
        EXPECT_FALSE(QFileInfo::exists(c.other + "/nowy.txt"));
        QFile::remove(c.chosen + "/nowy.txt");
    }
}

TEST_F(VclLists, UserClicksRunOnClickAndOnDblClickCodeDoesNot)
{
    auto* files = new TFileListBox(form.get());
    files->SetBounds(0, 0, 200, 200);
    files->SetMask(QStringLiteral("*.txt;*.dan;"));
    files->SetDirectory(data);
    form->Show();
    std::vector<QString> clicked, opened;
    files->OnClick = [&](TObject*) { clicked.push_back(QFileInfo(files->FileName()).fileName()); };
    files->OnDblClick = [&](TObject*) { opened.push_back(QFileInfo(files->FileName()).fileName()); };
    files->SetItemIndex(0);
    EXPECT_TRUE(clicked.empty());
    testsupport::MouseClick(files->viewport(), files->visualItemRect(files->item(2)).center());
    testsupport::KeyClick(files, Qt::Key_Down);
    testsupport::MouseDoubleClick(files->viewport(), files->visualItemRect(files->item(1)).center());
    EXPECT_EQ(clicked, (std::vector<QString>{"c.Dan", "Z.txt", "B.DAN"}));
    EXPECT_EQ(opened, std::vector<QString>{"B.DAN"});
    form->Hide();
}

TEST_F(VclLists, FolderListOpensTheEntryTheUserActivates)
{
    auto* dirs = new TDirectoryListBox(form.get());
    dirs->SetBounds(0, 0, 200, 300);
    form->Show();
    int changes = 0;
    dirs->OnChange = [&](TObject*) { ++changes; };
    QListWidgetItem* entry = nullptr;
    for (int i = 0; i < dirs->count(); ++i) {
        if (dirs->item(i)->text().trimmed() == QLatin1String("Pomiary"))
            entry = dirs->item(i);
    }
    ASSERT_NE(entry, nullptr);
    dirs->setCurrentItem(entry);
    testsupport::KeyClick(dirs, Qt::Key_Return);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(cwdIs(data));
    EXPECT_EQ(dirs->item(dirs->count() - 1)->text().trimmed(), QStringLiteral("sub.dan"));
    form->Hide();
}

TEST(VclMemoLines, LinesBehaveLikeTheClassLibrarysTextList)
{
    TMemo memo;
    TMemoLines lines = Lines(&memo);
    struct Case {
        const char* text;
        QStringList lines;
    };
    const Case cases[] = {
        {"", {}}, {"\n", {""}}, {"a", {"a"}}, {"a\n", {"a"}}, {"a\n\n", {"a", ""}}, {"a\nb", {"a", "b"}},
    };
    for (const Case& c : cases) {
        memo.setPlainText(QString::fromUtf8(c.text));
        EXPECT_EQ(lines.Count(), c.lines.size()) << c.text;
        EXPECT_EQ(lines.ToList(), c.lines) << c.text;
    }

    lines.Clear();
    lines.Add(QStringLiteral("2024-01-01 10:00:00 1.0"));
    lines.Add(QStringLiteral("2024-01-01 10:00:01 2.0"));
    lines.Add(QStringLiteral("łódź"));
    EXPECT_EQ(lines.Count(), 3);
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("2024-01-01 10:00:00 1.0\n2024-01-01 10:00:01 2.0\nłódź\n"));
    lines.Delete(0);
    EXPECT_EQ(lines[0], QStringLiteral("2024-01-01 10:00:01 2.0"));
    lines.Insert(0, QStringLiteral("Nazwa pomiaru:"));
    EXPECT_EQ(lines.ToList(), (QStringList{"Nazwa pomiaru:", "2024-01-01 10:00:01 2.0", "łódź"}));
    EXPECT_EQ(lines.Text(), QStringLiteral("Nazwa pomiaru:\n2024-01-01 10:00:01 2.0\nłódź\n"));

    // After text without a final line break, a new line still starts on a line of its own.
    memo.setPlainText(QStringLiteral("x\ny"));
    lines.Add(QStringLiteral("z"));
    EXPECT_EQ(lines.ToList(), (QStringList{"x", "y", "z"}));
    memo.setPlainText(QStringLiteral("x\ny"));
    lines.Delete(1);
    EXPECT_EQ(lines.ToList(), QStringList{"x"});
    lines.Delete(0);
    EXPECT_EQ(lines.Count(), 0);
    lines.Delete(0); // nothing to delete
    EXPECT_EQ(lines.Get(5), QString());

    lines.Assign({"k1", "k2"});
    EXPECT_EQ(lines.Count(), 2);
}

TEST(VclMemoLines, LinesTheProgramWritesAreNoUndoHistory)
{
    TMemo memo;
    TMemoLines lines = Lines(&memo);
    const auto undo = [&] { testsupport::KeyClick(&memo, Qt::Key_Z, QString(), Qt::ControlModifier); };
    testsupport::TypeText(&memo, QStringLiteral("?B_U &")); // the user's own edit
    EXPECT_TRUE(memo.CanUndo());
    lines.Add(QStringLiteral("2024-03-05 14:07:09 21.4 22.0"));
    undo();
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("?B_U &\n2024-03-05 14:07:09 21.4 22.0\n"))
        << "undo took away a line the program wrote";
    testsupport::KeyClick(&memo, Qt::Key_End, QString(), Qt::ControlModifier);
    testsupport::TypeText(&memo, QStringLiteral("x"));
    undo();
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("?B_U &\n2024-03-05 14:07:09 21.4 22.0\n"))
        << "the user's next edit can be undone again";
    EXPECT_FALSE(memo.CanUndo());

    // A text list with a line limit, fed for long, takes no memory beyond its lines; the
    // event loop runs between the lines, as in the program.
    const double before = testsupport::heldMb();
    for (int i = 0; i < 100000; ++i) {
        if (lines.Count() >= 200)
            lines.Delete(0);
        lines.Add(QStringLiteral("2024-03-05 14:07:09 %1 22.0 -.- 3.61").arg(i, 8));
        if (i % 500 == 0)
            testsupport::ProcessPending();
    }
    EXPECT_EQ(lines.Count(), 200);
    EXPECT_LT(testsupport::heldMb() - before, 8.0) << "MB for 100000 lines through 200 places";
}

// A plain text edit's document read and changed as a text list, the way a text
// document counts its lines: what the layer's memo is compared with.
class DocumentLines {
public:
    explicit DocumentLines(QPlainTextEdit& edit) : doc_(edit.document()) {}
    int Count() const
    {
        if (doc_->isEmpty())
            return 0;
        return doc_->lastBlock().text().isEmpty() ? doc_->blockCount() - 1 : doc_->blockCount();
    }
    QString Get(int index) const
    {
        return index >= 0 && index < Count() ? doc_->findBlockByNumber(index).text() : QString();
    }
    QStringList ToList() const
    {
        QStringList lines;
        for (int i = 0; i < Count(); ++i)
            lines << Get(i);
        return lines;
    }
    void Insert(int index, const QString& text)
    {
        const int n = Count();
        if (index < 0 || index > n)
            return;
        QTextCursor c(doc_);
        if (index < n) {
            c.setPosition(doc_->findBlockByNumber(index).position());
            c.insertText(text + QLatin1Char('\n'));
            return;
        }
        c.movePosition(QTextCursor::End);
        const bool lineEnded = doc_->isEmpty() || doc_->lastBlock().text().isEmpty();
        c.insertText((lineEnded ? QString() : QStringLiteral("\n")) + text + QLatin1Char('\n'));
    }
    void Add(const QString& text) { Insert(Count(), text); }
    void Delete(int index)
    {
        if (index < 0 || index >= Count())
            return;
        const QTextBlock block = doc_->findBlockByNumber(index);
        QTextCursor c(doc_);
        if (block.next().isValid()) {
            c.setPosition(block.position());
            c.setPosition(block.next().position(), QTextCursor::KeepAnchor);
        } else {
            c.setPosition(std::max(0, block.position() - 1));
            c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        }
        c.removeSelectedText();
    }

private:
    QTextDocument* doc_;
};

TEST(VclMemoLines, TheLayersMemoHoldsWhatAPlainTextEditHolds)
{
    // The same random changes, through the text list and as a plain text edit takes
    // them, on both memos; the lines are compared after each.
    QPlainTextEdit plain;
    DocumentLines reference(plain);
    TMemo own;
    std::mt19937 random(1250);
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const QStringList texts = {"", "21.5", "a\nb", "x\r\n", QStringLiteral("łódź"), QStringLiteral("数"), "\n"};
    auto text = [&] { return texts[pick(int(texts.size()))]; };
    const auto ended = [](const QStringList& lines) { return lines.isEmpty() ? QString() : lines.join('\n') + '\n'; };
    for (int step = 0; step < 2000; ++step) {
        const int n = reference.Count();
        const int index = pick(n + 2) - 1;
        const QString t = text();
        const QString u = text();
        switch (pick(8)) {
        case 0:
            reference.Add(t);
            Lines(&own).Add(t);
            break;
        case 1:
            reference.Insert(index, t);
            Lines(&own).Insert(index, t);
            break;
        case 2:
            reference.Delete(index);
            Lines(&own).Delete(index);
            break;
        case 3:
            plain.appendPlainText(t);
            own.appendPlainText(t);
            break;
        case 4:
            if (pick(20) == 0) {
                plain.clear();
                Lines(&own).Clear();
            }
            break;
        case 5:
            plain.setPlainText(ended({t, u}));
            Lines(&own).Assign({t, u});
            break;
        case 6:
            plain.setPlainText(t + u);
            own.setPlainText(t + u);
            break;
        default:
            reference.Add(t + t);
            Lines(&own).Add(t + t);
            break;
        }
        ASSERT_EQ(Lines(&own).ToList(), reference.ToList()) << "step " << step;
        ASSERT_EQ(Lines(&own).Count(), reference.Count());
        ASSERT_EQ(Lines(&own).Text(), ended(reference.ToList()));
        ASSERT_EQ(own.toPlainText(), plain.toPlainText());
        ASSERT_EQ(Lines(&own).Get(index), reference.Get(index));
    }
}

TEST(VclGrid, CellsAreAddressedColumnThenRow)
{
    QTableWidget grid(2, 35);
    EXPECT_EQ(Cell(&grid, 3, 1), QString());
    SetCell(&grid, 3, 1, QStringLiteral("21.5"));
    SetCell(&grid, 0, 0, QStringLiteral("k1"));
    SetCell(&grid, 40, 0, QStringLiteral("ignored"));
    EXPECT_EQ(Cell(&grid, 3, 1), QStringLiteral("21.5"));
    EXPECT_EQ(grid.item(1, 3)->text(), QStringLiteral("21.5"));
    EXPECT_EQ(Cell(&grid, 0, 0), QStringLiteral("k1"));
    SetCell(&grid, 3, 1, QString());
    EXPECT_EQ(Cell(&grid, 3, 1), QString());
}
