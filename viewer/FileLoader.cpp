#include "viewer/FileLoader.h"

#include "platform/Chart.h"

struct FileLoader::Resume {};

FileLoader::FileLoader() = default;
FileLoader::~FileLoader() = default;
bool FileLoader::load(const std::string&, platform::TChart&, Linia1MG&, Kind) { return false; }
void FileLoader::forget() { resume_.reset(); }
