#include "map/maprenderer.h"

#include "map/worldoutline.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QPolygonF>
#include <cmath>

namespace {

// Paints a square of (2 * radius + 1) pixels straight into the image: a hundred thousand
// points cost far less this way than through the painter, one call each.
void square(QImage &image, QPoint at, int radius, QRgb colour)
{
    const int left = std::max(0, at.x() - radius);
    const int right = std::min(image.width() - 1, at.x() + radius);
    const int top = std::max(0, at.y() - radius);
    const int bottom = std::min(image.height() - 1, at.y() + radius);
    if (left > right)
        return;
    for (int y = top; y <= bottom; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        std::fill(line + left, line + right + 1, colour);
    }
}

void ring(QPainter &painter, QPoint at, int radius, const QColor &colour)
{
    painter.setPen(QPen(colour, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(at), radius, radius);
}

} // namespace

bool MapRenderer::render(QImage &image, const MapProjection &projection,
                         const std::vector<MapPoint> &points, int selected, qint64 trackBudgetNs)
{
    std::optional<QPoint> offset = countriesOffset(projection);
    if (!offset || m_trackDrawn > points.size()) {
        drawCountries(projection);
        offset = countriesOffset(projection);
    }
    // Only the steps to points that came since the last render are drawn, a run of steps at a
    // time while the budget lasts.
    constexpr size_t StepsPerRun = 256;
    QElapsedTimer clock;
    clock.start();
    if (points.size() <= 1)
        m_trackDrawn = points.size();
    while (m_trackDrawn < points.size()) {
        const size_t to = std::min(points.size(), m_trackDrawn + StepsPerRun);
        drawTrack(m_countries, m_countriesFor, points, m_trackDrawn > 0 ? m_trackDrawn - 1 : 0, to);
        m_trackDrawn = to;
        if (trackBudgetNs >= 0 && clock.nsecsElapsed() >= trackBudgetNs)
            break;
    }
    const bool whole = m_trackDrawn >= points.size();
    project(projection, points);
    {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), m_countries, QRect(*offset, projection.size));
    }

    const QRgb plain = MapColors::Point.rgb();
    for (size_t i = 0; i < points.size(); ++i) {
        if (!points[i].ticked)
            square(image, m_projected[i], PointRadius, plain);
    }
    const QRgb ticked = MapColors::Ticked.rgb();
    for (size_t i = 0; i < points.size(); ++i) {
        if (points[i].ticked)
            square(image, m_projected[i], TickedRadius, ticked);
    }
    if (points.empty())
        return whole;
    QPainter painter(&image);
    ring(painter, m_projected.back(), TickedRadius + 4, MapColors::Newest);
    if (selected >= 0 && selected < int(points.size()))
        ring(painter, m_projected[size_t(selected)], TickedRadius + 7, MapColors::Selected);
    return whole;
}

void MapRenderer::project(const MapProjection &projection, const std::vector<MapPoint> &points)
{
    if (!(m_projectedFor == projection) || m_projected.size() > points.size())
        m_projected.clear();
    m_projectedFor = projection;
    m_projected.reserve(points.size());
    for (size_t i = m_projected.size(); i < points.size(); ++i)
        m_projected.push_back(
            projection.toScreen(points[i].longitude, points[i].latitude).toPoint());
}

std::optional<QPoint> MapRenderer::countriesOffset(const MapProjection &projection) const
{
    if (m_countries.isNull() || m_countriesFor.scale != projection.scale)
        return std::nullopt;
    // The view's top left corner, in the kept image's pixels.
    const QPointF corner = m_countriesFor.toScreen(0, 0) - projection.toScreen(0, 0);
    const QPoint at(qRound(corner.x()), qRound(corner.y()));
    if (!m_countries.rect().contains(QRect(at, projection.size)))
        return std::nullopt;
    return at;
}

void MapRenderer::drawCountries(const MapProjection &view)
{
    MapProjection projection = view;
    // An even margin each side keeps the view's own place on whole pixels.
    const QSize margin((view.size.width() + 1) / 2, (view.size.height() + 1) / 2);
    projection.size = view.size + margin * 2;
    m_countriesFor = projection;
    m_trackDrawn = 0;
    m_countries = QImage(projection.size, QImage::Format_ARGB32_Premultiplied);
    m_countries.fill(MapColors::Sea);
    QPainter painter(&m_countries);
    const QPointF origin = projection.toScreen(0, 0);
    painter.translate(origin);
    painter.scale(projection.scale, projection.scale);
    painter.setPen(QPen(MapColors::Border, 0));
    painter.setBrush(MapColors::Land);
    painter.drawPath(WorldOutline());
}

// The track runs from each point to the next in the order of the logs. A step of more than half
// the world in longitude goes the short way, across the edge of the map: it is drawn as two
// pieces that leave one edge and come in at the other, never as a line across the world.
void MapRenderer::drawTrack(QImage &image, const MapProjection &projection,
                            const std::vector<MapPoint> &points, size_t from, size_t to)
{
    QPainter painter(&image);
    const QPointF topLeft = projection.toScreen(-180, 90);
    const QPointF bottomRight = projection.toScreen(180, -90);
    painter.setClipRect(QRectF(topLeft, bottomRight).adjusted(0, 0, 1, 1));
    painter.setPen(QPen(MapColors::Track, 0));

    QPolygonF piece;
    auto flush = [&] {
        if (piece.size() > 1)
            painter.drawPolyline(piece);
        piece.clear();
    };
    auto place = [&](const MapPoint &point) {
        return projection.toScreen(point.longitude, point.latitude).toPoint();
    };
    piece << QPointF(place(points[from]));
    for (size_t i = from + 1; i < to; ++i) {
        const MapPoint &from = points[i - 1];
        const MapPoint &to = points[i];
        const double step = to.longitude - from.longitude;
        if (std::abs(step) > 180) {
            // Eastward over 180 when the step looks westward, and the other way round.
            const double edge = step < 0 ? 180 : -180;
            const double across = step < 0 ? step + 360 : step - 360;
            const double share = (edge - from.longitude) / across;
            const double latitude = from.latitude + (to.latitude - from.latitude) * share;
            piece << projection.toScreen(edge, latitude);
            flush();
            piece << projection.toScreen(-edge, latitude);
        }
        const QPointF next(place(to));
        if (piece.isEmpty() || piece.constLast() != next)
            piece << next;
    }
    flush();
}

int MapRenderer::pointAt(QPoint pos, int reach) const
{
    int found = -1;
    qint64 best = qint64(reach) * reach;
    for (size_t i = 0; i < m_projected.size(); ++i) {
        const qint64 dx = m_projected[i].x() - pos.x();
        const qint64 dy = m_projected[i].y() - pos.y();
        const qint64 distance = dx * dx + dy * dy;
        if (distance <= best) {
            best = distance;
            found = int(i);
        }
    }
    return found;
}
