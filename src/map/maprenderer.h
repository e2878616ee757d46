#pragma once

#include "map/mappoints.h"
#include "map/mapprojection.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <optional>
#include <vector>

// The map's colours, one for each thing it draws.
namespace MapColors {
inline const QColor Sea {0xdb, 0xe9, 0xf4};
inline const QColor Land {0xf3, 0xf0, 0xe6};
inline const QColor Border {0xa8, 0xa2, 0x96};
inline const QColor Track {0x6b, 0x7f, 0x99};
inline const QColor Point {0x1f, 0x5f, 0xbf};
inline const QColor Ticked {0xe8, 0x59, 0x0c};
inline const QColor Newest {0xc9, 0x2a, 0x2a};
inline const QColor Selected {0x00, 0x00, 0x00};
// The area a place may lie in, over the land and sea, and its edge.
inline const QColor Accuracy {0x1f, 0x5f, 0xbf, 0x30};
inline const QColor AccuracyEdge {0x1f, 0x5f, 0xbf, 0x90};
// From a Wi-Fi position to where the public address was placed, far from it.
inline const QColor Far {0x8e, 0x3c, 0xb5};
} // namespace MapColors

// Draws the map: the countries, the track joining the points in the order of their logs, the
// area each point may lie in when it is large enough to see, a line from each point placed by
// Wi-Fi to its public address placed far from it, the points (ticked ones larger and in another
// colour) and a ring round the newest. The countries
// are kept as an image for as long as the view does not move, and the points' places on screen
// for as long as the view does not move or the points change, so that a tick or a new log
// redraws only what it must. The countries and the track are kept in one image that reaches
// a quarter of a view beyond each edge, so that panning mostly moves it rather than drawing again,
// and a new point adds only its own step to the track.
class MapRenderer
{
public:
    // A plain point is a square of 2 * PointRadius + 1 pixels, a ticked one of 2 * TickedRadius
    // + 1.
    static constexpr int PointRadius = 1;
    static constexpr int TickedRadius = 3;
    // An accuracy circle is drawn from this radius on: a smaller one hides under its point.
    static constexpr int SmallestCircle = TickedRadius + 2;
    // At most this many in one frame: more overlap into a wash that tells nothing more, and would
    // cost a pan far more than the points themselves.
    static constexpr int MostCircles = 3000;

    // Draws into image, whose size must be the projection's. With a budget, the track is drawn
    // for about that long and the rest is left for the next render: a track of a hundred
    // thousand steps across the world takes far longer than a window may stall. Returns whether
    // the track is whole.
    bool render(QImage &image, const MapProjection &projection, const MapPoints &points,
                int selected = -1, qint64 trackBudgetNs = -1);
    // The points changed other than by growing at the end.
    void forgetPoints()
    {
        m_projected.clear();
        m_countries = QImage();
    }

    // The point nearest to pos within `reach` pixels, by index, or -1; the newest of points on
    // the same pixel. Valid for the projection of the last render.
    int pointAt(QPoint pos, int reach = 6) const;

private:
    void project(const MapProjection &projection, const MapPoints &points);
    // Where the kept countries image lands in a view of this projection, or nothing when it
    // does not cover the whole view.
    std::optional<QPoint> countriesOffset(const MapProjection &projection) const;
    void drawCountries(const MapProjection &projection);
    // Draws the track's steps from the point after `drawn` on, for about budgetNs (or all with
    // a negative budget), into image of the projection; returns how many points it reaches.
    static size_t drawTrack(QImage &image, const MapProjection &projection, const MapPoints &points,
                            size_t drawn, qint64 budgetNs);

    // The countries with the track over them, a quarter of a view beyond each edge of the view.
    QImage m_countries;
    MapProjection m_countriesFor;
    // How many points the track in m_countries reaches.
    size_t m_trackDrawn = 0;
    std::vector<QPoint> m_projected;
    MapProjection m_projectedFor;
};
