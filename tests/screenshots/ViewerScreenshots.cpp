// Renders the viewer's chart window with a data file of three channels loaded, its info
// form with the file's smallest and largest value, and its about box into PNG files,
// for a person to look at.
//
//   viewer_screenshots <output folder>

#include "platform/vcl/MessageBox.h"
#include "platform/vcl/Vcl.h"
#include "viewer/Unit1.h"
#include "viewer/Unit3.h"
#include "viewer/Unit4.h"

#include "tests/screenshots/Shoot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

using screenshots::shoot;

namespace {

// A day's cyclic data file of three temperatures, one reading every ten minutes.
QByteArray dayFile()
{
    QByteArray bytes = "DataTime T_zew T_wew T_zas\r\n";
    for (int i = 0; i < 144; ++i) {
        const double t = i / 144.0 * 2 * M_PI;
        bytes += QStringLiteral("2024-03-05 %1:%2:00 %3 %4 %5\r\n")
                     .arg(i / 6, 2, 10, QLatin1Char('0'))
                     .arg(i % 6 * 10, 2, 10, QLatin1Char('0'))
                     .arg(4 + 6 * std::sin(t - 2), 0, 'f', 1)
                     .arg(21 + 0.8 * std::sin(3 * t), 0, 'f', 1)
                     .arg(45 + 10 * std::cos(t), 0, 'f', 1)
                     .toLatin1();
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    screenshots::Session session(argc, argv, "viewer_screenshots");
    if (!session.app)
        return 2;
    vcl::TApplication& app = *session.app;
    const QString& out = session.out;
    QFile data(QStringLiteral("dalvnow.dan"));
    if (!data.open(QIODevice::WriteOnly) || data.write(dayFile()) < 0)
        return 1;
    data.close();

    TDalvinterForm1::commandLine = QStringList{QStringLiteral("Dalvinter")};
    app.CreateForm(DalvinterForm1);
    app.CreateForm(Form4);
    app.CreateForm(DalvinterForm3);
    DalvinterForm1->Show();
    bool ok = shoot(DalvinterForm1, out + "/viewer-chart.png");

    DalvinterForm1->ToolButton21->click(); // fit toggle: fills the info form
    DalvinterForm1->ToolButton26->click();
    DalvinterForm1->Chart1->Series(0).SetMarksVisible(true);
    ok = shoot(DalvinterForm1, out + "/viewer-chart-fit-marks.png") && ok;

    DalvinterForm1->ToolButton25Click(DalvinterForm1->ToolButton25);
    ok = shoot(DalvinterForm3, out + "/viewer-info.png") && ok;
    DalvinterForm3->Hide();

    Form4->Show();
    ok = shoot(Form4, out + "/viewer-about.png") && ok;
    Form4->Hide();
    return ok ? 0 : 1;
}
