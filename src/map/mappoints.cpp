#include "map/mappoints.h"

#include "core/localetime.h"
#include "results/coordinates.h"
#include "results/resultslist.h"

#include <QLocale>

namespace {

// The locale's short date with the year in full: a history can span decades.
QString dayText(const QDateTime &instant)
{
    const QLocale locale;
    return locale.toString(instant.date(), DateFormatWithFullYear(locale));
}

} // namespace

MapPoints::MapPoints(const ResultsList *results, QObject *parent)
    : QObject(parent), m_results(results)
{
    connect(results, &ResultsList::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) {
                const auto before = int(m_points.size());
                readRows(first, last);
                if (int(m_points.size()) > before)
                    Q_EMIT appended(before);
            });
    connect(results, &ResultsList::modelReset, this, [this] {
        rebuild();
        Q_EMIT reset();
    });
    connect(results, &ResultsList::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight,
                   const QList<int> &roles) {
                if (!roles.contains(Qt::CheckStateRole))
                    return;
                for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
                    if (const int point = pointOfRow(row); point >= 0) {
                        m_points[point].ticked = m_results->isChecked(row);
                        Q_EMIT ticksChanged();
                    }
                }
            });
    rebuild();
}

int MapPoints::pointOfRow(int row) const
{
    return row >= 0 && row < int(m_pointOfRow.size()) ? m_pointOfRow[row] : -1;
}

void MapPoints::readRows(int first, int last)
{
    m_pointOfRow.resize(size_t(last) + 1, -1);
    for (int row = first; row <= last; ++row) {
        const auto place = ParseCoordinates(m_results->cellView(row, ResultsList::Coordinates));
        if (!place)
            continue;
        m_pointOfRow[row] = int(m_points.size());
        m_points.push_back({place->longitude, place->latitude, row, m_results->isChecked(row)});
    }
}

void MapPoints::rebuild()
{
    m_points.clear();
    m_pointOfRow.clear();
    if (m_results->rows() > 0)
        readRows(0, m_results->rows() - 1);
}

QString MapPoints::summary() const
{
    if (m_points.empty())
        return tr("No points: no logged row has coordinates");
    QDateTime first, last;
    for (const MapPoint &point : m_points) {
        if (const QDateTime at = m_results->instant(point.row); at.isValid()) {
            first = at;
            break;
        }
    }
    for (auto it = m_points.rbegin(); it != m_points.rend(); ++it) {
        if (const QDateTime at = m_results->instant(it->row); at.isValid()) {
            last = at;
            break;
        }
    }
    const QString count
        = m_points.size() == 1 ? tr("1 point") : tr("%1 points").arg(m_points.size());
    if (!first.isValid())
        return count;
    const QString from = dayText(first), to = dayText(last);
    return from == to ? tr("%1 on %2").arg(count, from)
                      : tr("%1 from %2 to %3").arg(count, from, to);
}
