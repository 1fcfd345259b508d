// Replacing a file whole: a full disk leaves the old file and no temporary one, and what
// the user set up around the file stays as it was: write protection, symbolic and hard
// links, a write-protected folder, permissions and owner. A temporary file left by a
// writer that was killed goes at the next write of the same file.

#include "platform/files/SafeFile.h"

#include "tests/support/FileBytes.h"
#include "tests/support/FullDisk.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/WaitBreaker.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using testsupport::diskRoom;
using testsupport::fullDiskWrite;
using testsupport::readBytes;
using testsupport::writeBytes;

namespace {

const std::string oldBytes = "old contents\r\n";
const std::string newBytes = "new\r\n";

struct stat statOf(const std::string& path, bool follow = true)
{
    struct stat st {};
    if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0)
        st = {};
    return st;
}

// Every name under the folder, links and hidden files included.
std::set<QString> namesUnder(const QString& dir)
{
    std::set<QString> names;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names.insert(QDir(dir).relativeFilePath(it.next()));
    return names;
}

class SafeFile : public ::testing::Test {
public:
    void TearDown() override
    {
        // A write-protected folder would keep the temporary folder from being removed.
        ::chmod(QFile::encodeName(cwd.path()).constData(), 0755);
        for (const QString& name : namesUnder(cwd.path())) {
            const std::string p = path(name.toStdString());
            if (S_ISDIR(statOf(p, false).st_mode))
                ::chmod(p.c_str(), 0755);
        }
    }
    std::string path(const std::string& name) const { return QFile::encodeName(cwd.path()).toStdString() + "/" + name; }
    void file(const std::string& name, mode_t mode = 0644) const
    {
        writeBytes(path(name), oldBytes);
        ::chmod(path(name).c_str(), mode);
    }

    testsupport::TempCwd cwd;
};

struct Case {
    const char* name;
    void (*prepare)(const SafeFile& t);
    bool saved;                                                     // ReplaceFile's answer for "s"
    std::vector<std::pair<const char*, std::string>> contents = {}; // files and their bytes afterwards
    std::vector<const char*> links = {};                            // names that are still symbolic links
    const char* sameFile = nullptr;                                 // a file that keeps its inode (written in place)
    mode_t mode = 0;                                                // permissions of that file afterwards
};
inline void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class SafeFileCase : public SafeFile, public ::testing::WithParamInterface<Case> {};

} // namespace

TEST_P(SafeFileCase, WhatTheUserSetUpStays)
{
    const Case& c = GetParam();
    c.prepare(*this);
    ino_t inode = 0;
    if (c.sameFile)
        inode = statOf(path(c.sameFile)).st_ino;
    std::set<QString> expectedNames = namesUnder(cwd.path());
    for (const auto& [name, bytes] : c.contents)
        expectedNames.insert(QString::fromUtf8(name));

    std::string error;
    EXPECT_EQ(platform::ReplaceFile(path("s"), newBytes.data(), newBytes.size(), nullptr, &error), c.saved);
    EXPECT_EQ(error.empty(), c.saved) << error;

    for (const auto& [name, bytes] : c.contents)
        EXPECT_EQ(readBytes(path(name)), bytes) << name;
    for (const char* name : c.links)
        EXPECT_TRUE(S_ISLNK(statOf(path(name), false).st_mode)) << name << " is still a link";
    if (c.sameFile) {
        EXPECT_EQ(statOf(path(c.sameFile)).st_ino, inode) << "written in place";
        EXPECT_EQ(statOf(path(c.sameFile)).st_mode & 07777, c.mode);
    }
    EXPECT_EQ(namesUnder(cwd.path()), expectedNames) << "no temporary file stays behind";
}

INSTANTIATE_TEST_SUITE_P(
    Files, SafeFileCase,
    ::testing::Values(Case{"newFile", [](const SafeFile&) {}, true, {{"s", newBytes}}},
                      Case{"writeProtectedFile",
                           [](const SafeFile& t) { t.file("s", 0444); },
                           false,
                           {{"s", oldBytes}},
                           {},
                           "s",
                           0444},
                      Case{"writeProtectedFolder",
                           [](const SafeFile& t) {
                               t.file("s", 0640);
                               ::chmod(QFile::encodeName(t.cwd.path()).constData(), 0555);
                           },
                           true,
                           {{"s", newBytes}},
                           {},
                           "s",
                           0640},
                      Case{"symbolicLink",
                           [](const SafeFile& t) {
                               t.file("real");
                               ::symlink("real", t.path("s").c_str());
                           },
                           true,
                           {{"real", newBytes}},
                           {"s"}},
                      Case{"linkToALinkInAnotherFolder",
                           [](const SafeFile& t) {
                               ::mkdir(t.path("other").c_str(), 0755);
                               t.file("other/real");
                               ::symlink("real", t.path("other/mid").c_str());
                               ::symlink(t.path("other/mid").c_str(), t.path("s").c_str());
                           },
                           true,
                           {{"other/real", newBytes}},
                           {"s", "other/mid"}},
                      Case{"linkToAFileNotYetThere",
                           [](const SafeFile& t) {
                               ::mkdir(t.path("other").c_str(), 0755);
                               ::symlink("other/real", t.path("s").c_str());
                           },
                           true,
                           {{"other/real", newBytes}},
                           {"s"}},
                      Case{
                          "linkLoop", [](const SafeFile& t) { ::symlink("s", t.path("s").c_str()); }, false, {}, {"s"}},
                      Case{"hardLink",
                           [](const SafeFile& t) {
                               t.file("s");
                               ::link(t.path("s").c_str(), t.path("t").c_str());
                           },
                           true,
                           {{"s", newBytes}, {"t", newBytes}},
                           {},
                           "s",
                           0644},
                      // A temporary name of an older version, planted as a link, is never written through.
                      Case{"linkAtATemporaryName",
                           [](const SafeFile& t) {
                               t.file("s");
                               writeBytes(t.path("victim"), "victim");
                               ::symlink("victim", t.path("s.tmp").c_str());
                           },
                           true,
                           {{"s", newBytes}, {"victim", "victim"}},
                           {"s.tmp"}},
                      Case{"folderInItsPlace", [](const SafeFile& t) { ::mkdir(t.path("s").c_str(), 0755); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SafeFile, AFullDiskLeavesTheOldFileAndNoTemporary)
{
    file("s", 0640);
    std::string error;
    diskRoom = 4;
    EXPECT_FALSE(platform::ReplaceFile(path("s"), "new contents\r\n", 14, fullDiskWrite, &error));
    EXPECT_EQ(error, std::strerror(ENOSPC));
    EXPECT_EQ(readBytes(path("s")), oldBytes);
    EXPECT_EQ(namesUnder(cwd.path()), std::set<QString>{"s"});

    diskRoom = 1000;
    EXPECT_TRUE(platform::ReplaceFile(path("s"), newBytes.data(), newBytes.size(), fullDiskWrite));
    EXPECT_EQ(readBytes(path("s")), newBytes);
    EXPECT_EQ(statOf(path("s")).st_mode & 07777, 0640u) << "the replaced file keeps its permissions";
    EXPECT_EQ(namesUnder(cwd.path()), std::set<QString>{"s"});
}

TEST_F(SafeFile, RootKeepsTheOwnerOfAnotherUsersFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can hand a file to another user";
    file("s", 0600);
    ASSERT_EQ(::chown(path("s").c_str(), 1234, 1235), 0);
    EXPECT_TRUE(platform::ReplaceFile(path("s"), newBytes.data(), newBytes.size()));
    const struct stat st = statOf(path("s"));
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 1235u);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(readBytes(path("s")), newBytes);
}

TEST_F(SafeFile, AnAppendToAWriteProtectedFileIsRefused)
{
    file("s", 0444);
    EXPECT_EQ(platform::OpenForWriting(path("s"), O_APPEND), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(platform::OpenForWriting(path("missing"), O_APPEND), -1);
    EXPECT_EQ(errno, ENOENT);
    ::chmod(path("s").c_str(), 0600);
    const int fd = platform::OpenForWriting(path("s"), O_APPEND);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(platform::WriteAll(fd, "x", 1));
    ::close(fd);
    EXPECT_EQ(readBytes(path("s")), oldBytes + "x");
}

// Only a plain file is opened for reading, through a link too; a FIFO, a device or a
// folder is refused at once, also a FIFO that a writer holds, whose open would not wait.
// A plain file's descriptor reads as usual: it waits for the disk and is not inherited.
TEST_F(SafeFile, OnlyAPlainFileIsOpenedForReading)
{
    file("s");
    ::symlink("s", path("link").c_str());
    ::mkdir(path("folder").c_str(), 0755);
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(path("held fifo").c_str(), 0600), 0);
    const int writer = ::open(path("held fifo").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    testsupport::PtyDevice terminal;
    const struct {
        const char* name;
        std::string path;
        int flags;
        int error; // 0: opened
    } cases[] = {
        {"plain file", path("s"), 0, 0},
        {"link to a plain file", path("link"), 0, 0},
        {"link not to be followed", path("link"), O_NOFOLLOW, ELOOP},
        {"missing", path("missing"), 0, ENOENT},
        {"folder", path("folder"), 0, EISDIR},
        {"fifo", path("fifo"), 0, EINVAL},
        {"fifo a writer holds", path("held fifo"), 0, EINVAL},
        {"terminal", terminal.path(), 0, EINVAL},
        {"device that never ends", "/dev/zero", 0, EINVAL},
    };
    testsupport::WaitBreaker breaker([&] {
        testsupport::VisitFifo(path("fifo"));
        terminal.hangUp();
    });
    QElapsedTimer took;
    took.start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        errno = 0;
        const int fd = platform::OpenForReading(c.path, c.flags);
        if (c.error != 0) {
            EXPECT_EQ(fd, -1);
            EXPECT_EQ(errno, c.error) << std::strerror(errno);
        } else {
            ASSERT_GE(fd, 0) << std::strerror(errno);
            EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
            EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
            std::string bytes(100, '\0');
            bytes.resize(std::size_t(std::max<ssize_t>(0, ::read(fd, bytes.data(), bytes.size()))));
            EXPECT_EQ(bytes, oldBytes);
            ::close(fd);
        }
        if (c.flags == 0) {
            QFile qt;
            EXPECT_EQ(platform::OpenForReading(qt, QFile::decodeName(c.path.c_str())), c.error == 0);
            EXPECT_EQ(qt.isOpen(), c.error == 0);
            if (c.error == 0) {
                EXPECT_EQ(qt.readAll().toStdString(), oldBytes);
            }
        }
    }
    EXPECT_LT(took.elapsed(), 2000) << "an open waited";
    ::close(writer);
}

// A FIFO that a reader holds can be written in place, but no backup can be made of it:
// the replacement fails at once rather than waiting for a writer to copy from, and
// nothing reaches the FIFO.
TEST_F(SafeFile, NoBackupIsMadeOfAFifo)
{
    ASSERT_EQ(::mkfifo(path("s").c_str(), 0600), 0);
    const int reader = ::open(path("s").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    testsupport::WaitBreaker breaker([&] { testsupport::VisitFifo(path("s")); });
    QElapsedTimer took;
    took.start();
    platform::FileReplacement replacement;
    std::string error;
    ASSERT_TRUE(replacement.open(path("s"), &error)) << error;
    ASSERT_TRUE(replacement.append(newBytes.data(), newBytes.size(), &error)) << error;
    EXPECT_FALSE(replacement.commit(path("s.bak"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_LT(took.elapsed(), 2000) << "the backup waited on the FIFO";
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0) << "bytes reached the FIFO";
    EXPECT_EQ(namesUnder(cwd.path()), std::set<QString>{QStringLiteral("s")}) << "no backup, no temporary file";
    ::close(reader);
}

// A writer killed while it replaces a file (a run log, the settings) leaves its
// temporary file; the next replacement of the same file removes it. Anything that is not
// such a leftover stays: another file's leftover, names of another pattern, and the
// temporary file of a writer that is still at work.
TEST_F(SafeFile, WhatAKilledWriterLeftGoesAtTheNextWrite)
{
    file("s");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        platform::FileReplacement replacement;
        const std::string half = "half of the new contents";
        const bool begun = replacement.open(path("s")) && replacement.append(half.data(), half.size());
        (void)!::write(ready[1], begun ? "y" : "n", 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char begun = 0;
    ASSERT_EQ(::read(ready[0], &begun, 1), 1);
    ::close(ready[0]);
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    ASSERT_EQ(begun, 'y');
    std::set<QString> left = namesUnder(cwd.path());
    left.erase(QStringLiteral("s"));
    ASSERT_EQ(left.size(), 1u) << "the killed writer's temporary file";
    const QString leftover = *left.begin();
    EXPECT_EQ(readBytes(path(leftover.toStdString())), "half of the new contents");

    // Names that are not this file's leftovers.
    writeBytes(path("s.dan.tmpAbC123"), "another file's");
    writeBytes(path("s.tmp"), "other pattern");
    writeBytes(path("s.tmpAbC1234"), "other pattern");
    writeBytes(path("s.tmpAb-123"), "other pattern");
    writeBytes(path("S.tmpAbC123"), "another file's, by case");
    writeBytes(path("victim"), "victim");
    ::symlink("victim", path("s.tmpLink01").c_str());
    ::mkdir(path("s.tmpFoldr1").c_str(), 0755);
    std::set<QString> expected = namesUnder(cwd.path());
    expected.erase(leftover);
    ASSERT_TRUE(platform::ReplaceFile(path("s"), newBytes.data(), newBytes.size()));
    EXPECT_EQ(readBytes(path("s")), newBytes);
    EXPECT_EQ(namesUnder(cwd.path()), expected);
    EXPECT_EQ(readBytes(path("victim")), "victim");

    // A writer at work, here in this process.
    platform::FileReplacement live;
    ASSERT_TRUE(live.open(path("s")));
    ASSERT_TRUE(live.append("live", 4));
    const std::set<QString> atWork = namesUnder(cwd.path());
    ASSERT_EQ(atWork.size(), expected.size() + 1);
    ASSERT_TRUE(platform::ReplaceFile(path("s"), oldBytes.data(), oldBytes.size()));
    EXPECT_EQ(namesUnder(cwd.path()), atWork);
    ASSERT_TRUE(live.commit());
    EXPECT_EQ(readBytes(path("s")), "live") << "the writer at work was not disturbed";
    EXPECT_EQ(namesUnder(cwd.path()), expected);
}

// Bytes that arrive in pieces (a download) end up as a file written whole would, under the
// same rules, and the previous file becomes the backup; a replacement given up or full
// disk leaves everything as it was.
TEST_F(SafeFile, APieceByPieceReplacementKeepsTheRulesAndTheBackup)
{
    const std::vector<std::string> pieces = {"new ", std::string(200000, 'x'), " end\r\n"};
    std::string whole;
    for (const std::string& piece : pieces)
        whole += piece;
    const struct {
        const char* name;
        void (*prepare)(const SafeFile& t);
        bool inPlace; // the file keeps its inode
        bool backup;
    } cases[] = {
        {"beside", [](const SafeFile& t) { t.file("s", 0640); }, false, true},
        {"new file", [](const SafeFile&) {}, false, true},
        {"second name",
         [](const SafeFile& t) {
             t.file("s", 0640);
             ::link(t.path("s").c_str(), t.path("t").c_str());
         },
         true, true},
        {"write-protected folder",
         [](const SafeFile& t) {
             t.file("s", 0640);
             ::chmod(QFile::encodeName(t.cwd.path()).constData(), 0555);
         },
         true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        for (const QString& name : namesUnder(cwd.path()))
            ::unlink(path(name.toStdString()).c_str());
        c.prepare(*this);
        const bool existed = statOf(path("s")).st_nlink > 0;
        const ino_t inode = statOf(path("s")).st_ino;
        std::set<QString> expected = namesUnder(cwd.path());
        expected.insert(QStringLiteral("s"));
        if (c.backup && existed)
            expected.insert(QStringLiteral("s.bak"));

        {
            platform::FileReplacement dropped;
            ASSERT_TRUE(dropped.open(path("s")));
            ASSERT_TRUE(dropped.append("lost", 4));
        }
        if (existed) {
            EXPECT_EQ(readBytes(path("s")), oldBytes) << "a replacement given up changes nothing";
        }

        platform::FileReplacement replacement;
        std::string error;
        ASSERT_TRUE(replacement.open(path("s"), &error)) << error;
        for (const std::string& piece : pieces)
            ASSERT_TRUE(replacement.append(piece.data(), piece.size(), &error)) << error;
        ASSERT_TRUE(replacement.commit(c.backup ? path("s.bak") : std::string(), &error)) << error;
        ::chmod(QFile::encodeName(cwd.path()).constData(), 0755);

        EXPECT_EQ(readBytes(path("s")), whole);
        EXPECT_EQ(statOf(path("s")).st_ino == inode, c.inPlace);
        EXPECT_EQ(statOf(path("s")).st_mode & 07777, existed ? 0640u : 0644u);
        if (c.backup && existed) {
            EXPECT_EQ(readBytes(path("s.bak")), oldBytes);
        }
        if (std::string(c.name) == "second name") {
            EXPECT_EQ(readBytes(path("t")), whole);
        }
        EXPECT_EQ(namesUnder(cwd.path()), expected) << "no temporary file stays";
    }

    // A full disk on the way.
    const std::set<QString> before = namesUnder(cwd.path());
    diskRoom = 100;
    platform::FileReplacement full(fullDiskWrite);
    ASSERT_TRUE(full.open(path("s")));
    std::string error;
    EXPECT_FALSE(full.append(whole.data(), whole.size(), &error));
    EXPECT_EQ(error, std::strerror(ENOSPC));
    EXPECT_FALSE(full.commit({}, &error));
    EXPECT_EQ(readBytes(path("s")), whole);
    EXPECT_EQ(namesUnder(cwd.path()), before);
}
