#pragma once

#include "results/resultslist.h"

#include <QObject>
#include <QString>
#include <vector>

// The rows of the results table that can be put on the map, in row order (the order of their
// logs), following the table as it grows, is cleared and is ticked. Each point is a row that
// names a place; its place and its tick are the row's. New rows are looked at as they come, so
// that a history loaded a slice at a time is gone through once.
class MapPoints : public QObject
{
    Q_OBJECT

public:
    explicit MapPoints(const ResultsList *results, QObject *parent = nullptr);

    const ResultsList *results() const { return m_results; }
    int count() const { return int(m_points.size()); }
    // The row of a point.
    int row(int point) const { return m_points[size_t(point)].row; }
    GeoPoint place(int point) const { return m_points[size_t(point)].place; }
    bool isTicked(int point) const { return m_results->isChecked(row(point)); }
    // The point of a row, or -1 when the row names no place.
    int pointOfRow(int row) const;

    // What the map shows, for those who cannot see it: how many points and the days of the first
    // and the last.
    QString summary() const;

Q_SIGNALS:
    // Points from index `first` on are new; those before are as they were.
    void appended(int first);
    // Everything may have changed: the table was cleared.
    void reset();
    // Only the ticks changed.
    void ticksChanged();

private:
    void readRows(int first, int last);
    void rebuild();

    // A row that names a place, with that place as the row holds it. Drawing goes through every
    // point at each zoom and pan, and the rows lie far apart in memory, so the place is taken
    // when the row comes in; it does not change while the row is in the table. The tick does,
    // and is read from the row each time.
    struct Point
    {
        GeoPoint place;
        int row = 0;
    };

    const ResultsList *m_results;
    // In row order.
    std::vector<Point> m_points;
};
