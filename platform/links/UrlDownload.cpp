#include "platform/links/UrlDownload.h"

#include "platform/files/LineReader.h"
#include "platform/files/SafeFile.h"
#include "platform/text/Cp1250.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace platform {

int UrlDownload::stallTimeoutMs = 30000;
int UrlDownload::noteTimeLimitMs = 60 * 1000;
int UrlDownload::fileTimeLimitMs = 30 * 60 * 1000;

namespace {

// The maker's web and update server, unless the environment names another.
const char makerServer[] = "https://www.example.com";

// What the network layer may hold of a body before we take it; it stops reading from
// the socket when this is full, which slows the server down.
constexpr qint64 readBuffer = 256 * 1024;

std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

} // namespace

UrlDownload::UrlDownload(QObject* parent) : QObject(parent), network_(new QNetworkAccessManager(this))
{
    stall_.setSingleShot(true);
    connect(&stall_, &QTimer::timeout, this,
            [this] { stop(QStringLiteral("nothing arrived for %1 ms").arg(stallTimeoutMs)); });
    // A server that sends a byte now and then keeps the stall limit away for ever.
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this,
            [this] { stop(QStringLiteral("not done within %1 ms").arg(target_.timeLimitMs)); });
}

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
    const QString host = url.host();
    return scheme == QLatin1String("http") &&
           (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback());
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
    received_ = 0;
    error_.clear();

    const auto failLater = [this](const QString& why) {
        QTimer::singleShot(0, this, [this, why] { finish(false, why); });
    };
    if (!allowed(url)) {
        failLater(QStringLiteral("refused address %1").arg(url.toString()));
        return true;
    }
    file_ = std::make_unique<FileReplacement>();
    if (target_.executable)
        file_->setExecutable();
    std::string why;
    if (!file_->open(nativePath(target_.path), &why)) {
        failLater(QStringLiteral("cannot write %1: %2").arg(target_.path, QString::fromStdString(why)));
        return true;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    // The bytes as the server keeps them, so that the declared length is the length we get.
    request.setRawHeader("Accept-Encoding", "identity");
    reply_ = network_->get(request);
    reply_->setReadBufferSize(readBuffer);
    connect(reply_, &QNetworkReply::readyRead, this, [this] { take(reply_); });
    connect(reply_, &QNetworkReply::metaDataChanged, this, [this] {
        const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QVariant announced = reply_->header(QNetworkRequest::ContentLengthHeader);
        if (status >= 200 && status <= 299 && announced.isValid() && announced.toLongLong() > target_.limit)
            stop(QStringLiteral("%1 bytes announced, more than %2").arg(announced.toLongLong()).arg(target_.limit));
        else
            stall_.start();
    });
    connect(reply_, &QNetworkReply::redirected, this, [this](const QUrl& next) {
        if (!allowed(next)) {
            stop(QStringLiteral("refused redirect to %1").arg(next.toString()));
            return;
        }
        stall_.start();
        emit reply_->redirectAllowed();
    });
    connect(reply_, &QNetworkReply::finished, this, [this] { transferEnded(); });
    stall_.start(stallTimeoutMs);
    deadline_.start(target_.timeLimitMs);
    return true;
}

void UrlDownload::take(QNetworkReply* reply)
{
    char buffer[64 * 1024];
    while (error_.isEmpty() && reply->bytesAvailable() > 0) {
        const qint64 n = reply->read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        if (received_ + n > target_.limit) {
            stop(QStringLiteral("more than %1 bytes").arg(target_.limit));
            return;
        }
        std::string why;
        if (!file_->append(buffer, std::size_t(n), &why)) {
            stop(QStringLiteral("cannot write %1: %2").arg(target_.path, QString::fromStdString(why)));
            return;
        }
        received_ += n;
    }
    if (reply_ && error_.isEmpty())
        stall_.start();
}

void UrlDownload::stop(const QString& error)
{
    if (error_.isEmpty())
        error_ = error;
    if (reply_)
        reply_->abort();
}

void UrlDownload::transferEnded()
{
    stall_.stop();
    deadline_.stop();
    if (!reply_)
        return;
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    reply->deleteLater();
    take(reply);

    QString error = error_;
    if (error.isEmpty())
        error = verdict(reply);
    if (error.isEmpty()) {
        std::string why;
        if (!file_->commit(target_.backup.isEmpty() ? std::string() : nativePath(target_.backup), &why))
            error = QStringLiteral("cannot write %1: %2").arg(target_.path, QString::fromStdString(why));
    }
    finish(error.isEmpty(), error);
}

QString UrlDownload::verdict(QNetworkReply* reply) const
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    // Without a declared length a connection that broke looks like a body that ended.
    // HTTP/2 marks the end of a stream itself. Chunks would too, but the network layer
    // now and then reports a chunked body cut off by a closed connection as complete,
    // so chunks alone are not trusted.
    const bool framed = reply->attribute(QNetworkRequest::Http2WasUsedAttribute).toBool();
    if (reply->error() != QNetworkReply::NoError)
        return reply->errorString();
    if (status < 200 || status > 299)
        return QStringLiteral("HTTP status %1").arg(status);
    if (announced.isValid() && announced.toLongLong() != received_)
        return QStringLiteral("%1 of %2 bytes arrived").arg(received_).arg(announced.toLongLong());
    if (!announced.isValid() && !framed)
        return QStringLiteral("the server did not say how long the file is");
    return {};
}

void UrlDownload::finish(bool ok, const QString& error)
{
    running_ = false;
    file_.reset();
    // The callback may start the next download at once.
    Done done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(ok, error);
}

UpdateSite::UpdateSite(const char* variable, QString program, std::function<std::string()> startDir)
    : variable_(variable), program_(std::move(program)), startDir_(std::move(startDir))
{}

QString UpdateSite::serverUrl(const QString& path) const
{
    QString base = qEnvironmentVariable(variable_);
    if (base.isEmpty())
        base = QString::fromLatin1(makerServer);
    while (base.endsWith(u'/'))
        base.chop(1);
    return base + path;
}

QUrl UpdateSite::fileUrl(const QString& name) const
{
    return QUrl(serverUrl(QStringLiteral("/client/%1/%2").arg(program_, name)));
}

QDir UpdateSite::enterStartFolder() const
{
    const QString folder = fromAnsi(startDir_());
    if (folder.isEmpty())
        return QDir(QDir::currentPath());
    QDir::setCurrent(folder);
    return QDir(QFileInfo(folder).absoluteFilePath());
}

bool CheckVersion(UrlDownload& download, const QUrl& url, const QString& notePath,
                  std::function<void(const QString& caption)> show)
{
    const QString note = QFileInfo(notePath).absoluteFilePath();
    const UrlDownload::Target target{note, {}, false, UrlDownload::noteLimit, UrlDownload::noteTimeLimitMs};
    return download.start(url, target, [note, show](bool ok, const QString&) {
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
