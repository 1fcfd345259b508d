#include "platform/vcl/VclShell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

#include <memory>
#include <utility>
#include <vector>

#include <unistd.h>

namespace platform {

int startFailureWindowMs = 10000;

namespace {

// Watched programs stay our children until they end, so that their exit status tells a
// failure at once; the list keeps them reachable. They are never killed: a program
// still running when this one ends goes on, as a detached one would.
std::vector<QProcess*>& runningPrograms()
{
    static auto* programs = new std::vector<QProcess*>;
    return *programs;
}

bool startWatched(const QString& program, const QStringList& arguments, const QString& directory,
                  std::function<void(bool)> watched)
{
    auto* process = new QProcess;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setWorkingDirectory(directory);
    // Its output goes nowhere: a full pipe that nobody reads would stop it.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    // A session of its own, so that the terminal's signals to this program pass it by.
    process->setChildProcessModifier([] { ::setsid(); });
    process->start();
    if (!process->waitForStarted(5000)) {
        delete process;
        return false;
    }
    runningPrograms().push_back(process);
    // Told once: by the end of the program within the window, else by the window's end.
    auto report = std::make_shared<std::function<void(bool)>>(std::move(watched));
    QObject::connect(process, &QProcess::finished, process, [process, report](int code, QProcess::ExitStatus how) {
        if (*report)
            std::exchange(*report, {})(how == QProcess::NormalExit && code == 0);
        std::erase(runningPrograms(), process);
        process->deleteLater();
    });
    QTimer::singleShot(startFailureWindowMs, process, [report] {
        if (*report)
            std::exchange(*report, {})(true);
    });
    return true;
}

QString unquoted(QString text)
{
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        text = text.mid(1, text.size() - 2);
    return text;
}

bool isSpreadsheetProgram(const QString& file)
{
    const QString name = QFileInfo(unquoted(file)).fileName();
    return name.compare(QLatin1String("Excel.exe"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("scalc.exe"), Qt::CaseInsensitive) == 0;
}

// A folder to explore must be there: the file manager would only report it later.
bool canOpen(const ShellRequest& request)
{
    if (!request.url.isValid() || request.url.isEmpty())
        return false;
    if (request.operation.trimmed().compare(QLatin1String("explore"), Qt::CaseInsensitive) == 0)
        return request.url.isLocalFile() && QFileInfo(request.url.toLocalFile()).isDir();
    return true;
}

} // namespace

QUrl ShellTarget(const QString& operation, const QString& file, const QString& parameters, const QString& directory)
{
    const QString op = operation.trimmed().toLower();
    if (!op.isEmpty() && op != QLatin1String("open") && op != QLatin1String("explore"))
        return QUrl();
    QString target = unquoted(file);
    if (target.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)) {
        // A Windows program with a document: the document is what is opened.
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

ShellRequest ShellResolve(const QString& operation, const QString& file, const QString& parameters,
                          const QString& directory, const QString& importFilter)
{
    ShellRequest request{
        operation, file, parameters, directory, importFilter, ShellTarget(operation, file, parameters, directory),
        {},        {}};
    if (!canOpen(request))
        return request;
    const QString target = request.url.isLocalFile() ? request.url.toLocalFile() : request.url.toString();
    if (isSpreadsheetProgram(file)) {
        QStringList options;
        if (!importFilter.isEmpty())
            options << QStringLiteral("--infilter=") + importFilter;
        if (const QString calc = QStandardPaths::findExecutable(QStringLiteral("localc")); !calc.isEmpty()) {
            request.program = calc;
            request.arguments = options << target;
            return request;
        }
        if (const QString office = QStandardPaths::findExecutable(QStringLiteral("libreoffice")); !office.isEmpty()) {
            request.program = office;
            request.arguments = QStringList{QStringLiteral("--calc")} << options << target;
            return request;
        }
    }
    if (const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open")); !opener.isEmpty()) {
        request.program = opener;
        request.arguments = QStringList{target};
    }
    return request;
}

bool ShellExecute(const QString& operation, const QString& file, const QString& parameters, const QString& directory,
                  const QString& importFilter, std::function<void(bool)> watched)
{
    const ShellRequest request = ShellResolve(operation, file, parameters, directory, importFilter);
    if (ShellScript* script = ShellScript::current())
        return script->take(request) && canOpen(request);
    if (!canOpen(request))
        return false;
    if (!request.program.isEmpty())
        return startWatched(request.program, request.arguments, directory, std::move(watched));
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
