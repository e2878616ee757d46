#pragma once

#include "map/mapprojection.h"
#include "map/maprenderer.h"

#include <QImage>
#include <QWidget>

class MapPoints;

// The map as a widget: the world, the logged places and the track between them. The wheel
// zooms about the pointer, a drag pans, + and - zoom and the arrow keys pan; hovering a point
// tells its time and place, and clicking it asks for its row.
class MapView : public QWidget
{
    Q_OBJECT

public:
    explicit MapView(MapPoints *points, QWidget *parent = nullptr);
    // Part of the track is still to be drawn in the next paints.
    bool isFrameOutstanding() const { return !m_frameValid; }

    // Shows every point, or the whole world when there is none.
    void fit();
    // The whole world, centred where the meridian meets the equator.
    void showWorld();
    // Centres the map on the row's point, keeping the zoom, and rings it; false when the row
    // names no place.
    bool centreOnRow(int row);
    // Zooms by factor, keeping the place under `anchor` (a pixel of the view) where it is.
    void zoomAt(QPointF anchor, double factor);
    // Moves the view by the given pixels.
    void pan(QPointF pixels);

    const MapProjection &projection() const { return m_projection; }
    // The tooltip for the point under pos: its time, city, region and country, the fix it is
    // drawn at and the other with their sources and accuracies, and why they disagree; empty when
    // no point is there.
    QString toolTipAt(QPoint pos) const;
    // The map as it is shown, at the view's size.
    QImage image();

    QSize sizeHint() const override { return {900, 480}; }

Q_SIGNALS:
    // The user clicked the point of this row.
    void rowClicked(int row);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void pointsChanged();
    void setProjection(const MapProjection &projection);
    // trackBudgetNs: as MapRenderer::render; a frame whose track is not yet whole is drawn
    // again on the next turn of the event loop.
    void renderFrame(qint64 trackBudgetNs = -1);
    void adoptSize();

    MapPoints *m_points;
    MapRenderer m_renderer;
    MapProjection m_projection;
    QImage m_frame;
    bool m_frameValid = false;
    // The first time it is shown, the view fits the points.
    bool m_shownBefore = false;
    // Fit (or the whole world) is what the view shows, and a new size shows it again.
    bool m_fitted = false;
    int m_selected = -1;
    QPoint m_pressAt;
    QPoint m_dragFrom;
    bool m_dragging = false;
};
