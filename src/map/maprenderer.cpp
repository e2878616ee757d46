#include "map/maprenderer.h"

#include "map/worldoutline.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QPolygonF>
#include <cmath>
#include <numbers>

namespace {

// Paints a square of (2 * radius + 1) pixels straight into the image: a hundred thousand
// points cost far less this way than through the painter, one call each.
void square(uchar *bits, qsizetype stride, QSize size, QPoint at, int radius, QRgb colour)
{
    const int left = std::max(0, at.x() - radius);
    const int right = std::min(size.width() - 1, at.x() + radius);
    const int top = std::max(0, at.y() - radius);
    const int bottom = std::min(size.height() - 1, at.y() + radius);
    if (left > right)
        return;
    for (int y = top; y <= bottom; ++y) {
        auto *line = reinterpret_cast<QRgb *>(bits + y * stride);
        std::fill(line + left, line + right + 1, colour);
    }
}

// Paints the points, those ticked over the others. A laptop logs the same place for hours on
// end, so a point on the pixel of the one of its kind painted just before it is not painted again;
// and a tick is read from its row only for a point that may be painted.
void squares(QImage &image, const MapPoints &points, const std::vector<QPoint> &projected)
{
    uchar *bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const QSize size = image.size();
    const QRgb plain = MapColors::Point.rgb();
    std::optional<QPoint> lastPlain, lastTicked;
    std::vector<QPoint> ticked;
    for (int i = 0; i < points.count(); ++i) {
        const QPoint at = projected[size_t(i)];
        if (at == lastPlain && at == lastTicked)
            continue;
        if (!points.isTicked(i)) {
            if (at != lastPlain)
                square(bits, stride, size, at, MapRenderer::PointRadius, plain);
            lastPlain = at;
        } else if (at != lastTicked) {
            ticked.push_back(at);
            lastTicked = at;
        }
    }
    for (const QPoint at : ticked)
        square(bits, stride, size, at, MapRenderer::TickedRadius, MapColors::Ticked.rgb());
}

// Lines a pixel wide, drawn straight into the image within a clip: the track of a year's logs
// round the world is hundreds of thousands of pixels, several times faster this way than
// through the painter.
class Canvas
{
public:
    Canvas(QImage &image, QRect clip)
        : m_bits(image.bits()), m_stride(image.bytesPerLine()), m_clip(clip & image.rect())
    { }

    void line(QPointF a, QPointF b, QRgb colour) const
    {
        const auto within = [this](QPointF at) {
            return at.x() >= m_clip.left() && at.x() <= m_clip.right() && at.y() >= m_clip.top()
                && at.y() <= m_clip.bottom();
        };
        if (!(within(a) && within(b)) && (m_clip.isEmpty() || !clipped(a, b)))
            return;
        const auto inside = [this](QPointF at) {
            return QPoint(std::clamp(qRound(at.x()), m_clip.left(), m_clip.right()),
                          std::clamp(qRound(at.y()), m_clip.top(), m_clip.bottom()));
        };
        const QPoint from = inside(a), to = inside(b);
        // Bresenham's walk along the longer axis.
        const int dx = std::abs(to.x() - from.x()), dy = -std::abs(to.y() - from.y());
        const int stepX = from.x() < to.x() ? 1 : -1;
        const int stepY = from.y() < to.y() ? 1 : -1;
        int error = dx + dy;
        int x = from.x(), y = from.y();
        for (;;) {
            reinterpret_cast<QRgb *>(m_bits + y * m_stride)[x] = colour;
            if (x == to.x() && y == to.y())
                break;
            const int twice = 2 * error;
            if (twice >= dy) {
                error += dy;
                x += stepX;
            }
            if (twice <= dx) {
                error += dx;
                y += stepY;
            }
        }
    }

private:
    // Cuts the line from a to b to the clip (Liang and Barsky); false when none of it is in.
    bool clipped(QPointF &a, QPointF &b) const
    {
        const double dx = b.x() - a.x(), dy = b.y() - a.y();
        double enter = 0, leave = 1;
        // Keeps the part of the line where p * t <= q.
        const auto keep = [&](double p, double q) {
            if (p == 0)
                return q >= 0;
            const double t = q / p;
            if (p < 0)
                enter = std::max(enter, t);
            else
                leave = std::min(leave, t);
            return enter <= leave;
        };
        if (!(keep(-dx, a.x() - m_clip.left()) && keep(dx, m_clip.right() - a.x())
              && keep(-dy, a.y() - m_clip.top()) && keep(dy, m_clip.bottom() - a.y())))
            return false;
        const QPointF start = a;
        a = start + QPointF(dx, dy) * enter;
        b = start + QPointF(dx, dy) * leave;
        return true;
    }

    uchar *m_bits;
    qsizetype m_stride;
    QRect m_clip;
};

// The metres in a degree of latitude, near enough for a circle on the screen.
constexpr double MetresPerDegree = 111'320;

// The area each point may lie in, as an ellipse: the map stretches a degree of longitude to the
// width of a degree of latitude. Points on the pixel of one already circled are passed over, as
// the laptop logs the same place for hours.
void circles(QPainter &painter, const MapProjection &projection, const MapPoints &points,
             const std::vector<QPoint> &projected)
{
    if (points.largestAccuracyMetres() / MetresPerDegree * projection.scale
        < MapRenderer::SmallestCircle)
        return;
    const QRect view(QPoint(0, 0), projection.size);
    // Made at the first circle: the whole world shows none.
    std::vector<bool> circled;
    int drawn = 0;
    for (int i = 0; i < points.count() && drawn < MapRenderer::MostCircles; ++i) {
        const double ry = points.accuracyMetres(i) / MetresPerDegree * projection.scale;
        if (ry < MapRenderer::SmallestCircle)
            continue;
        const QPoint at = projected[size_t(i)];
        const double stretch
            = std::max(0.01, std::cos(points.place(i).latitude * std::numbers::pi / 180));
        const double rx = std::min(ry / stretch, 4.0 * view.width());
        if (!view.intersects(QRectF(at.x() - rx, at.y() - ry, 2 * rx, 2 * ry).toAlignedRect()))
            continue;
        if (circled.empty()) {
            circled.resize(size_t(view.width()) * size_t(view.height()));
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(MapColors::AccuracyEdge, 1));
            painter.setBrush(MapColors::Accuracy);
        }
        if (view.contains(at)) {
            auto seen = circled.begin() + at.y() * view.width() + at.x();
            if (*seen)
                continue;
            *seen = true;
        }
        painter.drawEllipse(QPointF(at), rx, ry);
        ++drawn;
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}

// A thin line from each point placed by Wi-Fi to its public address placed far from it.
void farLines(QPainter &painter, const MapProjection &projection, const MapPoints &points,
              const std::vector<QPoint> &projected)
{
    painter.setPen(QPen(MapColors::Far, 1));
    for (const int i : points.farPoints()) {
        const std::optional<Fix> address = points.results()->addressFix(points.row(i));
        if (address)
            painter.drawLine(QPointF(projected[size_t(i)]),
                             projection.toScreen(address->longitude, address->latitude));
    }
}

void ring(QPainter &painter, QPoint at, int radius, const QColor &colour)
{
    painter.setPen(QPen(colour, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(at), radius, radius);
}

} // namespace

bool MapRenderer::render(QImage &image, const MapProjection &projection, const MapPoints &points,
                         int selected, qint64 trackBudgetNs)
{
    const auto count = size_t(points.count());
    std::optional<QPoint> offset = countriesOffset(projection);
    if (!offset || m_trackDrawn > count) {
        drawCountries(projection);
        offset = countriesOffset(projection);
    }
    // Only the steps to points that came since the last render are drawn, while the budget
    // lasts.
    if (count <= 1)
        m_trackDrawn = count;
    if (m_trackDrawn < count)
        m_trackDrawn = drawTrack(m_countries, m_countriesFor, points, m_trackDrawn, trackBudgetNs);
    const bool whole = m_trackDrawn >= count;
    project(projection, points);
    {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), m_countries, QRect(*offset, projection.size));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        circles(painter, projection, points, m_projected);
        farLines(painter, projection, points, m_projected);
    }

    squares(image, points, m_projected);
    if (count == 0)
        return whole;
    QPainter painter(&image);
    ring(painter, m_projected.back(), TickedRadius + 4, MapColors::Newest);
    if (selected >= 0 && selected < points.count())
        ring(painter, m_projected[size_t(selected)], TickedRadius + 7, MapColors::Selected);
    return whole;
}

void MapRenderer::project(const MapProjection &projection, const MapPoints &points)
{
    const auto count = size_t(points.count());
    if (!(m_projectedFor == projection) || m_projected.size() > count)
        m_projected.clear();
    m_projectedFor = projection;
    m_projected.reserve(count);
    for (size_t i = m_projected.size(); i < count; ++i) {
        const GeoPoint place = points.place(int(i));
        m_projected.push_back(projection.toScreen(place.longitude, place.latitude).toPoint());
    }
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
    const QSize margin((view.size.width() + 3) / 4, (view.size.height() + 3) / 4);
    projection.size = view.size + margin * 2;
    m_countriesFor = projection;
    m_trackDrawn = 0;
    m_countries = QImage(projection.size, QImage::Format_ARGB32_Premultiplied);
    m_countries.fill(MapColors::Sea);
    const QPainterPath &world = WorldOutline();
    {
        QPainter painter(&m_countries);
        painter.translate(projection.toScreen(0, 0));
        painter.scale(projection.scale, projection.scale);
        painter.setPen(Qt::NoPen);
        painter.setBrush(MapColors::Land);
        painter.drawPath(world);
    }
    // The borders over the land, each ring closed; a corner on the pixel of the one before is
    // passed over, as most are once the world is small.
    const Canvas canvas(m_countries, m_countries.rect());
    const QRgb border = MapColors::Border.rgb();
    QPointF first, last;
    for (int i = 0; i < world.elementCount(); ++i) {
        const QPainterPath::Element corner = world.elementAt(i);
        const QPointF at = projection.toScreen(corner.x, -corner.y);
        if (corner.isMoveTo()) {
            if (i > 0)
                canvas.line(last, first, border);
            first = at;
        } else if (at.toPoint() == last.toPoint()) {
            continue;
        } else {
            canvas.line(last, at, border);
        }
        last = at;
    }
    if (world.elementCount() > 0)
        canvas.line(last, first, border);
}

// The track runs from each point to the next in the order of the logs. A step of more than half
// the world in longitude goes the short way, across the edge of the map: it is drawn as two
// pieces that leave one edge and come in at the other, never as a line across the world.
size_t MapRenderer::drawTrack(QImage &image, const MapProjection &projection,
                              const MapPoints &points, size_t drawn, qint64 budgetNs)
{
    QElapsedTimer clock;
    clock.start();
    const QRect world = QRectF(projection.toScreen(-180, 90), projection.toScreen(180, -90))
                            .toAlignedRect()
                            .adjusted(0, 0, 1, 1);
    const Canvas canvas(image, world);
    const QRgb colour = MapColors::Track.rgb();
    auto place = [&](const GeoPoint &point) {
        return projection.toScreen(point.longitude, point.latitude);
    };
    // The clock is read once a run of steps.
    constexpr size_t StepsPerRun = 256;
    const auto count = size_t(points.count());
    size_t i = std::max<size_t>(drawn, 1);
    for (; i < count; ++i) {
        if (i % StepsPerRun == 0 && budgetNs >= 0 && clock.nsecsElapsed() >= budgetNs)
            break;
        const GeoPoint from = points.place(int(i - 1));
        const GeoPoint to = points.place(int(i));
        // Most steps are a log of the same place as the one before.
        if (to.longitude == from.longitude && to.latitude == from.latitude)
            continue;
        const double step = to.longitude - from.longitude;
        if (std::abs(step) <= 180) {
            canvas.line(place(from), place(to), colour);
            continue;
        }
        // Eastward over 180 when the step looks westward, and the other way round.
        const double edge = step < 0 ? 180 : -180;
        const double across = step < 0 ? step + 360 : step - 360;
        const double share = (edge - from.longitude) / across;
        const double latitude = from.latitude + (to.latitude - from.latitude) * share;
        canvas.line(place(from), projection.toScreen(edge, latitude), colour);
        canvas.line(projection.toScreen(-edge, latitude), place(to), colour);
    }
    return i;
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
