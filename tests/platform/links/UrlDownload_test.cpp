// Downloads into local files: what the files hold after every way a transfer can end,
// a running program as the target, the bounds of size, time and length, which addresses
// are fetched at all, and one transfer at a time.

#include "platform/links/UrlDownload.h"
#include "tests/support/FileBytes.h"
#include "tests/support/HttpServer.h"
#include "tests/support/ProcessMemory.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunningProgram.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostInfo>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>
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
    void TearDown() override
    {
        UrlDownload::stallTimeoutMs = 30000;
        UrlDownload::noteTimeLimitMs = noteTimeLimit_;
        UrlDownload::fileTimeLimitMs = fileTimeLimit_;
    }

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
    QStringList files() const
    {
        return QDir(cwd.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    testsupport::TempCwd cwd;
    HttpServer server;
    QString error;

private:
    const int noteTimeLimit_ = UrlDownload::noteTimeLimitMs;
    const int fileTimeLimit_ = UrlDownload::fileTimeLimitMs;
};

TEST_F(UrlDownloadTest, TargetAndBackupChangeOnlyAfterACompleteSuccessfulTransfer)
{
    const std::string fresh(5000, 'N');
    const struct Case {
        const char* name;
        std::function<std::string(HttpServer&)> setUp; // returns the URL to fetch
        bool ok;
        std::vector<std::string> asked; // paths the server must have seen
    } cases[] = {
        {"whole body",
         [&](HttpServer& s) {
             s.answer("/f", HttpServer::ok(fresh));
             return s.base() + "/f";
         },
         true,
         {"/f"}},
        {"empty body",
         [&](HttpServer& s) {
             s.answer("/f", HttpServer::ok(""));
             return s.base() + "/f";
         },
         true,
         {"/f"}},
        {"not found", [](HttpServer& s) { return s.base() + "/missing"; }, false, {"/missing"}},
        {"cut short",
         [&](HttpServer& s) {
             s.answer("/f", HttpServer::cutShort(fresh, 4000));
             return s.base() + "/f";
         },
         false,
         {"/f"}},
        {"server down", [](HttpServer& s) { return s.downBase() + "/f"; }, false, {}},
        {"redirect on this machine",
         [&](HttpServer& s) {
             s.answer("/old", HttpServer::redirect(s.base() + "/f"));
             s.answer("/f", HttpServer::ok(fresh));
             return s.base() + "/old";
         },
         true,
         {"/old", "/f"}},
        {"redirect with a body of its own",
         [&](HttpServer& s) {
             HttpServer::Answer moved = HttpServer::redirect(s.base() + "/f");
             moved.body = "moved to /f";
             s.answer("/old", moved);
             s.answer("/f", HttpServer::ok(fresh));
             return s.base() + "/old";
         },
         true,
         {"/old", "/f"}},
        {"redirect to plain HTTP elsewhere",
         [&](HttpServer& s) {
             s.answer("/old", HttpServer::redirect("http://192.0.2.7/f"));
             return s.base() + "/old";
         },
         false,
         {"/old"}},
        {"plain HTTP elsewhere", [](HttpServer&) { return std::string("http://192.0.2.7/f"); }, false, {}},
        {"no address", [](HttpServer&) { return std::string("newver.txt"); }, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpServer s;
        testsupport::writeFile(path("prog"), "old program", 0750);
        testsupport::writeBytes(path("prog.bak"), "older program");
        UrlDownload d;
        EXPECT_EQ(run(d, c.setUp(s), {QStringLiteral("prog"), QStringLiteral("prog.bak"), true}), c.ok)
            << error.toStdString();
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
        ASSERT_EQ(run(d, server.base() + "/p", {QStringLiteral("new"), QString(), executable}), true)
            << error.toStdString();
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
    EXPECT_EQ(run(d, server.base() + "/p", {QStringLiteral("doc"), QStringLiteral("doc.bak"), false}), true)
        << error.toStdString();
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

TEST_F(UrlDownloadTest, ARunningProgramIsReplacedAndKeptAsTheBackup)
{
    const std::string fresh = "#!/bin/sh\necho the new program\n";
    const struct {
        const char* name;
        const char* target; // the name the download replaces
        std::function<void(const std::string& dir)> prepare;
        bool ok;
    } cases[] = {
        {"started from its folder", "prog", [](const std::string&) {}, true},
        {"reached through a link", "link", [](const std::string& d) { ::symlink("prog", (d + "/link").c_str()); },
         true},
        {"with a second name", "prog",
         [](const std::string& d) { ::link((d + "/prog").c_str(), (d + "/other").c_str()); }, true},
        {"write-protected", "prog", [](const std::string& d) { ::chmod((d + "/prog").c_str(), 0555); }, false},
        {"in a write-protected folder", "prog", [](const std::string& d) { ::chmod(d.c_str(), 0555); }, false},
    };
    server.answer("/p", HttpServer::ok(fresh));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& name : files())
            QFile::remove(cwd.path() + '/' + name);
        testsupport::writeFile(path("prog.bak"), "older program", 0755);
        testsupport::RunningProgram running(QString::fromStdString(path("prog")));
        ASSERT_TRUE(running.busy()) << "the program runs from its file";
        c.prepare(QFile::encodeName(cwd.path()).toStdString());
        const QStringList before = files();
        const unsigned mode = modeOf(path("prog"));

        UrlDownload d;
        const QString target = QString::fromLatin1(c.target);
        EXPECT_EQ(run(d, server.base() + "/p", {target, target + QStringLiteral(".bak"), true}), c.ok)
            << error.toStdString();
        ::chmod(QFile::encodeName(cwd.path()).constData(), 0755);
        EXPECT_TRUE(running.running()) << "the running program goes on from its old file";
        // The old program is a binary; compared whole, it is reported by its size.
        const auto holdsOldProgram = [&](const std::string& name) {
            const std::optional<std::string> bytes = bytesOf(name);
            return bytes && QByteArray::fromStdString(*bytes) == running.bytes();
        };
        if (!c.ok) {
            EXPECT_TRUE(holdsOldProgram(path("prog")));
            EXPECT_EQ(modeOf(path("prog")), mode);
            EXPECT_EQ(bytesOf(path("prog.bak")), "older program");
            EXPECT_EQ(files(), before) << "no temporary file stays";
            continue;
        }
        EXPECT_EQ(bytesOf(path("prog")), fresh);
        EXPECT_EQ(modeOf(path("prog")), 0755u);
        EXPECT_TRUE(holdsOldProgram(path(c.target) + ".bak"));
        EXPECT_EQ(modeOf(path(c.target) + ".bak"), 0755u);
        if (std::string(c.target) == "link") {
            struct stat st {};
            EXPECT_TRUE(::lstat(path("link").c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << "the link stays a link";
            EXPECT_EQ(bytesOf(path("prog.bak")), "older program");
        }
        if (std::string(c.name) == "with a second name") {
            EXPECT_TRUE(holdsOldProgram(path("other"))) << "a running program cannot be rewritten under its other name";
        }
        // The new program is the one that starts next.
        QProcess next;
        next.start(QString::fromStdString(path(c.target)), {});
        ASSERT_TRUE(next.waitForFinished(5000));
        EXPECT_EQ(next.readAllStandardOutput(), QByteArray("the new program\n"));
    }
}

TEST_F(UrlDownloadTest, EveryTransferIsBoundedInSizeTimeAndLength)
{
    UrlDownload::stallTimeoutMs = 300;
    UrlDownload::fileTimeLimitMs = 1500;
    constexpr qint64 limit = 1 << 20;
    const std::uint64_t huge = std::uint64_t(3) << 30;
    const std::string fresh(5000, 'N');
    using Length = HttpServer::Length;
    const struct {
        const char* name;
        std::function<void(HttpServer&)> serve; // answers for "/f"
        std::optional<std::string> installed;   // the new file, or nullopt when the download fails
    } cases[] = {
        {"3 GiB announced", [&](HttpServer& s) { s.answer("/f", HttpServer::streamed(huge)); }, std::nullopt},
        {"endless body, no length",
         [&](HttpServer& s) { s.answer("/f", HttpServer::streamed(huge, Length::undeclared)); }, std::nullopt},
        {"endless chunks", [&](HttpServer& s) { s.answer("/f", HttpServer::streamed(huge, Length::chunked)); },
         std::nullopt},
        {"exactly the limit", [&](HttpServer& s) { s.answer("/f", HttpServer::streamed(limit)); },
         std::string(limit, 'S')},
        {"one byte more than the limit", [&](HttpServer& s) { s.answer("/f", HttpServer::streamed(limit + 1)); },
         std::nullopt},
        {"no length, whole", [&](HttpServer& s) { s.answer("/f", HttpServer::framed(Length::undeclared, fresh)); },
         std::nullopt},
        {"no length, cut short",
         [&](HttpServer& s) { s.answer("/f", HttpServer::cutShort(fresh, 3000, Length::undeclared)); }, std::nullopt},
        // A chunked body cut off by a closed connection is at times reported whole by
        // the network layer, so no chunked body is taken.
        {"chunks, whole", [&](HttpServer& s) { s.answer("/f", HttpServer::framed(Length::chunked, fresh)); },
         std::nullopt},
        {"chunks, cut short",
         [&](HttpServer& s) { s.answer("/f", HttpServer::cutShort(fresh, 3000, Length::chunked)); }, std::nullopt},
        // A byte now and then keeps the stall limit away; the whole transfer has its own.
        {"a byte every 100 ms, for ever",
         [&](HttpServer& s) { s.answer("/f", HttpServer::drip(std::string(1000, 'D'), 100)); }, std::nullopt},
        {"a byte every 100 ms, done in time", [&](HttpServer& s) { s.answer("/f", HttpServer::drip("DDDD", 100)); },
         std::string("DDDD")},
        {"no answer", [](HttpServer& s) { s.answer("/f", HttpServer::silence()); }, std::nullopt},
        {"no answer after a redirect",
         [](HttpServer& s) {
             s.answer("/f", HttpServer::redirect(s.base() + "/hang"));
             s.answer("/hang", HttpServer::silence());
         },
         std::nullopt},
        {"no answer after two redirects",
         [](HttpServer& s) {
             s.answer("/f", HttpServer::redirect(s.base() + "/g"));
             s.answer("/g", HttpServer::redirect(s.base() + "/hang"));
             s.answer("/hang", HttpServer::silence());
         },
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpServer s;
        c.serve(s);
        testsupport::writeFile(path("prog"), "old program", 0755);
        UrlDownload d;
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(run(d, s.base() + "/f", {QStringLiteral("prog"), {}, true, limit}), c.installed.has_value())
            << error.toStdString();
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_EQ(bytesOf(path("prog")), c.installed.value_or("old program"));
        EXPECT_EQ(files(), QStringList{QStringLiteral("prog")}) << "no temporary file stays";
    }
}

// A version note is one line: it has far less time than a program. The same slow answer
// is too slow for a note and fine for a program.
TEST_F(UrlDownloadTest, AVersionNoteHasLessTimeThanAProgram)
{
    UrlDownload::noteTimeLimitMs = 400;
    UrlDownload::fileTimeLimitMs = 3000;
    const std::string note = "2.5.2.0\r\n";
    server.answer("/n", HttpServer::drip(note, 100));
    UrlDownload d;
    std::optional<QString> caption;
    ASSERT_TRUE(platform::CheckVersion(d, QUrl(QString::fromStdString(server.base() + "/n")),
                                       QStringLiteral("newver.txt"), [&](const QString& c) { caption = c; }));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return caption.has_value(); }, 3000));
    EXPECT_EQ(*caption, QStringLiteral("  Błąd pobierania"));
    EXPECT_EQ(files(), QStringList()) << "no note, and no temporary file, stays";

    EXPECT_EQ(run(d, server.base() + "/n", {QStringLiteral("prog"), {}, true}), true) << error.toStdString();
    EXPECT_EQ(bytesOf(path("prog")), note);
}

TEST_F(UrlDownloadTest, ABigFileGoesToDiskAsItArrives)
{
    constexpr long size = 64L << 20;
    server.answer("/big", HttpServer::streamed(size));
    const double before = testsupport::heldMb();
    double peak = before;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { peak = std::max(peak, testsupport::heldMb()); });
    sampler.start(2);
    UrlDownload d;
    EXPECT_EQ(run(d, server.base() + "/big", {QStringLiteral("big"), {}, false}), true) << error.toStdString();
    peak = std::max(peak, testsupport::heldMb());
    EXPECT_EQ(QFileInfo(cwd.path() + QStringLiteral("/big")).size(), size);
    EXPECT_LT(peak - before, 16.0) << "MB taken while 64 MB arrived";
}

TEST(UrlDownloadAddress, PlainHttpOnlyFromTheLoopback)
{
    const struct {
        const char* url;
        bool allowed;
    } cases[] = {
        {"https://www.example.com/client/x", true},
        {"http://127.0.0.1:8080/x", true},
        {"http://127.3.4.5/x", true},
        {"http://[::1]:8080/x", true},
        {"http://localhost:8080/x", true},
        {"http://LocalHost/x", true},
        {"http://www.example.com/x", false},
        {"http://192.0.2.7/x", false},
        {"http://localhost.example.com/x", false},
        {"http://127.0.0.1.example.com/x", false},
        {"ftp://localhost/x", false},
        {"file:///etc/passwd", false},
        {"newver.txt", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UrlDownload::allowed(QUrl(QString::fromLatin1(c.url))), c.allowed) << c.url;
}

TEST_F(UrlDownloadTest, TheLoopbackIsReachedByName)
{
    if (QHostInfo::fromName(QStringLiteral("localhost")).addresses().isEmpty())
        GTEST_SKIP() << "this machine does not resolve \"localhost\"";
    server.answer("/f", HttpServer::ok("by name"));
    UrlDownload d;
    EXPECT_EQ(run(d, "http://localhost:" + std::to_string(server.port()) + "/f", {QStringLiteral("f"), {}, false}),
              true)
        << error.toStdString();
    EXPECT_EQ(bytesOf(path("f")), "by name");
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
        ASSERT_TRUE(
            d.start(page.url(), {QStringLiteral("a"), {}, false}, [&](bool ok, const QString&) { result = ok; }));
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
