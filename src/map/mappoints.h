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
    // Where the point is drawn: the row's surer fix.
    GeoPoint place(int point) const { return m_points[size_t(point)].place; }
    // How far from its place the laptop may be, in metres.
    double accuracyMetres(int point) const { return m_points[size_t(point)].accuracyMetres; }
    // No point's accuracy is larger: at a zoom where this is too small to see, so are all.
    double largestAccuracyMetres() const { return m_largestAccuracy; }
    // The points whose address fix lies far from their Wi-Fi fix, in point order: few, and each
    // is drawn with a line to where the address placed it.
    const std::vector<int> &farPoints() const { return m_far; }
    bool isTicked(int point) const { return m_results->isChecked(row(point)); }
    // The point of a row, or -1 when the row names no place.
    int pointOfRow(int row) const;

    // What the map shows, for those who cannot see it: how many points and the days of the first
    // and the last, and how many were placed by their address far from their Wi-Fi position.
    QString summary() const;

Q_SIGNALS:
    // Points from index `first` on are new; those before are as they were.
    void appended(int first);
    // Everything may have changed: the table was cleared.
    void reset();
    // Only the ticks changed.
    void ticksChanged();
    // A row's place changed where it stands (a Wi-Fi fix joined it): everything is drawn again.
    void moved();

private:
    void readRows(int first, int last);
    // The row's place may have changed: its point follows it.
    void reread(int row);
    void rebuild();

    // A row that names a place, with that place as the row holds it. Drawing goes through every
    // point at each zoom and pan, and the rows lie far apart in memory, so the place is taken
    // when the row comes in; it changes only when a Wi-Fi fix joins the row. The tick changes
    // often, and is read from the row each time. The accuracy fills what would be padding.
    struct Point
    {
        GeoPoint place;
        float accuracyMetres = 0;
        int row = 0;
    };
    static_assert(sizeof(Point) == sizeof(GeoPoint) + 8);
    // The point of a row as the row now is, and whether its address lies far from its Wi-Fi
    // fix; false when the row names no place.
    bool readPoint(int row, Point &point, bool &far) const;

    const ResultsList *m_results;
    // In row order.
    std::vector<Point> m_points;
    std::vector<int> m_far;
    double m_largestAccuracy = 0;
};
