#pragma once

// The "Application Error" box: how the window shows a failed step's report.
namespace ErrorReport {

// Makes every report without a sink show as a warning box titled "Application Error". At most
// one box per (module, procedure, line) is open at a time, so a fault that repeats every second
// cannot stack boxes.
void showInBoxes();

// How many boxes are open now.
int openBoxCount();

} // namespace ErrorReport
