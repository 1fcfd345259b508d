#include "platform/vcl/VclLists.h"

#include "platform/vcl/VclMemo.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QRegularExpression>
#include <algorithm>

namespace vcl {

namespace {

QString absoluteDir(const QString& dir) { return QDir::cleanPath(QDir(dir).absolutePath()); }

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
        if (part == QLatin1String("*.*")) // the system's "all files", dot or not
            part = QStringLiteral("*");
        patterns.emplace_back(QRegularExpression::wildcardToRegularExpression(part),
                              QRegularExpression::CaseInsensitiveOption);
    }
    return patterns;
}

} // namespace

// ---- TDirectoryListBox

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : TControlT<QListWidget>(parent), directory_(QDir::currentPath())
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

void TDirectoryListBox::Update() { build(); }

void TDirectoryListBox::build()
{
    clear();
    QStringList chain;
    for (QDir d(directory_);;) {
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

TFileListBox::TFileListBox(QWidget* parent) : TControlT<QListWidget>(parent), directory_(QDir::currentPath())
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

void TFileListBox::Update() { read(); }

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

// The lines joined so that each one ends with a line feed.
QString endedLines(const QStringList& lines)
{
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace

int TMemoLines::Count() const { return memo_->LineCount(); }
QString TMemoLines::Get(int index) const { return memo_->Line(index); }
void TMemoLines::Add(const QString& text) { memo_->InsertLine(memo_->LineCount(), text); }
void TMemoLines::Insert(int index, const QString& text) { memo_->InsertLine(index, text); }
void TMemoLines::Delete(int index) { memo_->DeleteLine(index); }
void TMemoLines::Clear() { memo_->clear(); }
QString TMemoLines::Text() const { return endedLines(ToList()); }
QStringList TMemoLines::ToList() const { return memo_->LineList(); }
void TMemoLines::Assign(const QStringList& lines) { memo_->setPlainText(endedLines(lines)); }

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
