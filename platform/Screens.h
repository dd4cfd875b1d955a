#pragma once

#include <QPixmap>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QString>
#include <optional>
#include <vector>

namespace platform {

// The display identifier of a monitor, derived from its name alone. Screens and capture
// displays both take theirs from here, so the two always agree.
quint32 displayIdentifier(const QString& monitorName);

// Flips between Qt's logical space (top-left origin, y down) and our global points (origin at
// the lower-left corner of the primary screen, y up). Nothing else in the program flips.
class ScreenSpace {
  public:
    explicit ScreenSpace(const QRectF& primaryQtGeometry = {});

    QRectF toGlobal(const QRectF& qtRect) const;
    QRectF toQt(const QRectF& globalRect) const;
    QPointF toGlobal(const QPointF& qtPoint) const;
    QPointF toQt(const QPointF& globalPoint) const;

  private:
    // The primary screen's bottom edge in Qt's space: y = 0 in ours.
    double flipLine;
};

// One attached screen: frame in global points (y up), pixels per point, and the identifier
// of its display (absent for a screen that has no name to derive one from).
struct Screen {
    QString name;
    QRectF frame;
    double backingScaleFactor = 1.0;
    std::optional<quint32> displayID;

    bool operator==(const Screen&) const = default;
};

struct ScreenLayout {
    std::vector<Screen> screens;
    ScreenSpace space;
};

// A screen as Qt reports it, before conversion.
struct QtScreenInfo {
    QString name;
    QRect geometry;
    double devicePixelRatio = 1.0;
};

// The first screen is the primary one: it fixes where y = 0 lies.
ScreenLayout layoutScreens(const std::vector<QtScreenInfo>& qtScreens);

// The global point (y up) at a position in the X screen's pixels, by the screen showing that
// pixel: Qt keeps each screen's top-left corner in place and scales the rest of it around
// that corner. Nothing when no screen shows the pixel.
std::optional<QPointF> pointAtPixel(const ScreenLayout& layout, const QPointF& pixel);

// A piece of the desktop as it looked when asked, with the frame it covers (global points).
struct DesktopPiece {
    QRectF frame;
    QPixmap pixels;
};

class Screens {
  public:
    virtual ~Screens() = default;
    // The attached screens in the system's order, primary first.
    virtual ScreenLayout layout() const = 0;
    // Nothing when a compositing manager lets windows be translucent; otherwise a still of
    // every screen, so an overlay can fake translucency by painting it.
    virtual std::optional<std::vector<DesktopPiece>> desktopStill() const = 0;
    // Whether an overlay needs one window per screen, where no window may span screens.
    virtual bool overlayPerScreen() const { return false; }
};

}  // namespace platform
