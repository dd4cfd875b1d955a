#pragma once

#include "platform/ScreenCapture.h"
#include "platform/Screens.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>
#include <vector>

// Screens laid out as Qt would report them, with an optional desktop still.
class FakeScreens : public platform::Screens {
  public:
    explicit FakeScreens(std::vector<platform::QtScreenInfo> qtScreens)
        : qtScreens(std::move(qtScreens)) {}
    platform::ScreenLayout layout() const override { return platform::layoutScreens(qtScreens); }
    std::optional<std::vector<platform::DesktopPiece>> desktopStill() const override {
        return desktop;
    }

    std::vector<platform::QtScreenInfo> qtScreens;
    std::optional<std::vector<platform::DesktopPiece>> desktop;
};

// Lists the displays of both worked-example screens and paints stills one colour,
// remembering each request.
class FakeScreenCapture : public platform::ScreenCapture {
  public:
    Result<std::vector<platform::Display>> displays() override {
        std::vector<platform::Display> found(2);
        found[0].displayID = platform::displayIdentifier(QStringLiteral("Built-in"));
        found[1].displayID = platform::displayIdentifier(QStringLiteral("Monitor"));
        return found;
    }
    std::optional<QString> unavailableReason() const override {
        return available ? std::nullopt
                         : std::optional<QString>(QStringLiteral("Cần phiên X11 để chụp màn hình"));
    }
    Result<QImage> still(const platform::Display& display, const QRectF& sourceRect,
                         QSize outputSize) override {
        requests.push_back({display.displayID, sourceRect, outputSize});
        if (stillFailure) {
            return *stillFailure;
        }
        QImage image(outputSize, QImage::Format_RGB32);
        image.fill(Qt::green);
        return image;
    }

    struct Request {
        quint32 displayID;
        QRectF sourceRect;
        QSize outputSize;
    };
    std::optional<Error> stillFailure;
    bool available = true;
    std::vector<Request> requests;
};

// The two-screen desk of the worked examples: a 1512 × 982 primary at scale 2 and a
// 1920 × 1080 screen on its right whose frame starts at (1512, −200).
inline std::vector<platform::QtScreenInfo> laptopAndMonitor() {
    return {{QStringLiteral("Built-in"), QRect(0, 0, 1512, 982), 2.0},
            {QStringLiteral("Monitor"), QRect(1512, 102, 1920, 1080), 1.0}};
}

// Mouse events at a global position in Qt's space, the way the platform delivers them.
inline void sendMouse(QWidget* window, QEvent::Type type, const QPointF& qtGlobal,
                      Qt::MouseButton pressed = Qt::LeftButton) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(pressed);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : pressed;
    QMouseEvent event(type, qtGlobal - QPointF(window->geometry().topLeft()), qtGlobal, button,
                      held, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
}

inline void dragInQt(QWidget* window, const QPointF& from, const QPointF& to) {
    sendMouse(window, QEvent::MouseButtonPress, from);
    sendMouse(window, QEvent::MouseMove, (from + to) / 2);
    sendMouse(window, QEvent::MouseMove, to);
    sendMouse(window, QEvent::MouseButtonRelease, to);
}

// The overlay a capture request put up, if one is showing.
inline QWidget* visibleOverlay() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

inline void runDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Pops every override cursor left behind and says how many there were.
inline int popLeftoverCursors() {
    int leftover = 0;
    for (; QGuiApplication::overrideCursor() != nullptr; ++leftover) {
        QGuiApplication::restoreOverrideCursor();
    }
    return leftover;
}
