// Entry routine of the main program: creates the main window, the settings dialog,
// the about box and the file-name dialog, in this order, and runs the message loop.

#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit5.h"
#include "mainwindow/Unit1.h"
#include "platform/vcl/MessageBox.h"
#include "windows/Unit6.h"

int main(int argc, char** argv)
{
    vcl::TApplication app(argc, argv);
    try {
        app.SetTitle(QStringLiteral("Tazo6Dalvinter"));
        app.SetMainFormOnTaskBar(true);
        RegisterMeasurementWindows();
        app.CreateForm(Form1);
        app.CreateForm(Form2);
        app.CreateForm(Form5);
        app.CreateForm(Form3);
        app.Run();
    } catch (...) {
        vcl::HandleException(std::current_exception());
    }
    return 0;
}
