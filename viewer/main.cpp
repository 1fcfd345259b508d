// Entry routine of the viewer: the chart window (the main window, whose start sequence
// runs as it is created), the about box and the info form, then the message loop.

#include "platform/vcl/MessageBox.h"
#include "platform/vcl/Vcl.h"
#include "viewer/Unit1.h"
#include "viewer/Unit3.h"
#include "viewer/Unit4.h"

int main(int argc, char** argv)
{
    vcl::TApplication app(argc, argv);
    try {
        app.SetTitle(QStringLiteral("Dalvinter"));
        TDalvinterForm1::commandLine = QCoreApplication::arguments();
        app.CreateForm(DalvinterForm1);
        app.CreateForm(Form4);
        app.CreateForm(DalvinterForm3);
        app.Run();
    } catch (...) {
        vcl::HandleException(std::current_exception());
    }
    return 0;
}
