#pragma once
// Where the viewer finds the maker's web and update server and keeps its own files.
// The address lives here alone; DALVINTER_SERVER in the environment replaces it (a test
// server, a mirror).

#include "platform/links/UrlDownload.h"

#include <QString>

namespace viewer {

// The viewer's folder on the update server and its start folder.
const platform::UpdateSite& UpdateServer();
// The full address of a path on the web server; path starts with "/" ("/Support/PTDalvinter.html").
QString UpdateServerUrl(const QString& path);

} // namespace viewer
