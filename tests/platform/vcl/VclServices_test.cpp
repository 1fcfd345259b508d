// Scripted services (file, colour and print dialogs, the shell opener) and the error
// box for exceptions that escape handlers.

#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclApplication.h"
#include "platform/vcl/VclControls.h"
#include "platform/vcl/VclDialogs.h"
#include "platform/vcl/VclShell.h"
#include "tests/support/QtTestApp.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QScopeGuard>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

using namespace vcl;

TEST(VclDialogs, FileDialogRecordsItsSetupAndTakesTheScriptedAnswer)
{
    testsupport::TempCwd tmp;
    DialogScript script;
    TOpenDialog open;
    open.SetInitialDir(tmp.path());
    open.SetFileName(QStringLiteral("*.*"));
    open.SetFilter(QStringLiteral("Plik danych|*.dan|Plik tekstowy|*.txt|Wszystkie pliki|*.*"));
    open.SetDefaultExt(QStringLiteral("txt"));

    struct Case {
        const char* answer;
        bool accept;
        const char* fileName;
    };
    const Case cases[] = {
        {"pomiar", true, "pomiar.txt"}, // no extension: the default one is added
        {"pomiar.dan", true, "pomiar.dan"},
        {"Okno1/run.dan", true, "Okno1/run.dan"},
        {nullptr, false, "Okno1/run.dan"}, // cancelled: the name stays
    };
    for (const Case& c : cases) {
        if (c.answer)
            script.answerFile(QString::fromUtf8(c.answer));
        else
            script.cancel();
        EXPECT_EQ(open.Execute(), c.accept);
        EXPECT_EQ(open.FileName(), tmp.path() + "/" + QString::fromUtf8(c.fileName));
    }
    ASSERT_EQ(script.records().size(), 4u);
    const DialogRecord& first = script.records()[0];
    EXPECT_EQ(first.kind, QStringLiteral("open"));
    EXPECT_EQ(first.initialDir, tmp.path());
    EXPECT_EQ(first.fileName, QStringLiteral("*.*"));
    EXPECT_EQ(first.filter, QStringLiteral("Plik danych|*.dan|Plik tekstowy|*.txt|Wszystkie pliki|*.*"));
    EXPECT_EQ(first.defaultExt, QStringLiteral("txt"));
    // Nothing queued: the dialog is cancelled, never shown.
    TSaveDialog save;
    EXPECT_FALSE(save.Execute());
    EXPECT_EQ(script.records().back().kind, QStringLiteral("save"));
}

TEST(VclDialogs, ASaveAsksBeforeItReplacesAFileAndNeverTakesTheFileInUse)
{
    testsupport::TempCwd tmp;
    const QString existing = tmp.file(QStringLiteral("stary.bmp"), "stary");
    const QString inUse = tmp.file(QStringLiteral("dane/v.dan"), "dane");
    tmp.mkdir(QStringLiteral("inne"));
    ASSERT_TRUE(QFile::link(inUse, tmp.path() + QStringLiteral("/dowiazanie.dan")));
    const QString question = QStringLiteral("Plik %1 już istnieje.\nCzy zamienić go?").arg(existing);
    const auto refusal = [](const QString& path) {
        return QStringLiteral("Plik %1 jest otwarty w programie.\nZapisz pod inną nazwą.").arg(path);
    };
    SetFileInUse(inUse);
    const auto cleanUp = qScopeGuard([] { SetFileInUse({}); });

    struct Case {
        const char* name;
        bool save = true;
        bool prompt = true;
        QStringList answers;      // the dialog's answers in turn; then it is cancelled
        std::vector<int> replies; // to the boxes in turn
        bool accepted;
        QString fileName; // after Execute; "before" when cancelled
        QStringList boxes;
    } cases[] = {
        {"a new name", true, true, {"nowy"}, {}, true, tmp.path() + "/nowy.bmp", {}},
        {"an existing file, Yes", true, true, {"stary"}, {platform::IDYES}, true, existing, {question}},
        {"an existing file, No, then another name",
         true,
         true,
         {"stary.bmp", "nowy"},
         {platform::IDNO},
         true,
         tmp.path() + "/nowy.bmp",
         {question}},
        {"an existing file, No, then cancelled",
         true,
         true,
         {"stary.bmp"},
         {platform::IDNO},
         false,
         "before",
         {question}},
        {"an existing file, the program asks itself", true, false, {"stary.bmp"}, {}, true, existing, {}},
        {"the file in use, then another name",
         true,
         true,
         {"dane/v.dan", "nowy"},
         {},
         true,
         tmp.path() + "/nowy.bmp",
         {refusal(inUse)}},
        {"the file in use, also when the program asks itself",
         true,
         false,
         {"dane/v.dan"},
         {},
         false,
         "before",
         {refusal(inUse)}},
        {"the file in use through a link",
         true,
         true,
         {"dowiazanie.dan"},
         {},
         false,
         "before",
         {refusal(tmp.path() + "/dowiazanie.dan")}},
        {"the file in use by another way",
         true,
         true,
         {"inne/../dane/./v.dan"},
         {},
         false,
         "before",
         {refusal(tmp.path() + "/dane/v.dan")}},
        {"the file in use is opened, not written", false, true, {"dane/v.dan"}, {}, true, inUse, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DialogScript script;
        platform::MessageScript boxes;
        for (const QString& a : c.answers)
            script.answerFile(a);
        for (const int r : c.replies)
            boxes.answer(r);
        std::unique_ptr<TFileDialogBase> dialog;
        if (c.save)
            dialog = std::make_unique<TSaveDialog>();
        else
            dialog = std::make_unique<TOpenDialog>();
        dialog->SetInitialDir(tmp.path());
        dialog->SetFileName(QStringLiteral("before"));
        dialog->SetDefaultExt(QStringLiteral("*.bmp"));
        dialog->SetOverwritePrompt(c.prompt);
        EXPECT_EQ(dialog->Execute(), c.accepted);
        EXPECT_EQ(dialog->FileName(), c.fileName);
        QStringList texts;
        for (const platform::MessageRecord& r : boxes.records()) {
            texts << r.text;
            EXPECT_EQ(r.title, QStringLiteral("Uwaga"));
            EXPECT_EQ(r.flags & platform::MB_TYPEMASK,
                      unsigned(r.text == question ? platform::MB_YESNO : platform::MB_OK));
        }
        EXPECT_EQ(texts, c.boxes);
        // A refused name comes back to the dialog as its proposal.
        if (script.records().size() > 1) {
            EXPECT_EQ(script.records()[1].fileName, QFileInfo(tmp.path(), c.answers[0]).absoluteFilePath());
        }
    }
    for (const auto& [path, bytes] : {std::pair{existing, "stary"}, std::pair{inUse, "dane"}}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray(bytes)) << "nothing writes in a dialog";
    }

    // The print dialog does not print into the file in use either.
    DialogScript script;
    platform::MessageScript boxes;
    TPrintDialog print;
    script.answerPrintToPdf(inUse);
    EXPECT_FALSE(print.Execute());
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, refusal(inUse));
    const QString pdf = tmp.path() + QStringLiteral("/wykres.pdf");
    script.answerPrintToPdf(inUse);
    script.answerPrintToPdf(pdf);
    EXPECT_TRUE(print.Execute());
    EXPECT_EQ(print.Printer()->outputFileName(), pdf);
    EXPECT_EQ(boxes.records().size(), 2u);

    // Nothing in use: nothing is refused.
    SetFileInUse({});
    EXPECT_FALSE(IsFileInUse(inUse));
}

TEST(VclDialogs, ClassLibraryFiltersBecomeQtFilters)
{
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"Plik danych|*.dan|Plik tekstowy|*.txt|Wszystkie pliki|*.*",
         "Plik danych (*.dan);;Plik tekstowy (*.txt);;Wszystkie pliki (*.*)"},
        {"Pliki tekstowe|*.txt;*.dan", "Pliki tekstowe (*.txt *.dan)"},
        {"", ""},
        {"Bez wzorca", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TFileDialogBase::QtFilter(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
}

// Shown for real, a file dialog belongs to the modal window open at the time. When that
// window is destroyed while the dialog is open, the dialog goes with it and Execute
// ends as cancelled, the file name unchanged.
TEST(VclDialogs, FileDialogBelongsToTheModalWindowAndEndsWithIt)
{
    testsupport::TempCwd tmp;
    QPointer<QWidget> owner = new QWidget;
    owner->setWindowModality(Qt::ApplicationModal);
    owner->show();
    QWidget* const ownerWindow = owner.data();
    QWidget* parent = nullptr;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        parent = dialog->parentWidget();
        delete owner.data();
    });
    poll.start();
    TOpenDialog open;
    open.SetInitialDir(tmp.path());
    open.SetFileName(QStringLiteral("pomiar.txt"));
    EXPECT_FALSE(open.Execute());
    EXPECT_EQ(parent, ownerWindow);
    EXPECT_TRUE(owner.isNull());
    EXPECT_EQ(open.FileName(), QStringLiteral("pomiar.txt"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(VclDialogs, ColourAndPrintDialogsAreScriptedAndPrintingWritesAPdf)
{
    testsupport::TempCwd tmp;
    DialogScript script;
    TColorDialog colour;
    colour.SetColor(clRed);
    script.answerColor(clNavy);
    EXPECT_TRUE(colour.Execute());
    EXPECT_EQ(colour.Color(), clNavy);
    script.cancel();
    EXPECT_FALSE(colour.Execute());
    EXPECT_EQ(colour.Color(), clNavy);

    TPrintDialog print;
    const QString pdf = tmp.path() + "/wykres.pdf";
    script.answerPrintToPdf(pdf);
    ASSERT_TRUE(print.Execute());
    {
        QPainter painter(print.Printer());
        ASSERT_TRUE(painter.isActive());
        painter.drawText(100, 100, QStringLiteral("k1"));
    }
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5) == "%PDF-");
    EXPECT_EQ(script.records().back().kind, QStringLiteral("print"));
}

TEST(VclShell, RequestsAreRecordedAndMappedToWhatTheDesktopOpens)
{
    testsupport::TempCwd tmp;
    platform::ShellScript shell;
    struct Case {
        const char* op;
        const char* file;
        const char* params;
        const char* dir;
        QUrl url;
    };
    const Case cases[] = {
        {"open", "https://example.org/Support/", "", "", QUrl("https://example.org/Support/")},
        {"open", "www.example.org", "", "", QUrl("http://www.example.org")},
        {"explore", "/tmp", "", "", QUrl::fromLocalFile("/tmp")},
        {"open", "Excel.exe", "\"/tmp/eksport.txt\"", "", QUrl::fromLocalFile("/tmp/eksport.txt")},
        {"open", "scalc.exe", "", "", QUrl()},
        {"open", "pomoc.pdf", "", "/opt/prog", QUrl::fromLocalFile("/opt/prog/pomoc.pdf")},
        {"open", "pomoc.pdf", "", "", QUrl::fromLocalFile(tmp.path() + "/pomoc.pdf")},
        {"print", "pomoc.pdf", "", "", QUrl()},
    };
    for (const Case& c : cases) {
        const bool ok = platform::ShellExecute(QString::fromUtf8(c.op), QString::fromUtf8(c.file),
                                               QString::fromUtf8(c.params), QString::fromUtf8(c.dir));
        EXPECT_EQ(ok, !c.url.isEmpty()) << c.file;
        ASSERT_FALSE(shell.records().empty());
        EXPECT_EQ(shell.records().back().url, c.url) << c.file;
        EXPECT_EQ(shell.records().back().operation, QString::fromUtf8(c.op));
    }
    shell.answer(false); // the desktop refused
    EXPECT_FALSE(platform::ShellExecute(QStringLiteral("open"), QStringLiteral("https://example.org")));
    EXPECT_EQ(shell.records().size(), std::size(cases) + 1);
}

TEST(VclErrors, AnExceptionEscapingAnyHandlerIsShownAndTheProgramGoesOn)
{
    platform::MessageScript boxes;
    // Straight from the event loop, not through a layer handler: the application object
    // catches it.
    int after = 0;
    QTimer::singleShot(0, [] {
        throw std::runtime_error("Nie mo\xbf"
                                 "na zapisa\xe6");
    });
    QTimer::singleShot(0, [] { throw 7; });
    QTimer::singleShot(5, [&] { ++after; });
    ASSERT_TRUE(testsupport::WaitUntil([&] { return after == 1; }));
    // Through a menu item's handler.
    QMenu menu;
    QAction* item = AddMenuItem(&menu, QStringLiteral("Czytaj."),
                                [](TObject*) { throw Exception(QStringLiteral("Brak połączenia")); });
    item->trigger();
    ASSERT_EQ(boxes.records().size(), 3u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Nie można zapisać"));
    EXPECT_EQ(boxes.records()[1].text, QString());
    EXPECT_EQ(boxes.records()[2].text, QStringLiteral("Brak połączenia"));
    for (const auto& r : boxes.records())
        EXPECT_EQ(r.title, QStringLiteral("Error"));
}
