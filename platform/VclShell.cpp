#include "platform/VclShell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace platform {

namespace {


QString unquoted(QString text)
{
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        text = text.mid(1, text.size() - 2);
    return text;
}

} // namespace

QUrl ShellTarget(const QString& operation, const QString& file, const QString& parameters,
                 const QString& directory)
{
    const QString op = operation.trimmed().toLower();
    if (!op.isEmpty() && op != QLatin1String("open") && op != QLatin1String("explore"))
        return QUrl();
    QString target = unquoted(file);
    if (target.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)) {
        // A Windows program with a document: the desktop opens the document.
        target = unquoted(parameters);
        if (target.isEmpty())
            return QUrl();
    }
    if (target.isEmpty())
        return QUrl();
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(target).hasMatch())
        return QUrl(target);
    if (target.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        return QUrl(QStringLiteral("http://") + target);
    const QDir base(directory.isEmpty() ? QDir::currentPath() : directory);
    return QUrl::fromLocalFile(QFileInfo(base, target).absoluteFilePath());
}

bool ShellExecute(const QString& operation, const QString& file, const QString& parameters,
                  const QString& directory)
{
    const ShellRequest request{operation, file, parameters, directory,
                               ShellTarget(operation, file, parameters, directory)};
    if (ShellScript* script = ShellScript::current())
        return script->take(request) && request.url.isValid();
    if (!request.url.isValid() || request.url.isEmpty())
        return false;
    return QDesktopServices::openUrl(request.url);
}


bool ShellScript::take(const ShellRequest& request)
{
    records_.push_back(request);
    if (answers_.empty())
        return true;
    const bool ok = answers_.front();
    answers_.pop_front();
    return ok;
}

} // namespace platform
