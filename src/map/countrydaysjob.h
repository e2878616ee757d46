#pragma once

#include "core/slicedjob.h"
#include "map/countrydays.h"

#include <QObject>
#include <QTimer>

class ResultsList;

// Keeps a count of days per country in step with the results table: new rows, a cleared
// table, cells filled in later and, when only ticked rows count, the ticks. A change is
// counted a moment after the last one (a history coming back adds rows in quick bursts), and
// the count runs in slices of the event loop, so that a million rows never hold the window.
// New rows at the end are counted on from where the last count stopped; anything else is
// counted afresh.
class CountryDaysJob : public QObject
{
    Q_OBJECT

public:
    static constexpr int QuietMs = 200;

    explicit CountryDaysJob(const ResultsList *list, QObject *parent = nullptr);

    // Only a job that is followed counts: a closed window costs nothing.
    void setFollowing(bool following);
    void setRows(CountedRows which);
    CountedRows rows() const { return m_which; }

    bool isCounting() const { return m_quiet.isActive() || m_job.isRunning(); }
    const CountryDaysResult &result() const { return m_result; }

Q_SIGNALS:
    // A change is waiting to be counted, or being counted.
    void counting();
    void counted(const CountryDaysResult &result);

private:
    void changed(bool fromStart);
    void start();
    void step();

    const ResultsList *m_list;
    CountedRows m_which = CountedRows::All;
    bool m_following = false;
    bool m_fromStart = true;
    int m_row = 0;
    CountryDayCounter m_counter;
    CountryDaysResult m_result;
    QTimer m_quiet;
    SlicedJob m_job {[this] {
        step();
    }};
};
