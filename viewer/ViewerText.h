#pragma once
// The viewer's texts: 8-bit names held in the window's fixed fields and the reload
// period of the command line.

#include <QString>

#include <cstddef>
#include <string>

namespace viewer {

// Copies name into a zero-terminated 8-bit field of N bytes. False, leaving the field
// as it was, when the name has a character outside code page 1250 or does not fit:
// a name cut short would name another file.
bool CopyName(char* field, std::size_t size, const QString& name);
template <std::size_t N>
bool CopyName(char (&field)[N], const QString& name)
{
    return CopyName(field, N, name);
}

// The data file's name from the command line or the open dialog. A name the field
// cannot hold is refused in an error box that shows it; the field is then left as it was.
bool TakeDataFileName(char* field, std::size_t size, const QString& name);
template <std::size_t N>
bool TakeDataFileName(char (&field)[N], const QString& name)
{
    return TakeDataFileName(field, N, name);
}

// Milliseconds of the timed reload from the first character of the reload argument:
// "1".."9" give that many seconds, "0" one second, anything else nine.
unsigned ReloadPeriod(const std::string& argument);

} // namespace viewer
