#include "map/countrydaysjob.h"

#include "results/resultslist.h"

CountryDaysJob::CountryDaysJob(const ResultsList *list, QObject *parent)
    : QObject(parent), m_list(list)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(QuietMs);
    connect(&m_quiet, &QTimer::timeout, this, &CountryDaysJob::start);
    connect(list, &QAbstractItemModel::rowsInserted, this, [this] { changed(false); });
    connect(list, &QAbstractItemModel::modelReset, this, [this] { changed(true); });
    connect(list, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &, const QList<int> &roles) {
                // A tick matters only to a count of the ticked rows; a filled-in cell or a
                // failure told later matters to both.
                if (m_which == CountedRows::All && roles == QList<int> {Qt::CheckStateRole})
                    return;
                // A row not counted yet is counted as it is when its turn comes.
                changed(topLeft.row() < m_row);
            });
}

void CountryDaysJob::setFollowing(bool following)
{
    if (following == m_following)
        return;
    m_following = following;
    m_quiet.stop();
    m_job.stop();
    m_fromStart = true;
    if (following) {
        Q_EMIT counting();
        start();
    }
}

void CountryDaysJob::setRows(CountedRows which)
{
    if (which == m_which)
        return;
    m_which = which;
    if (m_following) {
        m_quiet.stop();
        m_job.stop();
        m_fromStart = true;
        Q_EMIT counting();
        start();
    }
}

void CountryDaysJob::changed(bool fromStart)
{
    if (!m_following)
        return;
    if (fromStart) {
        // The count so far went through rows that are no longer as they were.
        m_fromStart = true;
        m_job.stop();
    }
    m_quiet.start();
    Q_EMIT counting();
}

void CountryDaysJob::start()
{
    if (m_fromStart) {
        m_fromStart = false;
        m_counter.reset();
        m_row = 0;
    }
    m_job.start();
}

void CountryDaysJob::step()
{
    const bool done = m_job.throughRows(
        m_row, [this] { return m_list->rows(); },
        [this](int from, int to) { m_counter.add(*m_list, from, to, m_which); });
    if (!done)
        return;
    m_job.stop();
    m_result = m_counter.result();
    Q_EMIT counted(m_result);
}
