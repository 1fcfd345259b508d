// The real viewer on an X server of the test's own: the title the window system shows
// with a data file named on the command line, and the way out through "&Zamkinij".

#include "tests/support/QtTestApp.h"
#include "tests/support/XServer.h"

#include <QProcess>
#include <gtest/gtest.h>

#ifdef DALVINTER_EXECUTABLE

namespace {

const QString windowTitle = QStringLiteral("VESK  Dalvinter");

class RealViewer : public testsupport::RealProgramTest {
protected:
    void start(const QStringList& args)
    {
        window = startProgram(QStringLiteral(DALVINTER_EXECUTABLE), args, QLatin1Char('^') + windowTitle);
        ASSERT_FALSE(window.isEmpty()) << "no chart window";
    }

    QString window;
};

TEST_F(RealViewer, ShowsItsTitleAndEndsWithZeroOnZamkinij)
{
    const struct {
        const char* name;
        QStringList args;
    } cases[] = {
        {"file named", {QStringLiteral("pomiar 1.dan")}},
        {"file and reload", {QStringLiteral("pomiar 1.dan"), QStringLiteral("1")}},
    };
    cwd.file(QStringLiteral("pomiar 1.dan"), "DataTime k1 k2\r\n2024-03-01 12:00:00 21.5 -3.0\r\n"
                                             "2024-03-01 12:00:01 21.7 -2.5\r\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(start(c.args));
        EXPECT_EQ(x.title(window), windowTitle);
        EXPECT_EQ(x.legacyTitle(window), windowTitle);
        ASSERT_TRUE(x.pressKeys(window, QStringLiteral("alt+z")));
        ASSERT_TRUE(program.waitForFinished(3000)) << "still running after \"&Zamkinij\"";
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
    }
}

} // namespace

#endif
