#pragma once
// The main program's forms for tests: created in the entry routine's order (main
// window, settings dialog, about box, file-name dialog) and destroyed in reverse, with
// their globals cleared. Also small byte helpers the form tests share.

#include "acquisition/SettingsBlock.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit5.h"
#include "mainwindow/Unit1.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace testsupport {

// All four forms, or only the main window and the settings dialog.
inline void CreateProgramForms(bool all = true)
{
    vcl::Application->CreateForm(Form1);
    vcl::Application->CreateForm(Form2);
    if (all) {
        vcl::Application->CreateForm(Form5);
        vcl::Application->CreateForm(Form3);
    }
}

inline void DestroyProgramForms()
{
    delete Form3;
    delete Form5;
    delete Form2;
    delete Form1;
    Form3 = nullptr;
    Form5 = nullptr;
    Form2 = nullptr;
    Form1 = nullptr;
    // A test that closed the program leaves the application terminated; the next one
    // starts with a running application and a new main form.
    vcl::Application->Restart();
}

inline QByteArray ReadFileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QByteArray BlockBytes(const acquisition::SettingsBlock& b)
{
    return QByteArray(reinterpret_cast<const char*>(&b), sizeof b);
}

// A settings file as a previous run leaves it: the first-run values with a window
// geometry, a lower panel of 200 pixels, a page size of 5000 and the serial link.
inline acquisition::SettingsBlock StoredSettings()
{
    acquisition::SettingsBlock b;
    b.applyFirstRunValues("");
    b.mainWidth = 700;
    b.mainHeight = 500;
    b.mainLeft = 10;
    b.mainTop = 20;
    b.leftPanelWidth = 150;
    b.listPanelSize = 200;
    b.pageSize = 5000;
    b.connectionMode = 0;
    return b;
}

} // namespace testsupport
