#pragma once
// Downloads one URL into a local file while the user interface goes on. The transfer
// runs on the event loop of the thread that starts it (the user-interface thread), and
// its end is reported there through a callback.
//
// Nothing is lost on a failed transfer: the body is gathered apart and takes the place
// of the target (through a temporary file beside it, platform/SafeFile.h) only once the
// server answered with a success status and the whole announced length arrived; until
// then, and on any failure, every local file stays as it was. A backup name, when
// given, receives the previous target in the same step.
//
// Only HTTPS with the server's certificate checked is fetched; plain HTTP is refused
// except from a loopback address (a local test server). Redirects are followed only
// under the same rule.

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

namespace platform {

class UrlDownload : public QObject {
public:
    struct Target {
        QString path;            // the file to replace (absolute, or relative to the current directory now)
        QString backup;          // when not empty: the previous file moves here once the new one is in place
        bool executable = false; // the new file gets execute permission wherever it is readable
    };
    // ok is true when the target holds the new bytes; error says why not (for logs and tests).
    using Done = std::function<void(bool ok, const QString& error)>;

    explicit UrlDownload(QObject* parent = nullptr);
    ~UrlDownload() override;
    UrlDownload(const UrlDownload&) = delete;
    UrlDownload& operator=(const UrlDownload&) = delete;

    // Starts fetching url into target; done runs once, later, on this thread. False, with
    // nothing started and done not called, while another download runs or when the
    // address is not one we fetch from (see allowed()).
    bool start(const QUrl& url, const Target& target, Done done);
    bool busy() const { return running_; }

    // HTTPS, or HTTP to a loopback address.
    static bool allowed(const QUrl& url);

    // A transfer that receives nothing for this long fails; tests shorten it.
    static int stallTimeoutMs;

private:
    void transferEnded();
    // Puts the complete body in place of the target; the reason when it could not.
    QString commit(const QByteArray& body) const;
    void finish(bool ok, const QString& error);

    QNetworkAccessManager* network_;
    QNetworkReply* reply_ = nullptr;
    Target target_;
    Done done_;
    QByteArray body_;
    QString refusedRedirect_;
    bool running_ = false;
};

// The address of path (starting with "/") on a program's web server: the base address
// from the environment variable when it is set (a mirror, a test server), else
// defaultBase; a trailing "/" of the base is dropped.
QString ServerUrl(const char* variable, const QString& defaultBase, const QString& path);

// The version check of the update protocol: fetches the version note from url into
// notePath and hands show the caption the check ends with: the note's first line up to
// its line end, at most 39 characters of 8-bit text (code page 1250), after which the
// note is deleted; "  Błąd pobierania" when the download failed; "Błąd pliku!!" when the
// note cannot be read (it then stays). False, with nothing started, while download runs.
bool CheckVersion(UrlDownload& download, const QUrl& url, const QString& notePath,
                  std::function<void(const QString& caption)> show);

} // namespace platform
