#include "platform/vcl/MessageBox.h"

#include "tests/support/TempDirTest.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

using namespace platform;

namespace {

// Set in the copy of this program that checks the console behaviour, which must have no
// QApplication at all.
constexpr char consoleChild[] = "MESSAGEBOX_TEST_CONSOLE_CHILD";

// One offscreen QApplication for the whole program (gtest_main owns main()).
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsSet(consoleChild))
            return;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char arg0_[16] = "messagebox_test";
    char* argv_[2] = {arg0_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

using InTempDir = testsupport::TempDirTest;

using MessageScriptTest = InTempDir;
using MessageBoxConsoleTest = InTempDir;

struct BoxKind {
    unsigned flags;
    int first;
};

const BoxKind kinds[] = {
    {MB_OK, IDOK},
    {MB_OKCANCEL | MB_ICONQUESTION, IDOK},
    {MB_ABORTRETRYIGNORE | MB_ICONWARNING, IDABORT},
    {MB_YESNOCANCEL | MB_ICONQUESTION, IDYES},
    {MB_YESNO | MB_SERVICE_NOTIFICATION, IDYES},
    {MB_RETRYCANCEL | MB_ICONERROR, IDRETRY},
};

TEST_F(MessageScriptTest, UnqueuedBoxGetsItsFirstButton)
{
    MessageScript script;
    for (const BoxKind& k : kinds) {
        SCOPED_TRACE(k.flags);
        EXPECT_EQ(MessageBox("t", "c", k.flags), k.first);
    }
    ASSERT_EQ(script.records().size(), std::size(kinds));
    for (std::size_t i = 0; i < std::size(kinds); ++i) {
        EXPECT_EQ(script.records()[i].flags, kinds[i].flags);
        EXPECT_EQ(script.records()[i].answer, kinds[i].first);
    }
}

TEST_F(MessageScriptTest, QueuedAnswersInOrderThenDefault)
{
    MessageScript script;
    script.answer(IDCANCEL);
    script.answer(IDNO);
    EXPECT_EQ(MessageBox("Czy nowe pomiary? ", "Uwaga", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBox("second", "Uwaga!", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBox("third", "Uwaga!", MB_OKCANCEL), IDOK);

    ASSERT_EQ(script.records().size(), 3u);
    const MessageRecord& r = script.records()[0];
    EXPECT_EQ(r.title, QString::fromUtf8("Uwaga"));
    EXPECT_EQ(r.text, QString::fromUtf8("Czy nowe pomiary? "));
    EXPECT_EQ(r.flags, unsigned(MB_OKCANCEL));
    EXPECT_EQ(r.answer, IDCANCEL);
    EXPECT_EQ(script.records()[1].answer, IDNO);
    EXPECT_EQ(script.records()[2].answer, IDOK);

    script.clear();
    EXPECT_TRUE(script.records().empty());
}

TEST_F(MessageScriptTest, ShowMessageAndShowExceptionAreRecorded)
{
    QCoreApplication::setApplicationName("Tazo6Dalvinter");
    MessageScript script;
    script.answer(IDCANCEL); // an OK-only box still takes the queued answer
    ShowMessage(QString::fromUtf8("Fie no exist: C:\\dane\\ą.dan"));
    ShowException(QString::fromUtf8("'x' is not a valid integer value"));

    ASSERT_EQ(script.records().size(), 2u);
    EXPECT_EQ(script.records()[0].title, QString("Tazo6Dalvinter"));
    EXPECT_EQ(script.records()[0].text, QString::fromUtf8("Fie no exist: C:\\dane\\ą.dan"));
    EXPECT_EQ(script.records()[0].flags, unsigned(MB_OK));
    EXPECT_EQ(script.records()[0].answer, IDCANCEL);
    EXPECT_EQ(script.records()[1].title, QString("Error"));
    EXPECT_EQ(script.records()[1].text, QString("'x' is not a valid integer value"));
    EXPECT_EQ(script.records()[1].flags, unsigned(MB_OK | MB_ICONERROR));
    EXPECT_EQ(script.records()[1].answer, IDOK);
}

TEST_F(MessageScriptTest, NewestScriptAnswersAndDestructionRestores)
{
    MessageScript outer;
    outer.answer(IDNO);
    {
        MessageScript inner;
        inner.answer(IDCANCEL);
        EXPECT_EQ(MessageBox("in", "t", MB_YESNOCANCEL), IDCANCEL);
        EXPECT_EQ(MessageBox("in2", "t", MB_YESNOCANCEL), IDYES);
        EXPECT_EQ(inner.records().size(), 2u);
    }
    EXPECT_EQ(MessageBox("out", "t", MB_YESNO), IDNO);
    ASSERT_EQ(outer.records().size(), 1u);
    EXPECT_EQ(outer.records()[0].text, QString("out"));

    // A middle script destroyed before the newest one must not take the newest down with it.
    auto middle = std::make_unique<MessageScript>();
    auto newest = std::make_unique<MessageScript>();
    middle.reset();
    newest->answer(IDRETRY);
    EXPECT_EQ(MessageBox("n", "t", MB_RETRYCANCEL), IDRETRY);
    EXPECT_EQ(newest->records().size(), 1u);
    newest.reset();
    EXPECT_EQ(MessageBox("o", "t", MB_RETRYCANCEL), IDRETRY);
    EXPECT_EQ(outer.records().size(), 2u);
}

TEST_F(MessageScriptTest, OnMessageSeesTheBoxBeforeItIsAnswered)
{
    MessageScript script;
    std::vector<MessageRecord> seen;
    script.onMessage = [&](const MessageRecord& r) {
        seen.push_back(r);
        if (r.text == "ask") {
            script.answer(IDRETRY);
            // Acting on a box may raise another one; it is recorded and answered first.
            EXPECT_EQ(MessageBox("nested", "n", MB_OK), IDIGNORE);
        }
    };
    script.answer(IDIGNORE);
    EXPECT_EQ(MessageBox("ask", "q", MB_ABORTRETRYIGNORE), IDRETRY);
    EXPECT_EQ(MessageBox("plain", "q", MB_ABORTRETRYIGNORE), IDABORT);

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].text, QString("ask"));
    EXPECT_EQ(seen[0].title, QString("q"));
    EXPECT_EQ(seen[0].flags, unsigned(MB_ABORTRETRYIGNORE));
    EXPECT_EQ(seen[0].answer, 0);
    EXPECT_EQ(seen[1].text, QString("nested"));
    ASSERT_EQ(script.records().size(), 3u);
    EXPECT_EQ(script.records()[0].text, QString("ask"));
    EXPECT_EQ(script.records()[0].answer, IDRETRY);
    EXPECT_EQ(script.records()[1].text, QString("nested"));
    EXPECT_EQ(script.records()[1].answer, IDIGNORE);
    EXPECT_EQ(script.records()[2].answer, IDABORT);
}

TEST_F(MessageBoxConsoleTest, WithoutApplicationWritesToStderrAndTakesFirstButton)
{
    if (!qEnvironmentVariableIsSet(consoleChild)) {
        // This program has its QApplication; the check runs in a copy of it that has none.
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(consoleChild, "1");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=MessageBoxConsoleTest.WithoutApplicationWritesToStderrAndTakesFirstButton"});
        ASSERT_TRUE(child.waitForFinished(30000));
        const QString out = QString::fromUtf8(child.readAll());
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out.toStdString();
        EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
        return;
    }
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    for (const BoxKind& k : kinds) {
        SCOPED_TRACE(k.flags);
        testing::internal::CaptureStderr();
        const int answer = MessageBox(QString::fromUtf8("Niewłaściwa nazwa portu"), QString::fromUtf8("Błąd"), k.flags);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(answer, k.first);
        EXPECT_NE(err.find("Błąd"), std::string::npos) << err;
        EXPECT_NE(err.find("Niewłaściwa nazwa portu"), std::string::npos) << err;
    }
}

// Real boxes, shown by the program's QApplication; no script is installed.
class RealMessageBoxTest : public InTempDir {
protected:
    void SetUp() override
    {
        InTempDir::SetUp();
        ASSERT_NE(qobject_cast<QApplication*>(QCoreApplication::instance()), nullptr);
    }

    struct Seen {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QStringList captions; // in the order the buttons were added
        bool found = false;
    };

    // Waits (on events) until a message box is the active modal widget, notes what it
    // shows and then acts on it.
    void whenBoxShows(Seen& seen, std::function<void(QMessageBox*)> act)
    {
        poller_ = std::make_unique<QTimer>();
        poller_->setInterval(0);
        QObject::connect(poller_.get(), &QTimer::timeout, [this, &seen, act] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            poller_->stop();
            QStringList captions;
            for (QAbstractButton* b : box->buttons())
                captions << b->text();
            seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(), captions, true};
            act(box);
        });
        poller_->start();
    }

    static std::function<void(QMessageBox*)> click(QMessageBox::StandardButton b)
    {
        return [b](QMessageBox* box) {
            QAbstractButton* button = box->button(b);
            if (!button) {
                ADD_FAILURE() << "the box has no such button";
                box->done(0);
                return;
            }
            button->click();
        };
    }

    std::unique_ptr<QTimer> poller_;
};

TEST_F(RealMessageBoxTest, CancelClickedByTimerReturnsIdCancel)
{
    Seen seen;
    whenBoxShows(seen, click(QMessageBox::Cancel));
    const int answer =
        MessageBox(QString::fromUtf8("Plik istnieje, czy zamienić? "), "Uwaga", MB_OKCANCEL | MB_ICONQUESTION);
    EXPECT_EQ(answer, IDCANCEL);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.title, QString("Uwaga"));
    EXPECT_EQ(seen.text, QString::fromUtf8("Plik istnieje, czy zamienić? "));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(seen.captions, QStringList({"OK", "Anuluj"}));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(RealMessageBoxTest, EachButtonReturnsItsResult)
{
    struct Case {
        unsigned flags;
        QMessageBox::StandardButtons shown;
        QMessageBox::StandardButton press;
        int expected;
        QMessageBox::Icon icon;
    };
    const Case cases[] = {
        {MB_OK, QMessageBox::Ok, QMessageBox::Ok, IDOK, QMessageBox::NoIcon},
        {MB_OKCANCEL, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, IDOK, QMessageBox::NoIcon},
        {MB_ABORTRETRYIGNORE | MB_ICONWARNING, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
         QMessageBox::Ignore, IDIGNORE, QMessageBox::Warning},
        {MB_YESNOCANCEL | MB_ICONINFORMATION, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No,
         IDNO, QMessageBox::Information},
        {MB_YESNO | MB_SERVICE_NOTIFICATION, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, IDYES,
         QMessageBox::NoIcon},
        {MB_RETRYCANCEL | MB_ICONERROR, QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Retry, IDRETRY,
         QMessageBox::Critical},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        Seen seen;
        whenBoxShows(seen, click(c.press));
        EXPECT_EQ(MessageBox("text", "title", c.flags), c.expected);
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.buttons, c.shown);
        EXPECT_EQ(seen.icon, c.icon);
    }
}

TEST_F(RealMessageBoxTest, EscapeAnswersCancelOrTheLoneOk)
{
    const auto escape = [](QMessageBox* box) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(box, &press);
    };
    struct Case {
        unsigned flags;
        int expected;
    };
    for (const Case& c : {Case{MB_OK, IDOK}, Case{MB_YESNOCANCEL, IDCANCEL}, Case{MB_RETRYCANCEL, IDCANCEL}}) {
        SCOPED_TRACE(c.flags);
        Seen seen;
        whenBoxShows(seen, escape);
        EXPECT_EQ(MessageBox("text", "title", c.flags), c.expected);
        EXPECT_TRUE(seen.found);
    }
}

TEST_F(RealMessageBoxTest, ShowExceptionShowsTheErrorBox)
{
    Seen seen;
    whenBoxShows(seen, click(QMessageBox::Ok));
    ShowException("Save error ");
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.title, QString("Error"));
    EXPECT_EQ(seen.text, QString("Save error "));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

// A box belongs to the modal window open at the time, so that the window manager keeps it
// above that window; without one it belongs to the active window. When its owner is
// destroyed while the box is open, the box goes with it and the call returns as cancelled.
TEST_F(RealMessageBoxTest, BoxBelongsToTheModalWindowAndEndsWithIt)
{
    struct Case {
        unsigned flags;
        bool modal; // the owner is modal; else it is a plain window made active
        bool destroyOwner;
        int expected;
    };
    const Case cases[] = {{MB_OKCANCEL, true, false, IDOK},
                          {MB_OKCANCEL, false, false, IDOK},
                          {MB_OKCANCEL, true, true, IDCANCEL},
                          {MB_OK, true, true, IDOK}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.flags << (c.modal ? " modal" : " active")
                                        << (c.destroyOwner ? ", owner destroyed" : ""));
        QPointer<QWidget> other = new QWidget; // a window shown before, which owns nothing
        other->show();
        QPointer<QWidget> owner = new QWidget;
        if (c.modal)
            owner->setWindowModality(Qt::ApplicationModal);
        owner->show();
        owner->activateWindow();
        for (QDeadlineTimer t(3000); QApplication::activeWindow() != owner && !t.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_EQ(QApplication::activeWindow(), owner.data());
        QWidget* const ownerWindow = owner.data();
        Seen seen;
        QWidget* parent = nullptr;
        whenBoxShows(seen, [&](QMessageBox* box) {
            parent = box->parentWidget();
            if (c.destroyOwner)
                delete owner.data();
            else
                box->button(QMessageBox::Ok)->click();
        });
        EXPECT_EQ(MessageBox("text", "title", c.flags), c.expected);
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(parent, ownerWindow);
        EXPECT_EQ(owner.isNull(), c.destroyOwner);
        delete owner.data();
        delete other.data();
    }
}

// A box raised by a worker thread is shown by the user-interface thread; the worker waits for the answer.
TEST_F(RealMessageBoxTest, BoxFromWorkerThreadIsShownOnInterfaceThread)
{
    Seen seen;
    QThread* shownOn = nullptr;
    whenBoxShows(seen, [&](QMessageBox* box) {
        shownOn = box->thread();
        box->button(QMessageBox::No)->click();
    });
    std::atomic<int> answer{0};
    QEventLoop loop;
    std::thread worker([&] {
        answer = MessageBox("worker", "t", MB_YESNO);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    EXPECT_EQ(answer.load(), IDNO);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(shownOn, qApp->thread());
}

} // namespace
