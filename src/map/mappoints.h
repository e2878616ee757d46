#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <vector>

class ResultsList;

// One row of the table that names a place, as the map draws it.
struct MapPoint
{
    double longitude = 0;
    double latitude = 0;
    int row = 0;
    bool ticked = false;
};

// The rows of the results table that can be put on the map, in row order (the order of their
// logs), following the table as it grows, is cleared and is ticked. New rows are read as they
// come, so that a history loaded a slice at a time is read once in all.
class MapPoints : public QObject
{
    Q_OBJECT

public:
    explicit MapPoints(const ResultsList *results, QObject *parent = nullptr);

    const std::vector<MapPoint> &points() const { return m_points; }
    const ResultsList *results() const { return m_results; }
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

    const ResultsList *m_results;
    std::vector<MapPoint> m_points;
    // By row number; -1 for a row without a place.
    std::vector<int> m_pointOfRow;
};
