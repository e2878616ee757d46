#include "map/mapview.h"

#include "map/mappoints.h"
#include "results/resultslist.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>

namespace {

// How long one paint draws of the track; the rest follows in the next paints.
constexpr qint64 TrackBudgetNs = 6'000'000;

constexpr double ZoomStep = 1.25;
// From half the world's fit to a few hundred metres a pixel.
constexpr double SmallestZoom = 0.5;
constexpr double LargestScale = 2000;
// A press and release closer than this is a click, not a drag.
constexpr int ClickSlack = 4;

// "30 m", "1.2 km", "50 km": how far off a fix may be, as a reader weighs it.
QString distanceText(double metres)
{
    const QLocale locale;
    if (metres < 1000)
        return MapView::tr("%1 m").arg(locale.toString(qRound(metres)));
    const double km = metres / 1000;
    return MapView::tr("%1 km").arg(km < 10 ? locale.toString(km, 'f', 1)
                                            : locale.toString(qRound64(km)));
}

// "By Wi-Fi: 46.8501, 9.5302, within 30 m".
QString fixText(const Fix &fix)
{
    const QString source
        = fix.source == Fix::Source::WiFi ? MapView::tr("By Wi-Fi") : MapView::tr("By address");
    return MapView::tr("%1: %2, %3, within %4")
        .arg(source, QString::number(fix.latitude, 'g', 8), QString::number(fix.longitude, 'g', 8),
             distanceText(fix.accuracyMetres));
}

} // namespace

MapView::MapView(MapPoints *points, QWidget *parent) : QWidget(parent), m_points(points)
{
    setObjectName(QStringLiteral("MapView"));
    setAccessibleName(tr("Map"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_projection.size = size();
    m_projection.scale = MapProjection::worldScale(size());
    connect(points, &MapPoints::appended, this, &MapView::pointsChanged);
    connect(points, &MapPoints::ticksChanged, this, &MapView::pointsChanged);
    connect(points, &MapPoints::moved, this, [this] {
        m_renderer.forgetPoints();
        pointsChanged();
    });
    connect(points, &MapPoints::reset, this, [this] {
        m_renderer.forgetPoints();
        m_selected = -1;
        pointsChanged();
    });
    setAccessibleDescription(m_points->summary());
}

void MapView::pointsChanged()
{
    m_frameValid = false;
    setAccessibleDescription(m_points->summary());
    update();
}

void MapView::setProjection(const MapProjection &projection)
{
    m_projection = projection;
    const double smallest = MapProjection::worldScale(size()) * SmallestZoom;
    m_projection.scale = std::clamp(m_projection.scale, smallest, std::max(smallest, LargestScale));
    m_projection.centreLongitude = std::clamp(m_projection.centreLongitude, -180.0, 180.0);
    m_projection.centreLatitude = std::clamp(m_projection.centreLatitude, -90.0, 90.0);
    m_frameValid = false;
    update();
}

void MapView::fit()
{
    MapProjection fitted = m_projection;
    fitted.size = size();
    if (m_points->count() == 0)
        return showWorld();
    double west = 180, east = -180, south = 90, north = -90;
    for (int i = 0; i < m_points->count(); ++i) {
        const GeoPoint point = m_points->place(i);
        west = std::min(west, point.longitude);
        east = std::max(east, point.longitude);
        south = std::min(south, point.latitude);
        north = std::max(north, point.latitude);
    }
    // A single place is shown with a few degrees round it, enough to see where it is.
    const double width = std::max(east - west, 4.0) * 1.2;
    const double height = std::max(north - south, 2.0) * 1.2;
    fitted.centreLongitude = (west + east) / 2;
    fitted.centreLatitude = (south + north) / 2;
    fitted.scale = std::min(fitted.size.width() / width, fitted.size.height() / height);
    setProjection(fitted);
    m_fitted = true;
}

void MapView::showWorld()
{
    MapProjection world;
    world.size = size();
    world.scale = MapProjection::worldScale(size());
    setProjection(world);
    m_fitted = true;
}

bool MapView::centreOnRow(int row)
{
    const int point = m_points->pointOfRow(row);
    if (point < 0)
        return false;
    m_selected = point;
    MapProjection centred = m_projection;
    const GeoPoint place = m_points->place(point);
    centred.centreLongitude = place.longitude;
    centred.centreLatitude = place.latitude;
    setProjection(centred);
    m_fitted = false;
    return true;
}

void MapView::zoomAt(QPointF anchor, double factor)
{
    const QPointF place = m_projection.toGeo(anchor);
    MapProjection zoomed = m_projection;
    zoomed.scale *= factor;
    const double smallest = MapProjection::worldScale(size()) * SmallestZoom;
    zoomed.scale = std::clamp(zoomed.scale, smallest, std::max(smallest, LargestScale));
    // The place under the anchor stays under it.
    zoomed.centreLongitude = place.x() - (anchor.x() - width() / 2.0) / zoomed.scale;
    zoomed.centreLatitude = place.y() + (anchor.y() - height() / 2.0) / zoomed.scale;
    setProjection(zoomed);
    m_fitted = false;
}

void MapView::pan(QPointF pixels)
{
    MapProjection moved = m_projection;
    moved.centreLongitude -= pixels.x() / m_projection.scale;
    moved.centreLatitude += pixels.y() / m_projection.scale;
    setProjection(moved);
    m_fitted = false;
}

QString MapView::toolTipAt(QPoint pos) const
{
    const int point = m_renderer.pointAt(pos);
    if (point < 0)
        return {};
    const ResultsList *results = m_points->results();
    const int row = m_points->row(point);
    QStringList place;
    for (int column : {ResultsList::City, ResultsList::Region, ResultsList::Country}) {
        if (const QString text = results->cell(row, column); !text.isEmpty())
            place << text;
    }
    // The fix the point stands at first, then the other, then why they disagree.
    QStringList lines {results->cell(row, ResultsList::Time), place.join(u", ")};
    const RowFixes fixes = results->fixes(row);
    const std::optional<Fix> best = fixes.best();
    lines << fixText(*best);
    for (const std::optional<Fix> &other : {fixes.address(), fixes.wifi()}) {
        if (other && other->source != best->source)
            lines << fixText(*other);
    }
    if (const QString mark = fixes.mark(); !mark.isEmpty())
        lines << mark;
    return lines.join(u'\n');
}

void MapView::renderFrame(qint64 trackBudgetNs)
{
    // A hidden widget learns of its new size only when it is shown; its image is asked for
    // before then.
    if (m_projection.size != size())
        adoptSize();
    if (m_frameValid && m_frame.size() == size())
        return;
    if (m_frame.size() != size())
        m_frame = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    m_frameValid = m_renderer.render(m_frame, m_projection, *m_points, m_selected, trackBudgetNs);
    if (!m_frameValid)
        QTimer::singleShot(0, this, qOverload<>(&QWidget::update));
}

QImage MapView::image()
{
    renderFrame();
    return m_frame;
}

bool MapView::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        renderFrame();
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void MapView::paintEvent(QPaintEvent *event)
{
    // The window never waits long for a long track: the rest comes in the next paints.
    renderFrame(TrackBudgetNs);
    QPainter painter(this);
    painter.drawImage(event->rect(), m_frame, event->rect());
}

void MapView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    adoptSize();
}

void MapView::adoptSize()
{
    // A view the user has not moved since Fit goes on showing what Fit showed.
    if (m_fitted)
        return fit();
    MapProjection resized = m_projection;
    resized.size = size();
    setProjection(resized);
}

void MapView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shownBefore) {
        m_shownBefore = true;
        fit();
    }
}

void MapView::wheelEvent(QWheelEvent *event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0)
        zoomAt(event->position(), std::pow(ZoomStep, steps));
    event->accept();
}

void MapView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_pressAt = m_dragFrom = event->position().toPoint();
    m_dragging = false;
}

void MapView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPoint at = event->position().toPoint();
    if (!m_dragging && (at - m_pressAt).manhattanLength() < ClickSlack)
        return;
    m_dragging = true;
    setCursor(Qt::ClosedHandCursor);
    pan(at - m_dragFrom);
    m_dragFrom = at;
}

void MapView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    if (m_dragging) {
        m_dragging = false;
        unsetCursor();
        return;
    }
    renderFrame();
    if (const int point = m_renderer.pointAt(event->position().toPoint()); point >= 0) {
        m_selected = point;
        m_frameValid = false;
        update();
        Q_EMIT rowClicked(m_points->row(point));
    }
}

void MapView::keyPressEvent(QKeyEvent *event)
{
    const QPointF middle(width() / 2.0, height() / 2.0);
    const double stepX = width() / 8.0, stepY = height() / 8.0;
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomAt(middle, ZoomStep);
        break;
    case Qt::Key_Minus:
        zoomAt(middle, 1 / ZoomStep);
        break;
    case Qt::Key_Left:
        pan({stepX, 0});
        break;
    case Qt::Key_Right:
        pan({-stepX, 0});
        break;
    case Qt::Key_Up:
        pan({0, stepY});
        break;
    case Qt::Key_Down:
        pan({0, -stepY});
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}
