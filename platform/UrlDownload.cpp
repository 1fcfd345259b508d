#include "platform/UrlDownload.h"

#include "platform/Cp1250.h"
#include "platform/LineReader.h"
#include "platform/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>
#include <QTimer>

#include <cstdio>
#include <sys/stat.h>

namespace platform {

int UrlDownload::stallTimeoutMs = 30000;

namespace {

std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A copy of the previous file under a temporary name beside the backup, so the old
// backup stays until the new one is complete. Empty on failure.
QString copyAside(const QString& source, const QString& backup, QString& error)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(source, in.errorString());
        return {};
    }
    const QByteArray old = in.readAll();
    QTemporaryFile out(backup + QStringLiteral(".XXXXXX"));
    out.setAutoRemove(false);
    if (!out.open() || out.write(old) != old.size() || !out.flush()) {
        error = QStringLiteral("cannot write a backup beside %1: %2").arg(backup, out.errorString());
        if (!out.fileName().isEmpty())
            QFile::remove(out.fileName());
        return {};
    }
    out.setPermissions(in.permissions());
    out.close();
    return out.fileName();
}

} // namespace

UrlDownload::UrlDownload(QObject* parent) : QObject(parent), network_(new QNetworkAccessManager(this)) {}

UrlDownload::~UrlDownload()
{
    done_ = nullptr;
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        delete reply_;
    }
}

bool UrlDownload::allowed(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    // Plain HTTP carries no proof of who answered; only a server on this machine is trusted so.
    return scheme == QLatin1String("http") && QHostAddress(url.host()).isLoopback();
}

bool UrlDownload::start(const QUrl& url, const Target& target, Done done)
{
    if (running_)
        return false;
    running_ = true;
    target_ = target;
    // The steps go on later; the current directory may have changed by then.
    target_.path = QFileInfo(target.path).absoluteFilePath();
    if (!target.backup.isEmpty())
        target_.backup = QFileInfo(target.backup).absoluteFilePath();
    done_ = std::move(done);
    body_.clear();

    if (!allowed(url)) {
        const QString why = QStringLiteral("refused address %1").arg(url.toString());
        QTimer::singleShot(0, this, [this, why] { finish(false, why); });
        return true;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setTransferTimeout(stallTimeoutMs);
    reply_ = network_->get(request);
    connect(reply_, &QNetworkReply::readyRead, this, [this] { body_ += reply_->readAll(); });
    connect(reply_, &QNetworkReply::redirected, this, [this](const QUrl& next) {
        if (allowed(next)) {
            emit reply_->redirectAllowed();
        } else {
            refusedRedirect_ = next.toString();
            reply_->abort();
        }
    });
    connect(reply_, &QNetworkReply::finished, this, [this] { transferEnded(); });
    return true;
}

void UrlDownload::transferEnded()
{
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    reply->deleteLater();
    body_ += reply->readAll();

    QString error;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    if (!refusedRedirect_.isEmpty())
        error = QStringLiteral("refused redirect to %1").arg(refusedRedirect_);
    else if (reply->error() != QNetworkReply::NoError)
        error = reply->errorString();
    else if (status < 200 || status > 299)
        error = QStringLiteral("HTTP status %1").arg(status);
    else if (announced.isValid() && announced.toLongLong() != body_.size())
        error = QStringLiteral("%1 of %2 bytes arrived").arg(body_.size()).arg(announced.toLongLong());
    else
        error = commit(body_);
    refusedRedirect_.clear();
    finish(error.isEmpty(), error);
}

QString UrlDownload::commit(const QByteArray& body) const
{
    const QFileInfo old(target_.path);
    QString error;
    QString backupCopy;
    if (!target_.backup.isEmpty() && old.exists()) {
        backupCopy = copyAside(target_.path, target_.backup, error);
        if (backupCopy.isEmpty())
            return error;
    }
    std::string why;
    if (!ReplaceFile(nativePath(target_.path), body.constData(), std::size_t(body.size()), nullptr, &why)) {
        if (!backupCopy.isEmpty())
            QFile::remove(backupCopy);
        return QStringLiteral("cannot write %1: %2").arg(target_.path, QString::fromStdString(why));
    }
    if (target_.executable) {
        // Execute permission for whoever may read the program.
        const std::string real = nativePath(QFileInfo(target_.path).canonicalFilePath());
        struct stat st {};
        if (::stat(real.c_str(), &st) == 0)
            ::chmod(real.c_str(), (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2));
    }
    // The new file is in place; a backup that cannot take its name leaves the old backup.
    if (!backupCopy.isEmpty() && std::rename(nativePath(backupCopy).c_str(), nativePath(target_.backup).c_str()) != 0)
        QFile::remove(backupCopy);
    return {};
}

void UrlDownload::finish(bool ok, const QString& error)
{
    running_ = false;
    // The callback may start the next download at once.
    Done done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(ok, error);
}

QString ServerUrl(const char* variable, const QString& defaultBase, const QString& path)
{
    QString base = qEnvironmentVariable(variable);
    if (base.isEmpty())
        base = defaultBase;
    while (base.endsWith(u'/'))
        base.chop(1);
    return base + path;
}

bool CheckVersion(UrlDownload& download, const QUrl& url, const QString& notePath,
                  std::function<void(const QString& caption)> show)
{
    const QString note = QFileInfo(notePath).absoluteFilePath();
    return download.start(url, {note, {}, false}, [note, show](bool ok, const QString&) {
        if (!ok) {
            show(QStringLiteral("  Błąd pobierania"));
            return;
        }
        LineReader reader;
        if (!QFileInfo::exists(note) || !reader.open(nativePath(note))) {
            show(QStringLiteral("Błąd pliku!!"));
            return;
        }
        std::string line;
        reader.readLine(line, 39);
        reader.close();
        QFile::remove(note);
        show(cp1250ToUnicode(line));
    });
}

} // namespace platform
