#pragma once
// Code page 1250 (Central European, the Polish system's 8-bit code page) and Unicode.
// Files on disk, device lines and shell arguments are 8-bit texts in this code page;
// the user interface holds QString.
//
// The table is Microsoft's Windows-1250. Its five unassigned bytes 0x81, 0x83, 0x88,
// 0x90 and 0x98 decode to the C1 controls U+0081, U+0083, U+0088, U+0090 and U+0098
// (as the system's conversion does) and encode back to the same bytes, so every byte
// string survives a decode and encode unchanged.

#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The Unicode character of one byte.
char16_t cp1250ToUnicode(unsigned char byte);
// The byte of one Unicode code point, or -1 when code page 1250 has none.
int unicodeToCp1250(char32_t codePoint);

QString cp1250ToUnicode(std::string_view bytes);

// Encodes text. Each character (code point: a surrogate pair is one character, a lone
// surrogate is one unconvertible character) that the code page cannot hold becomes one
// `replacement` byte, and its position (UTF-16 index in `text`) is appended to
// *unconvertible when given. No character is approximated by a look-alike.
std::string unicodeToCp1250(const QString& text, std::vector<qsizetype>* unconvertible = nullptr,
                            char replacement = '?');
bool canEncodeCp1250(const QString& text);

// The two conversions the forms make at every control they read or fill: a control's
// text to the 8-bit text of files and settings, and back.
inline QString fromAnsi(std::string_view bytes) { return cp1250ToUnicode(bytes); }
inline std::string toAnsi(const QString& text) { return unicodeToCp1250(text); }

// For texts kept in UTF-8 source code, e.g. captions written to 8-bit files. Positions
// reported are UTF-16 indexes in the decoded text, as above.
std::string utf8ToCp1250(std::string_view utf8, std::vector<qsizetype>* unconvertible = nullptr);

} // namespace platform
