#pragma once
// Printing a chart on the printer the print dialog set up.

class QPrinter;

namespace platform {

class TChart;

// Prints the chart on one page of printer with the chart's own margins and aspect
// setting. A print that fails (no printer, a PDF file that cannot be written) raises
// vcl::Exception with a Polish message naming the file when the printer writes one.
void PrintChart(TChart& chart, QPrinter& printer);

} // namespace platform
