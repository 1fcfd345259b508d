#include "platform/VclLists.h"

#include "platform/VclMemo.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace vcl {

namespace {

QString absoluteDir(const QString& dir)
{
    return QDir::cleanPath(QDir(dir).absolutePath());
}

// The same folder by name or through links. Folder names that differ only in case are
// different folders here.
bool sameFolder(const QString& a, const QString& b)
{
    if (absoluteDir(a) == absoluteDir(b))
        return true;
    const QString ca = QFileInfo(a).canonicalFilePath(), cb = QFileInfo(b).canonicalFilePath();
    return !ca.isEmpty() && ca == cb;
}

void enter(const QString& dir)
{
    if (!QDir::setCurrent(dir))
        throw Exception(QStringLiteral("Nie można otworzyć folderu ") + QDir::toNativeSeparators(dir));
}

bool lessIgnoringCase(const QString& a, const QString& b)
{
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

std::vector<QRegularExpression> maskPatterns(const QString& mask)
{
    std::vector<QRegularExpression> patterns;
    for (QString part : mask.split(QLatin1Char(';'))) {
        part = part.trimmed();
        if (part.isEmpty())
            continue;
        if (part == QLatin1String("*.*"))   // the system's "all files", dot or not
            part = QStringLiteral("*");
        patterns.emplace_back(QRegularExpression::wildcardToRegularExpression(part),
                              QRegularExpression::CaseInsensitiveOption);
    }
    return patterns;
}

} // namespace

// ---- TDirectoryListBox

TDirectoryListBox::TDirectoryListBox(QWidget* parent)
    : TControlT<QListWidget>(parent), directory_(QDir::currentPath())
{
    resize(145, 97);
    build();
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const QString path = item->data(Qt::UserRole).toString();
        Guarded([&] { SetDirectory(path); });
    });
}

void TDirectoryListBox::SetDirectory(const QString& directory)
{
    if (sameFolder(directory, directory_))
        return;
    enter(absoluteDir(directory));
    directory_ = QDir::currentPath();
    build();
    if (fileList_)
        fileList_->SetDirectory(directory_);
    FireFromCode(OnChange, this);
}

void TDirectoryListBox::SetFileList(TFileListBox* fileList)
{
    fileList_ = fileList;
    if (fileList)
        fileList->SetDirectory(directory_);
}

void TDirectoryListBox::Update()
{
    build();
}

void TDirectoryListBox::build()
{
    clear();
    QStringList chain;
    for (QDir d(directory_);; ) {
        chain.prepend(d.absolutePath());
        if (d.isRoot() || !d.cdUp())
            break;
    }
    int level = 0;
    for (const QString& path : chain) {
        const QString name = QDir(path).isRoot() ? path : QFileInfo(path).fileName();
        auto* item = new QListWidgetItem(QString(level * 2, QLatin1Char(' ')) + name, this);
        item->setData(Qt::UserRole, path);
        ++level;
    }
    setCurrentRow(count() - 1);
    QStringList subfolders = QDir(directory_).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(subfolders.begin(), subfolders.end(), lessIgnoringCase);
    for (const QString& sub : subfolders) {
        auto* item = new QListWidgetItem(QString(level * 2, QLatin1Char(' ')) + sub, this);
        item->setData(Qt::UserRole, QDir(directory_).filePath(sub));
    }
}

// ---- TFileListBox

TFileListBox::TFileListBox(QWidget* parent)
    : TControlT<QListWidget>(parent), directory_(QDir::currentPath())
{
    resize(145, 97);
    read();
    connect(this, &QListWidget::clicked, this, [this] { Fire(OnClick, this); });
    connect(this, &QListWidget::doubleClicked, this, [this] { Fire(OnDblClick, this); });
}

void TFileListBox::SetDirectory(const QString& directory)
{
    if (sameFolder(directory, directory_))
        return;
    enter(absoluteDir(directory));
    directory_ = QDir::currentPath();
    read();
}

void TFileListBox::SetMask(const QString& mask)
{
    if (mask == mask_)
        return;
    mask_ = mask;
    read();
}

QString TFileListBox::FileName() const
{
    const QListWidgetItem* item = currentItem();
    if (currentRow() < 0 || !item)
        return QString();
    return QDir(directory_).filePath(item->text());
}

void TFileListBox::SetFileName(const QString& fileName)
{
    const QString name = QFileInfo(fileName).fileName();
    int row = -1;
    for (int i = 0; i < count() && row < 0; ++i) {
        if (item(i)->text() == name)
            row = i;
    }
    for (int i = 0; i < count() && row < 0; ++i) {
        if (QString::compare(item(i)->text(), name, Qt::CaseInsensitive) == 0)
            row = i;
    }
    SetItemIndex(row);
}

void TFileListBox::SetItemIndex(int index)
{
    if (index < 0 || index >= count()) {
        setCurrentRow(-1);
        clearSelection();
        return;
    }
    setCurrentRow(index);
}

QStringList TFileListBox::Items() const
{
    QStringList items;
    for (int i = 0; i < count(); ++i)
        items << item(i)->text();
    return items;
}

void TFileListBox::Update()
{
    read();
}

void TFileListBox::read()
{
    const QString selected = currentRow() >= 0 && currentItem() ? currentItem()->text() : QString();
    clear();
    // Reading the list enters its folder; a folder that has gone leaves the list empty.
    if (!QDir::setCurrent(directory_))
        return;
    const auto patterns = maskPatterns(mask_);
    QStringList names;
    for (const QFileInfo& info : QDir(directory_).entryInfoList(QDir::Files, QDir::NoSort)) {
        const QString name = info.fileName();
        if (std::any_of(patterns.begin(), patterns.end(),
                        [&](const QRegularExpression& re) { return re.match(name).hasMatch(); }))
            names << name;
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    addItems(names);
    setCurrentRow(-1);
    if (!selected.isEmpty())
        SetItemIndex(static_cast<int>(names.indexOf(selected)));
}

void TFileListBox::keyPressEvent(QKeyEvent* e)
{
    const int before = currentRow();
    TControlT<QListWidget>::keyPressEvent(e);
    if (currentRow() != before)
        Fire(OnClick, this);
}

// ---- TMemoLines

namespace {

// Lines the program writes are no edits of the user's. Kept in the undo history, every
// line ever added or dropped would stay in memory for good (a memo with a line limit
// fed for days), and the user's undo could take a reading away. As with the class
// library's text list, such a change also ends what the user could undo before it.
class ProgramEdit {
public:
    explicit ProgramEdit(QPlainTextEdit* memo) : doc_(memo->document()), undo_(doc_->isUndoRedoEnabled())
    {
        doc_->setUndoRedoEnabled(false);
    }
    ~ProgramEdit() { doc_->setUndoRedoEnabled(undo_); }
    ProgramEdit(const ProgramEdit&) = delete;
    ProgramEdit& operator=(const ProgramEdit&) = delete;

private:
    QTextDocument* doc_;
    bool undo_;
};

} // namespace

int TMemoLines::Count() const
{
    if (list_)
        return list_->LineCount();
    const QTextDocument* doc = memo_->document();
    if (doc->isEmpty())
        return 0;
    const int blocks = doc->blockCount();
    return doc->lastBlock().text().isEmpty() ? blocks - 1 : blocks;
}

QString TMemoLines::Get(int index) const
{
    if (list_)
        return list_->Line(index);
    if (index < 0 || index >= Count())
        return QString();
    return memo_->document()->findBlockByNumber(index).text();
}

void TMemoLines::Add(const QString& text)
{
    Insert(Count(), text);
}

void TMemoLines::Insert(int index, const QString& text)
{
    if (list_)
        return list_->InsertLine(index, text);
    const int n = Count();
    if (index < 0 || index > n)
        return;
    const ProgramEdit edit(memo_);
    QTextDocument* doc = memo_->document();
    QTextCursor c(doc);
    if (index < n) {
        c.setPosition(doc->findBlockByNumber(index).position());
        c.insertText(text + QLatin1Char('\n'));
        return;
    }
    c.movePosition(QTextCursor::End);
    // Each line keeps its line break, so the next line goes after it.
    if (doc->isEmpty() || doc->lastBlock().text().isEmpty())
        c.insertText(text + QLatin1Char('\n'));
    else
        c.insertText(QLatin1Char('\n') + text + QLatin1Char('\n'));
}

void TMemoLines::Delete(int index)
{
    if (list_)
        return list_->DeleteLine(index);
    const int n = Count();
    if (index < 0 || index >= n)
        return;
    const ProgramEdit edit(memo_);
    QTextDocument* doc = memo_->document();
    const QTextBlock block = doc->findBlockByNumber(index);
    QTextCursor c(doc);
    if (block.next().isValid()) {
        c.setPosition(block.position());
        c.setPosition(block.next().position(), QTextCursor::KeepAnchor);
    } else {
        // The last line has no line break after it: take the one before it.
        c.setPosition(std::max(0, block.position() - 1));
        c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    c.removeSelectedText();
}

void TMemoLines::Clear()
{
    if (list_)
        return list_->clear();
    memo_->clear();
}

QString TMemoLines::Text() const
{
    const QStringList lines = ToList();
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QStringList TMemoLines::ToList() const
{
    if (list_)
        return list_->LineList();
    QStringList lines;
    const int n = Count();
    QTextBlock block = memo_->document()->firstBlock();
    for (int i = 0; i < n && block.isValid(); ++i, block = block.next())
        lines << block.text();
    return lines;
}

void TMemoLines::Assign(const QStringList& lines)
{
    if (list_)
        return list_->setPlainText(lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    memo_->setPlainText(lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

// ---- Grid cells

QString Cell(const QTableWidget* grid, int col, int row)
{
    const QTableWidgetItem* item = grid->item(row, col);
    return item ? item->text() : QString();
}

void SetCell(QTableWidget* grid, int col, int row, const QString& text)
{
    if (col < 0 || row < 0 || col >= grid->columnCount() || row >= grid->rowCount())
        return;
    if (QTableWidgetItem* item = grid->item(row, col))
        item->setText(text);
    else
        grid->setItem(row, col, new QTableWidgetItem(text));
}

} // namespace vcl
