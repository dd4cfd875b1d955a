#pragma once

#include "platform/ScreenCapture.h"
#include "platform/Screens.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <map>
#include <set>

namespace platform {

class PortalRequest;

// A Wayland desktop's screens and stills. Clients cannot read the screen themselves: when a
// selection begins the compositor copies each output where it can, else one picture of the
// whole layout is asked of the desktop's Screenshot portal and cut per screen; the overlay shows
// them and the capture is cut from them, so what was framed is what is saved. Each screen's
// scale is its output's own pixels over its points, so its pixels stay exact.
class PortalDesktop : public QObject, public Screens, public ScreenCapture {
    Q_OBJECT
  public:
    PortalDesktop();
    ~PortalDesktop() override;

    ScreenLayout layout() const override;
    std::optional<std::vector<DesktopPiece>> desktopStill() const override;
    bool overlayPerScreen() const override { return true; }

    Result<std::vector<Display>> displays() override;
    std::optional<QString> unavailableReason() const override;
    void learnUnavailableReason(std::function<void(std::optional<QString>)> told) override;
    void prepare(std::function<void(std::optional<Error>)> ready) override;
    Result<QImage> still(const Display& display, const QRectF& sourceRect,
                         QSize outputSize) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void askForPicture();
    void takeStill();
    void tookPicture(const QVariantMap& results);
    void explainFailure(Error failure);
    void finish(std::optional<Error> failure);
    // Qt's screens at their outputs' real scales, as far as known.
    std::vector<QtScreenInfo> screens() const;

    PortalRequest* request;
    std::function<void(std::optional<Error>)> ready;
    qint64 requestedAtSeconds = 0;
    // The pictures folder's files when the picture was asked for: none of them is the portal's.
    std::set<QString> picturesBefore;
    // Each screen's pixels, by screen name, at that screen's own scale.
    std::map<QString, QImage> screenPixels;
    std::map<QString, QSize> outputSizes;
    // Since a window of ours was last hidden; invalid while none was.
    QElapsedTimer sinceWindowHidden;
};

// Cuts a picture of the whole layout, drawn at the layout's highest scale with its top-left at
// the layout's top-left, into each screen's pixels at that screen's own scale.
std::map<QString, QImage> cutPerScreen(const QImage& layoutPicture,
                                       const std::vector<QtScreenInfo>& screens);

}  // namespace platform
