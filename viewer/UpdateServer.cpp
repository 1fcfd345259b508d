#include "viewer/UpdateServer.h"

#include "viewer/Unit1.h"

namespace viewer {

const platform::UpdateSite& UpdateServer()
{
    static const platform::UpdateSite site("DALVINTER_SERVER", QStringLiteral("Dalvinter"),
                                           [] { return std::string(DalvinterForm1 ? DalvinterForm1->startDir : ""); });
    return site;
}

QString UpdateServerUrl(const QString& path) { return UpdateServer().serverUrl(path); }

} // namespace viewer
