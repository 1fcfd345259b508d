#include "platform/chart/ChartPrint.h"

#include "platform/chart/Chart.h"
#include "platform/vcl/VclCore.h"

#include <QPrinter>

namespace platform {

void PrintChart(TChart& chart, QPrinter& printer)
{
    const QString file = printer.outputFileName();
    const QString failed = file.isEmpty() ? QStringLiteral("Nie można wydrukować wykresu: drukarka jest niedostępna.")
                                          : QStringLiteral("Nie można wydrukować wykresu do pliku: %1").arg(file);
    try {
        chart.PrintPage(printer);
    } catch (const EChartError&) {
        throw vcl::Exception(failed);
    }
    if (printer.printerState() == QPrinter::Error)
        throw vcl::Exception(failed);
}

} // namespace platform
