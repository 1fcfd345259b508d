#pragma once
// Where the viewer finds the maker's web and update server. The address lives here
// alone; DALVINTER_SERVER in the environment replaces it (a test server, a mirror).

#include <QString>

namespace viewer {

// The server's base address without a trailing slash, e.g. "https://www.example.com".
QString UpdateServerBase();
// The full address of a path on that server; path starts with "/" ("/Support/PTDalvinter.html").
QString UpdateServerUrl(const QString& path);

} // namespace viewer
