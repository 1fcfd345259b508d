// The main window's spreadsheet export and folder explorer, on the popup menu of its
// file list. The measurement windows export their own file lists the same way.

#include "mainwindow/Unit1.h"

#include "acquisition/SpreadsheetCopy.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclDialogs.h"
#include "platform/vcl/VclShell.h"

#include <QDir>
#include <QFile>

void TForm1::MSExel1Click(TObject*)
{
    ExportToSpreadsheet(QStringLiteral("Excel.exe"), FileListBox1, MSExel1, OpenOffice1);
}

void TForm1::OpenOffice1Click(TObject*)
{
    ExportToSpreadsheet(QStringLiteral("scalc.exe"), FileListBox1, MSExel1, OpenOffice1);
}

void TForm1::MSEksplorer1Click(TObject*) { ExploreFolder(DirectoryListBox1->Directory()); }

namespace {

// Starts the spreadsheet program with the document and says so when none could open it:
// none could be started, or the one started ended with an error at once. Nothing waits
// for the program; a failure found later is told then.
void openInSpreadsheet(const QString& program, const QString& document, const QString& importFilter = {})
{
    const auto sayNone = [document] {
        platform::MessageBox(QStringLiteral("Nie można uruchomić arkusza kalkulacyjnego.\n"
                                            "Plik %1 można otworzyć samodzielnie.")
                                 .arg(QDir::toNativeSeparators(document)),
                             QStringLiteral("Błąd"), platform::MB_OK | platform::MB_ICONERROR);
    };
    if (!platform::ShellExecute(QStringLiteral("open"), program, document, {}, importFilter, [sayNone](bool opened) {
            if (!opened)
                sayNone();
        }))
        sayNone();
}

} // namespace

void TForm1::ExportToSpreadsheet(const QString& program, vcl::TFileListBox* list, QAction* excelItem, QAction* calcItem)
{
    const QString path = list->FileName();
    const std::string onDisk = QFile::encodeName(path).toStdString();
    if (path.isEmpty()) {
        // The items stay enabled after the selected file left the list.
        platform::MessageBox(QStringLiteral("Nie wybrano pliku.."), QStringLiteral("Uwaga!"), platform::MB_OK);
    } else if (acquisition::needsSpreadsheetCopy(onDisk)) {
        // The copy goes beside the data file, into the list's own folder: the current
        // directory follows whichever list was read last, another window's included.
        const QString copy = QDir(list->Directory())
                                 .absoluteFilePath(QFile::decodeName(acquisition::spreadsheetCopyName(onDisk).c_str()));
        const auto result = vcl::IsFileInUse(copy)
                                ? acquisition::CopyResult::copyUnwritable
                                : acquisition::writeSpreadsheetCopy(onDisk, platform::unicodeToCp1250(path),
                                                                    QFile::encodeName(copy).toStdString());
        switch (result) {
        case acquisition::CopyResult::dataFileUnreadable:
            platform::MessageBox(QStringLiteral("Błąd otwarcia pliku.."), QStringLiteral("Błąd..."), platform::MB_OK);
            break;
        case acquisition::CopyResult::copyUnwritable:
            platform::MessageBox(QStringLiteral("Błąd, Zmień nazwę lub zamknij plik Arkusza kalkulacyjnego"),
                                 QStringLiteral("Błąd..."), platform::MB_OK);
            break;
        case acquisition::CopyResult::written:
            openInSpreadsheet(program, copy, QString::fromLatin1(acquisition::spreadsheetCopyImportFilter));
            break;
        }
    } else {
        openInSpreadsheet(program, path);
    }
    list->Update();
    excelItem->setEnabled(false);
    calcItem->setEnabled(false);
}

void TForm1::ExploreFolder(const QString& folder)
{
    if (!platform::ShellExecute(QStringLiteral("explore"), folder))
        platform::MessageBox(QStringLiteral("Dostęp zabroniony!"), QStringLiteral("Uwaga!"), platform::MB_OK);
}
