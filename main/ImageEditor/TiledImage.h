#pragma once

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <functional>
#include <vector>

class QPainter;

// A bitmap kept as square tiles. Copies share every tile (QImage is copy-on-write), and
// painting detaches only the tiles it touches, so a snapshot costs no pixels and an edit
// copies only what it changes. Snapshots therefore never change when the document does.
class TiledImage {
  public:
    static constexpr int tileSide = 256;

    // An independent tiled copy of the picture, keeping its device pixel ratio.
    explicit TiledImage(const QImage& picture);

    QSize pixelSize() const { return pixels; }
    qreal devicePixelRatio() const { return ratio; }
    // Size in image units (points): pixels divided by the device pixel ratio.
    QSizeF size() const;

    // One independent bitmap of the whole image, keeping the device pixel ratio.
    QImage toImage() const;
    // An independent copy of a rectangle of bitmap pixels (top-down), ratio 1.
    QImage copyPixels(const QRect& area) const;

    // Runs draw once for every tile that the rectangle (top-down image units) touches, on a
    // painter whose coordinates are the image's top-down units at full bitmap resolution.
    void paint(const QRectF& dirty, const std::function<void(QPainter&)>& draw);

    // Draws the tiles that meet the exposed rectangle, scaled by zoom, onto a top-down target.
    void render(QPainter& painter, qreal zoom, const QRectF& exposed) const;

    // Every tile once, for accounting of the memory that copies share.
    void forEachTile(const std::function<void(const QImage&)>& visit) const;

  private:
    QRect tileArea(int column, int row) const;
    QRect tilesMeeting(const QRect& area) const;

    QSize pixels;
    qreal ratio = 1.0;
    int columns = 0;
    int rows = 0;
    std::vector<QImage> tiles;
};
