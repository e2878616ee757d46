#include "map/mappoints.h"

#include "core/localetime.h"

#include <QLocale>

#include <algorithm>

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
                const int before = count();
                readRows(first, last);
                if (count() > before)
                    Q_EMIT appended(before);
            });
    connect(results, &ResultsList::modelReset, this, [this] {
        rebuild();
        Q_EMIT reset();
    });
    connect(results, &ResultsList::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight,
                   const QList<int> &roles) {
                // A fix joining a row changes its Coordinates cell, without naming a role.
                if (roles.isEmpty() && topLeft.column() <= ResultsList::Coordinates
                    && bottomRight.column() >= ResultsList::Coordinates) {
                    for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
                        reread(row);
                    Q_EMIT moved();
                    return;
                }
                if (!roles.contains(Qt::CheckStateRole))
                    return;
                for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
                    if (pointOfRow(row) >= 0) {
                        Q_EMIT ticksChanged();
                        return;
                    }
                }
            });
    rebuild();
}

int MapPoints::pointOfRow(int row) const
{
    const auto found
        = std::lower_bound(m_points.cbegin(), m_points.cend(), row,
                           [](const Point &point, int row) { return point.row < row; });
    return found != m_points.cend() && found->row == row ? int(found - m_points.cbegin()) : -1;
}

bool MapPoints::readPoint(int row, Point &point, bool &far) const
{
    const RowFixes fixes = m_results->fixes(row);
    const std::optional<Fix> best = fixes.best();
    if (!best)
        return false;
    point = {{best->latitude, best->longitude}, float(best->accuracyMetres), row};
    far = fixes.farApart();
    return true;
}

// Rows only ever come at the end of the table.
void MapPoints::readRows(int first, int last)
{
    Point point;
    bool far = false;
    for (int row = first; row <= last; ++row) {
        if (!readPoint(row, point, far))
            continue;
        m_points.push_back(point);
        m_largestAccuracy = std::max(m_largestAccuracy, double(point.accuracyMetres));
        if (far)
            m_far.push_back(count() - 1);
    }
}

void MapPoints::reread(int row)
{
    const int at = pointOfRow(row);
    Point point;
    bool nowFar = false;
    // A fix joins only a row that names a place.
    if (at < 0 || !readPoint(row, point, nowFar))
        return;
    m_points[size_t(at)] = point;
    m_largestAccuracy = std::max(m_largestAccuracy, double(point.accuracyMetres));
    const auto far = std::lower_bound(m_far.begin(), m_far.end(), at);
    const bool wasFar = far != m_far.end() && *far == at;
    if (nowFar && !wasFar)
        m_far.insert(far, at);
    else if (wasFar && !nowFar)
        m_far.erase(far);
}

void MapPoints::rebuild()
{
    m_points.clear();
    m_far.clear();
    m_largestAccuracy = 0;
    if (m_results->rows() > 0)
        readRows(0, m_results->rows() - 1);
}

QString MapPoints::summary() const
{
    if (m_points.empty())
        return tr("No points: no logged row has coordinates");
    QDateTime first, last;
    for (const Point &point : m_points) {
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
    QString far;
    if (m_far.size() == 1)
        far = tr("; 1 placed by its public address far from its Wi-Fi position");
    else if (m_far.size() > 1)
        far = tr("; %1 placed by their public address far from their Wi-Fi position")
                  .arg(m_far.size());
    if (!first.isValid())
        return count + far;
    const QString from = dayText(first), to = dayText(last);
    return (from == to ? tr("%1 on %2").arg(count, from)
                       : tr("%1 from %2 to %3").arg(count, from, to))
        + far;
}
