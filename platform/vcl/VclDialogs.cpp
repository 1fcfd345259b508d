#include "platform/vcl/VclDialogs.h"

#include "platform/vcl/MessageBox.h"

#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QScopeGuard>

#include <sys/stat.h>

namespace vcl {

namespace {

bool isPattern(const QString& name) { return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')); }

QString& fileInUse()
{
    static QString path;
    return path;
}

// One file on disk, whatever the names: links and "." or ".." lead to the same inode.
// A file that is not there is compared by its absolute name.
bool sameFile(const QString& a, const QString& b)
{
    struct stat sa {
    }, sb{};
    if (::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

void sayFileInUse(const QString& path)
{
    platform::MessageBox(
        QStringLiteral("Plik %1 jest otwarty w programie.\nZapisz pod inną nazwą.").arg(QDir::toNativeSeparators(path)),
        QStringLiteral("Uwaga"), platform::MB_OK | platform::MB_ICONWARNING);
}

} // namespace

void SetFileInUse(const QString& path)
{
    fileInUse() = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

bool IsFileInUse(const QString& path)
{
    return !fileInUse().isEmpty() && !path.isEmpty() && sameFile(path, fileInUse());
}

TFileDialogBase::TFileDialogBase(QObject* owner, bool save) : QObject(owner), save_(save) {}

QString TFileDialogBase::QtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns)
            p = p.trimmed();
        entries << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

bool TFileDialogBase::Execute()
{
    const QString before = fileName_;
    for (;;) {
        const QString chosen = choose();
        if (chosen.isEmpty()) {
            fileName_ = before;
            return false;
        }
        // A refused name is offered again, for the user to change it.
        fileName_ = chosen;
        if (!save_ || mayWrite(chosen))
            return true;
    }
}

QString TFileDialogBase::choose()
{
    const DialogRecord record{
        save_ ? QStringLiteral("save") : QStringLiteral("open"), title_, initialDir_, fileName_, filter_, defaultExt_};
    // A folder this machine does not have (such as a Windows path) is no start: the
    // dialog would take it for a file name in the filesystem's root.
    const QString startDir = QFileInfo(initialDir_).isDir() ? initialDir_ : QDir::currentPath();
    QString chosen;
    if (DialogScript* script = DialogScript::current()) {
        const DialogScript::Answer answer = script->take(record);
        if (!answer.accept)
            return {};
        chosen = QFileInfo(QDir(startDir), answer.text).absoluteFilePath();
    } else {
        // Owned by the window the user is in, so that it opens above it; on the heap,
        // as the owner may close for good while it is open and take it along.
        QPointer<QFileDialog> dialog = new QFileDialog(platform::DialogOwner(), title_, startDir, QtFilter(filter_));
        const auto drop = qScopeGuard([&] { delete dialog.data(); });
        dialog->setAcceptMode(save_ ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        // As the class library's open dialog: a name that does not exist yet may be typed.
        dialog->setFileMode(QFileDialog::AnyFile);
        // The question about an existing file comes after the default extension is
        // added, so it is asked about the file really written (see mayWrite).
        dialog->setOption(QFileDialog::DontConfirmOverwrite);
        const QStringList filters = dialog->nameFilters();
        if (filterIndex_ >= 1 && filterIndex_ <= filters.size())
            dialog->selectNameFilter(filters[filterIndex_ - 1]);
        if (!fileName_.isEmpty() && !isPattern(fileName_))
            dialog->selectFile(fileName_);
        if (dialog->exec() != QDialog::Accepted || !dialog || dialog->selectedFiles().isEmpty())
            return {};
        chosen = dialog->selectedFiles().constFirst();
        filterIndex_ = static_cast<int>(filters.indexOf(dialog->selectedNameFilter())) + 1;
    }
    // A default extension written as a pattern ("*.bmp") adds the extension alone.
    QString ext = defaultExt_;
    while (ext.startsWith(QLatin1Char('*')) || ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    if (!ext.isEmpty() && QFileInfo(chosen).suffix().isEmpty())
        chosen += QLatin1Char('.') + ext;
    return chosen;
}

bool TFileDialogBase::mayWrite(const QString& path) const
{
    if (IsFileInUse(path)) {
        sayFileInUse(path);
        return false;
    }
    if (!overwritePrompt_ || !QFileInfo::exists(path))
        return true;
    return platform::MessageBox(
               QStringLiteral("Plik %1 już istnieje.\nCzy zamienić go?").arg(QDir::toNativeSeparators(path)),
               QStringLiteral("Uwaga"), platform::MB_YESNO | platform::MB_ICONWARNING) == platform::IDYES;
}

bool TColorDialog::Execute()
{
    if (DialogScript* script = DialogScript::current()) {
        const DialogScript::Answer answer = script->take({QStringLiteral("color"), {}, {}, {}, {}, {}});
        if (!answer.accept)
            return false;
        color_ = answer.color;
        return true;
    }
    const QColor chosen = QColorDialog::getColor(ToQColor(color_), platform::DialogOwner());
    if (!chosen.isValid())
        return false;
    color_ = FromQColor(chosen);
    return true;
}

QPrinter* Printer()
{
    // One printer for the whole run, as the class library's; it outlives every form.
    static QPrinter* printer = new QPrinter(QPrinter::HighResolution);
    return printer;
}

bool TPrintDialog::Execute()
{
    for (;;) {
        if (DialogScript* script = DialogScript::current()) {
            const DialogScript::Answer answer = script->take({QStringLiteral("print"), {}, {}, {}, {}, {}});
            if (!answer.accept)
                return false;
            Printer()->setOutputFormat(QPrinter::PdfFormat);
            Printer()->setOutputFileName(answer.text);
        } else {
            // Qt's own dialog asks before it prints into an existing file.
            QPointer<QPrintDialog> dialog = new QPrintDialog(Printer(), platform::DialogOwner());
            const auto drop = qScopeGuard([&] { delete dialog.data(); });
            if (dialog->exec() != QDialog::Accepted)
                return false;
        }
        const QString file = Printer()->outputFileName();
        if (Printer()->outputFormat() != QPrinter::PdfFormat || !IsFileInUse(file))
            return true;
        sayFileInUse(file);
    }
}

void DialogScript::answerFile(const QString& path) { answers_.push_back({true, path, clBlack}); }

void DialogScript::answerColor(TColor color) { answers_.push_back({true, QString(), color}); }

void DialogScript::answerPrintToPdf(const QString& path) { answers_.push_back({true, path, clBlack}); }

void DialogScript::cancel() { answers_.push_back({false, QString(), clBlack}); }

DialogScript::Answer DialogScript::take(const DialogRecord& record)
{
    records_.push_back(record);
    if (answers_.empty())
        return {};
    Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

} // namespace vcl
