#pragma once
// Downloads one URL into a local file while the user interface goes on. The transfer
// runs on the event loop of the thread that starts it (the user-interface thread), and
// its end is reported there through a callback.
//
// Nothing is lost on a failed transfer: the body streams into a temporary file beside
// the target (platform/files/SafeFile.h) and takes the target's place by a rename only once
// the server answered with a success status and the whole announced length arrived;
// until then, and on any failure, every local file stays as it was. A running program
// is replaced so too and takes effect at its next start. A backup name, when given,
// receives the previous target in the same step.
//
// Every transfer is bounded: a body longer than its target's limit fails, and so does
// any hop (a redirect included) that sends nothing for stallTimeoutMs, and a transfer
// that has not ended within its target's time limit, however steadily bytes arrive. A body whose end
// cannot be told from a broken connection (no declared length; chunks count as none,
// see verdict()) is never used.
//
// Only HTTPS with the server's certificate checked is fetched; plain HTTP is refused
// except from the loopback (a local test server). Redirects are followed only under the
// same rule.

#include <QDir>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;

namespace platform {

class FileReplacement;

class UrlDownload : public QObject {
public:
    // Far above any real version note (one line) or program.
    static constexpr qint64 noteLimit = 64 * 1024;
    static constexpr qint64 fileLimit = qint64(512) << 20;
    // The whole transfer of a version note, and of a program or document, redirects
    // included; tests shorten them.
    static int noteTimeLimitMs;
    static int fileTimeLimitMs;

    struct Target {
        QString path;                      // the file to replace (absolute, or relative to the current directory now)
        QString backup;                    // when not empty: the previous file moves here once the new one is in place
        bool executable = false;           // the new file gets execute permission wherever it is readable
        qint64 limit = fileLimit;          // a longer body fails the download
        int timeLimitMs = fileTimeLimitMs; // a transfer still running then fails
    };
    // ok is true when the target holds the new bytes; error says why not (for logs and tests).
    using Done = std::function<void(bool ok, const QString& error)>;

    explicit UrlDownload(QObject* parent = nullptr);
    ~UrlDownload() override;
    UrlDownload(const UrlDownload&) = delete;
    UrlDownload& operator=(const UrlDownload&) = delete;

    // Starts fetching url into target; done runs once, later, on this thread. False, with
    // nothing started and done not called, while another download runs.
    bool start(const QUrl& url, const Target& target, Done done);
    bool busy() const { return running_; }

    // HTTPS, or HTTP to the loopback ("localhost" or a loopback address).
    static bool allowed(const QUrl& url);

    // A hop that receives nothing for this long fails; tests shorten it.
    static int stallTimeoutMs;

private:
    // Moves what arrived into the file.
    void take(QNetworkReply* reply);
    void stop(const QString& error);
    void transferEnded();
    // Why the finished reply's body may not be used; empty when it may.
    QString verdict(QNetworkReply* reply) const;
    void finish(bool ok, const QString& error);

    QNetworkAccessManager* network_;
    QNetworkReply* reply_ = nullptr;
    QTimer stall_;
    QTimer deadline_;
    std::unique_ptr<FileReplacement> file_;
    Target target_;
    Done done_;
    qint64 received_ = 0;
    QString error_; // why the transfer was stopped
    bool running_ = false;
};

// One program's side of the update steps: its folder on the maker's update server and
// its start folder on this machine, where the steps keep their files.
class UpdateSite {
public:
    // variable names the environment variable that replaces the server's address (a
    // mirror, a test server); program is the program's folder on the update server;
    // startDir gives the start folder (8-bit text) when a step begins.
    UpdateSite(const char* variable, QString program, std::function<std::string()> startDir);

    // The address of path (starting with "/") on the maker's web server.
    QString serverUrl(const QString& path) const;
    // The address of a file in the program's folder on the update server.
    QUrl fileUrl(const QString& name) const;
    // Makes the start folder current, as each step does first, and gives it: the step's
    // files stay there whatever folder is current when it ends.
    QDir enterStartFolder() const;

private:
    const char* variable_;
    QString program_;
    std::function<std::string()> startDir_;
};

// The version check of the update protocol: fetches the version note from url into
// notePath and hands show the caption the check ends with: the note's first line up to
// its line end, at most 39 characters of 8-bit text (code page 1250), after which the
// note is deleted; "  Błąd pobierania" when the download failed; "Błąd pliku!!" when the
// note cannot be read (it then stays). False, with nothing started, while download runs.
bool CheckVersion(UrlDownload& download, const QUrl& url, const QString& notePath,
                  std::function<void(const QString& caption)> show);

} // namespace platform
