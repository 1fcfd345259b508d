// The measurement window's channel list "ChanelConfig.confs", the series colours and
// pen widths of its nine style slots, and the fit of its chart's vertical axes.

#include "windows/Unit6.h"

#include "mainwindow/Unit1.h"
#include "platform/files/SafeFile.h"
#include "platform/text/Cp1250.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalBlocker>

#include <algorithm>

using namespace vcl;

namespace {

const QString activeMark = QStringLiteral("Aktywny");
const QString channelFileName = QStringLiteral("ChanelConfig.confs");

std::string fileSystemName(const QString& path) { return QFile::encodeName(path).toStdString(); }

} // namespace

void TForm6::loadChannelList()
{
    // A FIFO or a device under the list's name is no list: the window must not wait on it.
    QFile file;
    if (!platform::OpenForReading(file, QDir(FileListBox1->Directory()).filePath(channelFileName)))
        return;
    const QByteArray bytes = file.readAll();
    // One item per line, whatever the line break; a final line break makes no item.
    QStringList items;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        items << platform::cp1250ToUnicode(std::string_view(bytes.constData() + start, std::size_t(i - start)));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        items << platform::cp1250ToUnicode(
            std::string_view(bytes.constData() + start, std::size_t(bytes.size() - start)));
    ComboBox2->SetItems(items);
}

void TForm6::saveChannelList()
{
    std::string bytes;
    for (int i = 0; i < ComboBox2->ItemCount(); ++i)
        bytes += platform::unicodeToCp1250(ComboBox2->itemText(i)) + "\r\n";
    const QString path = QDir(FileListBox1->Directory()).filePath(channelFileName);
    std::string error;
    if (!platform::ReplaceFile(fileSystemName(path), bytes.data(), bytes.size(), nullptr, &error))
        throw vcl::Exception(QStringLiteral("Cannot create file \"%1\". %2")
                                 .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(error.c_str())));
}

void TForm6::ComboBox2Change(TObject*)
{
    const int i = ComboBox2->ItemIndex();
    if (i < 0)
        return;
    const QString n = QString::number(i + 1);
    QString text = ComboBox2->itemText(i);
    const qsizetype mark = text.indexOf(activeMark);
    if (mark >= 0) {
        text = text.left(mark);
        if (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        Label8->SetCaption(QStringLiteral("Usunięto kanał  ") + n);
    } else {
        text += QLatin1Char(' ') + activeMark;
        Label8->SetCaption(QStringLiteral("Wybrano kanał  ") + n);
    }
    {
        const QSignalBlocker block(ComboBox2);
        ComboBox2->removeItem(i);
        ComboBox2->insertItem(i, text);
    }
    ComboBox2->SetText(QStringLiteral("Wybierz kanał pomiarowy."));
    saveChannelList();
}

void TForm6::TabSheet3Show(TObject*)
{
    Label8->SetCaption(QStringLiteral("Nie wybrano kanału pomiarowego"));
    for (int i = 0; i < ComboBox2->ItemCount(); ++i) {
        if (ComboBox2->itemText(i).contains(activeMark))
            Label8->SetCaption(QStringLiteral("Wybrany kanał  ") + QString::number(i + 1));
    }
}

void TForm6::Panel9Click(TObject*)
{
    if (!ColorDialog1->Execute())
        return;
    const int slot = std::clamp(UpDown1->Position(), 1, styleSlots);
    record().seriesColours[slot - 1] = ColorDialog1->Color();
    Panel9->SetFontColor(ColorDialog1->Color());
}

void TForm6::UpDown2Changing(TObject*, bool&)
{
    const int slot = std::clamp(UpDown1->Position(), 1, styleSlots);
    record().penWidths[slot - 1] = static_cast<std::uint8_t>(std::clamp(UpDown2->Position(), 1, 5));
    Panel6->SetCaption(QStringLiteral("Grubość: ") + QString::number(UpDown2->Position()));
}

void TForm6::UpDown2Click(TObject* Sender, TUDBtnType)
{
    bool allow = true;
    UpDown2Changing(Sender, allow);
}

void TForm6::Dopasuj6WykresExecute(TObject*)
{
    double top = 0.0, bottom = 10.0;
    bool first = true;
    for (int i = 0; i < Chart1->SeriesCount(); ++i) {
        const auto& s = Chart1->Series(i);
        if (!s.Active())
            continue;
        if (first) {
            top = s.MaxYValue();
            bottom = s.MinYValue();
            first = false;
        }
        top = std::max(top, s.MaxYValue());
        bottom = std::min(bottom, s.MinYValue());
    }
    // Opened wide first, so no limit set below is refused for crossing the other one.
    Chart1->RightAxis().SetMaximum(999999999.0);
    Chart1->LeftAxis().SetMaximum(999999999.0);
    Chart1->LeftAxis().SetMinimum(-999999999.0);
    Chart1->RightAxis().SetMinimum(-999999999.0);
    const double span = top - bottom;
    const double margin = span * 0.02;
    if (span < 15.0) {
        top += 10.0;
        bottom -= 2.5;
    }
    Chart1->RightAxis().SetMaximum(top + margin);
    Chart1->LeftAxis().SetMaximum(top + margin);
    Chart1->RightAxis().SetMinimum(bottom - margin);
    Chart1->LeftAxis().SetMinimum(bottom - margin);
}
