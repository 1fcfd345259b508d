// Downloads into local files: what the files hold after every way a transfer can end,
// which addresses are fetched at all, and one transfer at a time.

#include "platform/UrlDownload.h"
#include "tests/support/FileBytes.h"
#include "tests/support/HttpServer.h"
#include "tests/support/QtTestApp.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <gtest/gtest.h>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using platform::UrlDownload;
using testsupport::HttpServer;

namespace {

std::optional<std::string> bytesOf(const std::string& path)
{
    const testsupport::FileState state = testsupport::fileState(path);
    return state ? std::optional<std::string>(state->first) : std::nullopt;
}

unsigned modeOf(const std::string& path)
{
    const testsupport::FileState state = testsupport::fileState(path);
    return state ? state->second : 0u;
}

class UrlDownloadTest : public ::testing::Test {
protected:
    void SetUp() override { UrlDownload::stallTimeoutMs = 2000; }
    void TearDown() override { UrlDownload::stallTimeoutMs = 30000; }

    // Runs one download to its end; the outcome, or nullopt when it did not start.
    std::optional<bool> run(UrlDownload& d, const std::string& url, const UrlDownload::Target& target)
    {
        std::optional<bool> result;
        if (!d.start(QUrl(QString::fromStdString(url)), target, [&](bool ok, const QString& why) {
                result = ok;
                error = why;
            }))
            return std::nullopt;
        EXPECT_TRUE(testsupport::WaitUntil([&] { return result.has_value(); }));
        return result;
    }

    std::string path(const char* name) const { return (cwd.path() + '/' + name).toStdString(); }

    testsupport::TempCwd cwd;
    HttpServer server;
    QString error;
};

TEST_F(UrlDownloadTest, TargetAndBackupChangeOnlyAfterACompleteSuccessfulTransfer)
{
    const std::string fresh(5000, 'N');
    const struct Case {
        const char* name;
        std::function<std::string(HttpServer&)> setUp;   // returns the URL to fetch
        bool ok;
        std::vector<std::string> asked;                  // paths the server must have seen
    } cases[] = {
        {"whole body", [&](HttpServer& s) { s.answer("/f", HttpServer::ok(fresh)); return s.base() + "/f"; }, true,
         {"/f"}},
        {"empty body", [&](HttpServer& s) { s.answer("/f", HttpServer::ok("")); return s.base() + "/f"; }, true,
         {"/f"}},
        {"not found", [](HttpServer& s) { return s.base() + "/missing"; }, false, {"/missing"}},
        {"cut short",
         [&](HttpServer& s) { s.answer("/f", HttpServer::cutShort(fresh, 4000)); return s.base() + "/f"; }, false,
         {"/f"}},
        {"server down", [](HttpServer&) { return HttpServer::downBase() + "/f"; }, false, {}},
        {"redirect on this machine",
         [&](HttpServer& s) {
             s.answer("/old", HttpServer::redirect(s.base() + "/f"));
             s.answer("/f", HttpServer::ok(fresh));
             return s.base() + "/old";
         },
         true, {"/old", "/f"}},
        {"redirect to plain HTTP elsewhere",
         [&](HttpServer& s) {
             s.answer("/old", HttpServer::redirect("http://192.0.2.7/f"));
             return s.base() + "/old";
         },
         false, {"/old"}},
        {"plain HTTP elsewhere", [](HttpServer&) { return std::string("http://192.0.2.7/f"); }, false, {}},
        {"no address", [](HttpServer&) { return std::string("newver.txt"); }, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpServer s;
        testsupport::writeFile(path("prog"), "old program", 0750);
        testsupport::writeBytes(path("prog.bak"), "older program");
        UrlDownload d;
        EXPECT_EQ(run(d, c.setUp(s), {QStringLiteral("prog"), QStringLiteral("prog.bak"), true}), c.ok) << error.toStdString();
        EXPECT_EQ(s.requests(), c.asked);
        if (c.ok) {
            EXPECT_EQ(bytesOf(path("prog")), std::string(c.name) == "empty body" ? "" : fresh);
            EXPECT_EQ(bytesOf(path("prog.bak")), "old program");
        } else {
            EXPECT_EQ(bytesOf(path("prog")), "old program");
            EXPECT_EQ(bytesOf(path("prog.bak")), "older program");
            EXPECT_FALSE(error.isEmpty());
        }
        EXPECT_EQ(modeOf(path("prog")), 0750u);
        EXPECT_EQ(QDir(cwd.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no temporary file stays";
    }
}

TEST_F(UrlDownloadTest, AProgramGetsExecutePermissionADocumentDoesNot)
{
    ::umask(022);
    server.answer("/p", HttpServer::ok("program"));
    for (const bool executable : {true, false}) {
        SCOPED_TRACE(executable);
        ::unlink(path("new").c_str());
        UrlDownload d;
        ASSERT_EQ(run(d, server.base() + "/p", {QStringLiteral("new"), QString(), executable}), true) << error.toStdString();
        EXPECT_EQ(bytesOf(path("new")), "program");
        EXPECT_EQ(modeOf(path("new")), executable ? 0755u : 0644u);
    }
    // A program that had lost its execute permission gets it back for its readers.
    testsupport::writeBytes(path("new"), "old");
    ::chmod(path("new").c_str(), 0640);
    UrlDownload d;
    ASSERT_EQ(run(d, server.base() + "/p", {QStringLiteral("new"), QString(), true}), true) << error.toStdString();
    EXPECT_EQ(modeOf(path("new")), 0750u);
}

TEST_F(UrlDownloadTest, AWriteProtectedTargetAndALinkStayWhatTheyAre)
{
    server.answer("/p", HttpServer::ok("new bytes"));
    testsupport::writeBytes(path("locked"), "kept");
    ::chmod(path("locked").c_str(), 0444);
    UrlDownload d;
    EXPECT_EQ(run(d, server.base() + "/p", {QStringLiteral("locked"), QStringLiteral("locked.bak"), false}), false);
    EXPECT_EQ(bytesOf(path("locked")), "kept");
    EXPECT_EQ(modeOf(path("locked")), 0444u);
    EXPECT_EQ(bytesOf(path("locked.bak")), std::nullopt);

    cwd.mkdir(QStringLiteral("real"));
    testsupport::writeBytes(path("real/doc"), "old doc");
    ASSERT_EQ(::symlink("real/doc", path("doc").c_str()), 0);
    EXPECT_EQ(run(d, server.base() + "/p", {QStringLiteral("doc"), QStringLiteral("doc.bak"), false}), true) << error.toStdString();
    struct stat st {};
    ASSERT_EQ(::lstat(path("doc").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(bytesOf(path("real/doc")), "new bytes");
    EXPECT_EQ(bytesOf(path("doc.bak")), "old doc");
}

TEST_F(UrlDownloadTest, OneTransferAtATimeAndTheNextMayStartFromTheCallback)
{
    server.answer("/slow", HttpServer::slow(std::string(4000, 'S')));
    server.answer("/next", HttpServer::ok("next"));
    UrlDownload d;
    std::vector<bool> results;
    ASSERT_TRUE(d.start(QUrl(QString::fromStdString(server.base() + "/slow")), {QStringLiteral("a"), {}, false},
                        [&](bool ok, const QString&) {
                            results.push_back(ok);
                            // The finished download no longer counts as running.
                            EXPECT_TRUE(d.start(QUrl(QString::fromStdString(server.base() + "/next")),
                                                {QStringLiteral("b"), {}, false},
                                                [&](bool ok2, const QString&) { results.push_back(ok2); }));
                        }));
    ASSERT_TRUE(server.waitForRequest("/slow"));
    testsupport::ProcessPending();
    EXPECT_TRUE(d.busy());
    EXPECT_FALSE(d.start(QUrl(QString::fromStdString(server.base() + "/next")), {QStringLiteral("c"), {}, false},
                         [&](bool, const QString&) { ADD_FAILURE() << "a refused start reports nothing"; }));
    EXPECT_EQ(bytesOf(path("a")), std::nullopt) << "nothing is written before the end";
    server.release();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return results.size() == 2; }));
    EXPECT_EQ(results, (std::vector<bool>{true, true}));
    EXPECT_EQ(bytesOf(path("a")), std::string(4000, 'S'));
    EXPECT_EQ(bytesOf(path("b")), "next");
    EXPECT_EQ(bytesOf(path("c")), std::nullopt);
    EXPECT_EQ(server.requests(), (std::vector<std::string>{"/slow", "/next"}));
}

TEST_F(UrlDownloadTest, AStalledTransferFailsAndADestroyedOneReportsNothing)
{
    UrlDownload::stallTimeoutMs = 300;
    server.answer("/slow", HttpServer::slow(std::string(4000, 'S')));
    testsupport::writeBytes(path("a"), "old");
    {
        UrlDownload d;
        EXPECT_EQ(run(d, server.base() + "/slow", {QStringLiteral("a"), {}, false}), false);
        EXPECT_EQ(bytesOf(path("a")), "old");
    }
    {
        auto d = std::make_unique<UrlDownload>();
        ASSERT_TRUE(d->start(QUrl(QString::fromStdString(server.base() + "/slow")), {QStringLiteral("a"), {}, false},
                             [](bool, const QString&) { ADD_FAILURE() << "no report after destruction"; }));
        ASSERT_TRUE(testsupport::WaitUntil([&] { return server.requests().size() == 2; }));
        d.reset();
        server.release();
        testsupport::ProcessPending();
    }
    EXPECT_EQ(bytesOf(path("a")), "old");
}

// A one-page HTTPS server on this machine with a certificate for 127.0.0.1 that no
// system trusts; it answers on the event loop.
class TlsPage {
public:
    TlsPage(const QSslCertificate& certificate, const QSslKey& key, QByteArray body) : body_(std::move(body))
    {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(certificate);
        tls.setPrivateKey(key);
        server_.setSslConfiguration(tls);
        QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                QObject::connect(socket, &QIODevice::readyRead, socket, [this, socket] {
                    head_ += socket->readAll();
                    if (!head_.contains("\r\n\r\n"))
                        return;
                    ++requests;
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body_.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body_);
                    socket->disconnectFromHost();
                });
        });
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost));
    }
    QUrl url() const { return QUrl(QStringLiteral("https://127.0.0.1:%1/p").arg(server_.serverPort())); }
    int requests = 0;

private:
    QSslServer server_;
    QByteArray body_;
    QByteArray head_;
};

TEST_F(UrlDownloadTest, HttpsIsFetchedOnlyFromAServerWhoseCertificateIsTrusted)
{
    if (!QSslSocket::supportsSsl())
        GTEST_SKIP() << "no TLS backend";
    QFile certFile(QStringLiteral(TEST_FIXTURES_DIR "/loopback-tls.crt"));
    QFile keyFile(QStringLiteral(TEST_FIXTURES_DIR "/loopback-tls.key"));
    ASSERT_TRUE(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
    const QSslCertificate certificate(certFile.readAll());
    const QSslKey key(keyFile.readAll(), QSsl::Rsa);
    ASSERT_FALSE(certificate.isNull());
    TlsPage page(certificate, key, "secure bytes");
    testsupport::writeFile(path("a"), "old", 0644);
    {
        UrlDownload d;
        std::optional<bool> result;
        ASSERT_TRUE(d.start(page.url(), {QStringLiteral("a"), {}, false}, [&](bool ok, const QString&) { result = ok; }));
        ASSERT_TRUE(testsupport::WaitUntil([&] { return result.has_value(); }));
        EXPECT_FALSE(*result);
        EXPECT_EQ(page.requests, 0);
        EXPECT_EQ(bytesOf(path("a")), "old");
    }
    // The same server once its certificate is trusted: the check above was the certificate's.
    const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = saved;
    trusting.addCaCertificate(certificate);
    QSslConfiguration::setDefaultConfiguration(trusting);
    UrlDownload d;
    std::optional<bool> result;
    ASSERT_TRUE(d.start(page.url(), {QStringLiteral("a"), {}, false}, [&](bool ok, const QString& why) {
        result = ok;
        error = why;
    }));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return result.has_value(); }));
    QSslConfiguration::setDefaultConfiguration(saved);
    EXPECT_EQ(result, true) << error.toStdString();
    EXPECT_EQ(page.requests, 1);
    EXPECT_EQ(bytesOf(path("a")), "secure bytes");
}

} // namespace
