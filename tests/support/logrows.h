#pragma once

#include "results/resultslist.h"

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QTimeZone>

// A log whose seven cells are given, the Time cell first; missing cells are empty.
inline LogRecord RecordOfCells(const QStringList &cells)
{
    LogRecord made;
    made.timeText = cells.value(0);
    for (std::size_t cell = 0; cell < made.cells.size(); ++cell)
        made.cells[cell] = cells.value(qsizetype(cell) + 1);
    return made;
}

// One log as the tests of the days per country write it: when it was made in UTC, the local
// offset the laptop kept with it, what the service said (country and zone), whether the row is
// ticked and whether the log failed.
struct LogRow
{
    QString utc; // "2026-03-28T23:30:00Z"; empty: a row without an instant
    int keptOffset = 0; // seconds east of UTC
    QString country;
    QString zone;
    bool ticked = false;
    bool failed = false;
    std::optional<Fix> wifi = {}; // the location service's, from its latitude and longitude
    FixChoice chosen = FixChoice::Surer; // the user's corrections
    bool leftOut = false;

    LogRecord record() const
    {
        LogRecord made;
        if (!utc.isEmpty())
            made.instant = QDateTime::fromString(utc, Qt::ISODate).toOffsetFromUtc(keptOffset);
        made.timeText = made.instant.isValid() ? made.instant.toString(Qt::ISODate) : utc;
        if (failed) {
            made.failure = QStringLiteral("The service did not answer.");
        } else {
            made.cells[ResultsList::Country - 1] = country;
            made.cells[ResultsList::Timezone - 1] = zone;
            made.wifi = wifi;
        }
        made.chosen = chosen;
        made.leftOut = leftOut;
        return made;
    }
};
Q_DECLARE_METATYPE(LogRow)
using LogRows = QList<LogRow>;

// Appends the logs to the table as the lookup and the kept history do: a complete row each.
inline void appendLogs(ResultsList &list, const LogRows &logs)
{
    for (const LogRow &log : logs) {
        const int row = list.appendRecord(log.record()).row;
        if (log.ticked)
            list.setData(list.index(row, 0), Qt::Checked, Qt::CheckStateRole);
    }
}
