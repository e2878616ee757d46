#pragma once

#include "scheduler/countdown.h"

#include <QGroupBox>

class QProgressBar;

// The status frame: its title says whether logging is on and when the next log comes, and its
// progress bar counts towards that log, or shows an export or a lookup under way.
class StatusFrame : public QGroupBox
{
    Q_OBJECT

public:
    explicit StatusFrame(QWidget *parent = nullptr);

    // The title while logging is off.
    void showOff();
    // The title while logging is on: when the next log comes.
    void showNextLog(const Countdown::StatusLine &line);

    // The bar's own text; a percent sign shows as itself.
    void setProgressText(const QString &text);
    // Follows the bar of a source that tells its maximum and value (the schedule, an export).
    template<class Source> void showProgressOf(Source *source)
    {
        connect(source, &Source::progressMaximum, this, &StatusFrame::setProgressMaximum);
        connect(source, &Source::progressValue, this, &StatusFrame::setProgressValue);
    }
    QString progressText() const;
    // A span of zero or below shows an empty bar rather than the bar's busy animation.
    void setProgressMaximum(int maximum);
    void setProgressValue(int value);

private:
    QProgressBar *ProgressBar1;
};
