#include "viewer/UpdateServer.h"

#include "platform/UrlDownload.h"

namespace viewer {

namespace {

const char* const serverVariable = "DALVINTER_SERVER";
const char* const defaultServer = "https://www.example.com";

} // namespace

QString UpdateServerBase() { return platform::ServerUrl(serverVariable, QString::fromLatin1(defaultServer), {}); }

QString UpdateServerUrl(const QString& path)
{
    return platform::ServerUrl(serverVariable, QString::fromLatin1(defaultServer), path);
}

} // namespace viewer
