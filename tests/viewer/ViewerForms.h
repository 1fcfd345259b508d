#pragma once
// The viewer's forms for tests: created in the entry routine's order (chart window,
// about box, info form) with a command line of the test's choice, destroyed in reverse
// with their globals cleared. Also data files written as the main program writes them.

#include "viewer/Unit1.h"
#include "viewer/Unit3.h"
#include "viewer/Unit4.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testsupport {

// args are the arguments after the program's name.
inline void CreateViewerForms(const QStringList& args = {})
{
    TDalvinterForm1::commandLine = QStringList{QStringLiteral("Dalvinter")} + args;
    vcl::Application->CreateForm(DalvinterForm1);
    vcl::Application->CreateForm(Form4);
    vcl::Application->CreateForm(DalvinterForm3);
}

inline void DestroyViewerForms()
{
    delete DalvinterForm3;
    delete Form4;
    delete DalvinterForm1;
    DalvinterForm3 = nullptr;
    Form4 = nullptr;
    DalvinterForm1 = nullptr;
    TDalvinterForm1::commandLine.clear();
    vcl::Application->Restart();
}

// A cyclic data file: the "DataTime" header naming the channels, then one line per
// reading of date, time and values, each ended by CR LF.
inline QByteArray DataFile(const QStringList& names, const QList<QStringList>& readings)
{
    QByteArray bytes = "DataTime " + names.join(QLatin1Char(' ')).toLatin1() + "\r\n";
    for (const QStringList& r : readings)
        bytes += r.join(QLatin1Char(' ')).toLatin1() + "\r\n";
    return bytes;
}

} // namespace testsupport
