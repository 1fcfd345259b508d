#include "acquisition/DataFile.h"

#include "platform/files/LineReader.h"
#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/MessageBox.h"

#include <QFile>

#include <algorithm>
#include <string_view>

namespace acquisition {

namespace {

constexpr std::string_view headerMark = "VeskSystem";
constexpr std::string_view endOfHeader = "***End_of_Header***";
constexpr std::string_view channelsField = "Channels ";
constexpr std::string_view counterField = "Counter";
constexpr std::string_view errorPrefix = "Error";

constexpr std::size_t headerLineLimit = 199;
constexpr std::size_t dataLineLimit = 799;
constexpr int headerLinesMax = 60;
constexpr std::int64_t tailBytes = 200;

// Substring with the runtime's clamping: a start or length past the end gives what is there.
std::string_view subText(std::string_view text, std::size_t start, std::size_t length)
{
    if (start >= text.size())
        return {};
    return text.substr(start, length);
}

// The trailer's "Counter", not the one inside an "ErrorCounter" line that some devices
// write before it: that one counts faulty records, not lines.
std::size_t findRecordCounter(std::string_view text)
{
    for (std::size_t at = text.find(counterField); at != std::string_view::npos; at = text.find(counterField, at + 1)) {
        if (at < errorPrefix.size() || text.substr(at - errorPrefix.size(), errorPrefix.size()) != errorPrefix)
            return at;
    }
    return std::string_view::npos;
}

} // namespace

void WlasciwosciPliku(plikPomiar& d)
{
    d.fileSize = 0;
    d.headerEnd = 0;
    d.trailerStart = 0;
    d.dataStart = 0;
    d.recordCount = 0;
    d.lineLen = 0;
    d.headerChannels = 0;
    d.propertiesText.clear();
    d.trailerText.clear();
    d.columnLine.clear();

    const QString shownName = platform::cp1250ToUnicode(d.fileName);
    platform::LineReader file;
    if (!file.open(QFile::encodeName(shownName).toStdString())) {
        platform::ShowMessage(QStringLiteral("Fie no exist: ") + shownName);
        return;
    }

    std::string line;
    file.readLine(line, headerLineLimit);
    d.propertiesText += line;

    // A plain data file is described by its size alone; its first line is no header.
    if (d.propertiesText.find(headerMark) == std::string::npos) {
        d.propertiesText.clear();
        d.fileSize = static_cast<std::uint64_t>(file.size());
        return;
    }

    for (int i = 0; i < headerLinesMax && d.headerEnd == 0; ++i) {
        file.readLine(line, headerLineLimit);
        d.propertiesText += line;
        d.propertiesText += "\r\n";
        d.headerEnd = static_cast<std::int64_t>(rtl::Pos(endOfHeader, d.propertiesText));
    }
    d.headerEnd += static_cast<std::int64_t>(endOfHeader.size());

    // The count is read from three characters, so 3, 016 and 128 read alike and a
    // single digit takes the line's CR LF along, which the trim removes. A header that
    // announces no count leaves it unknown (0) and the file readable.
    if (const std::size_t p = d.propertiesText.find(channelsField); p != std::string::npos)
        d.headerChannels = rtl::StrToInt(rtl::TrimView(subText(d.propertiesText, p + channelsField.size(), 3)));

    file.readLine(d.columnLine, headerLineLimit);
    d.dataStart = file.position();

    if (file.readLine(line, dataLineLimit)) {
        file.readLine(line, dataLineLimit);
        d.lineLen = static_cast<std::int64_t>(line.size()) + 2;
    }

    d.fileSize = static_cast<std::uint64_t>(file.size());
    if (d.lineLen != 0 && d.fileSize >= static_cast<std::uint64_t>(d.dataStart))
        d.recordCount = static_cast<std::int64_t>((d.fileSize - static_cast<std::uint64_t>(d.dataStart)) /
                                                  static_cast<std::uint64_t>(d.lineLen));

    // The tail as text: each line break comes in as one line feed.
    std::string tail;
    if (d.fileSize >= static_cast<std::uint64_t>(tailBytes) &&
        file.seek(static_cast<std::int64_t>(d.fileSize) - tailBytes)) {
        while (file.position() < static_cast<std::int64_t>(d.fileSize) && file.readLine(line)) {
            tail += line;
            tail += '\n';
        }
    }

    const std::string_view t = rtl::TrimView(tail);
    if (const std::size_t c = findRecordCounter(t); c != std::string_view::npos) {
        d.recordCount = rtl::StrToInt(rtl::TrimView(subText(t, c + counterField.size() + 1, 10)));
        d.trailerText = std::string(subText(t, c, 200));
        d.trailerStart = static_cast<std::int64_t>(d.fileSize) - static_cast<std::int64_t>(d.trailerText.size());
    }

    std::string properties =
        d.propertiesText.substr(0, std::min(d.propertiesText.size(), static_cast<std::size_t>(d.headerEnd)));
    properties += "\r\n";
    properties += d.trailerText;
    d.propertiesText = std::move(properties);
}

} // namespace acquisition
