#pragma once
// What the benches of the forms share: the application, offscreen unless a platform was
// chosen, a temporary start folder made current, and message boxes answered by script so
// that nothing waits for a click.

#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclApplication.h"

#include <QDir>
#include <QTemporaryDir>

namespace testsupport {

struct BenchProgram {
    BenchProgram(int& argc, char** argv) : app(offscreenUnlessChosen(argc), argv) { QDir::setCurrent(start.path()); }

    vcl::TApplication app;
    QTemporaryDir start;
    platform::MessageScript boxes;

private:
    static int& offscreenUnlessChosen(int& argc)
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return argc;
    }
};

} // namespace testsupport
