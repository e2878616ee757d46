#include "app/statusframe.h"

#include "core/progresstext.h"
#include "scheduler/schedulerules.h"

#include <QProgressBar>
#include <QVBoxLayout>

StatusFrame::StatusFrame(QWidget *parent) : QGroupBox(parent), ProgressBar1(new QProgressBar(this))
{
    showOff();
    setObjectName(QStringLiteral("Frame4"));
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    setProgressText(ProgressIdleText());
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ProgressBar1);
}

void StatusFrame::showOff()
{
    setTitle(QStringLiteral("Off."));
}

void StatusFrame::showNextLog(const Countdown::StatusLine &line)
{
    QString text = QStringLiteral("On. Next Log will occur in: ");
    if (line.remaining) {
        // Whole days are not shown.
        text += ScheduleRules::FormatSeconds(qint32(*line.remaining % 86400));
        if (line.day)
            text += QStringLiteral(" [") + *line.day + QLatin1Char(']');
    }
    setTitle(text);
}

void StatusFrame::setProgressText(const QString &text)
{
    QString format = text;
    format.replace(QLatin1Char('%'), QStringLiteral("%%"));
    ProgressBar1->setFormat(format);
}

QString StatusFrame::progressText() const
{
    QString text = ProgressBar1->format();
    text.replace(QStringLiteral("%%"), QStringLiteral("%"));
    return text;
}

void StatusFrame::setProgressMaximum(int maximum)
{
    ProgressBar1->setRange(0, std::max(1, maximum));
}

void StatusFrame::setProgressValue(int value)
{
    ProgressBar1->setValue(std::clamp(value, 0, ProgressBar1->maximum()));
}
