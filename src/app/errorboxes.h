#pragma once

// The "Application Error" box: how the window shows a failed step's report.
namespace ErrorReport {

// Makes every report without a sink show as a warning box titled "Application Error". A report
// that repeats one whose box is open, or waiting, is dropped, so a fault that repeats every
// second cannot stack boxes. Another report from the same place, or with the same words, waits
// until that box is closed, so steps failing for one cause come one box at a time.
void showInBoxes();

// How many boxes are open now.
int openBoxCount();

} // namespace ErrorReport
