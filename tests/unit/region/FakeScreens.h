#pragma once

#include "main/CaptureService/CaptureService.h"
#include "platform/ScreenCapture.h"
#include "platform/Screens.h"
#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "platform/ffmpeg/MovieCompletion.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <vector>

// The two-screen desk of the worked examples as Qt would report it, without a desktop still: a
// 1512 × 982 primary at scale 2 and a 1920 × 1080 screen on its right whose frame starts at
// (1512, −200).
struct FakeScreens : platform::Screens {
    platform::ScreenLayout layout() const override {
        return platform::layoutScreens({{"Built-in", QRect(0, 0, 1512, 982), 2.0},
                                        {"Monitor", QRect(1512, 102, 1920, 1080), 1.0}});
    }
    std::optional<std::vector<platform::DesktopPiece>> desktopStill() const override { return {}; }
};

// Lists the desk's displays, placed on the root, and paints stills one colour.
struct FakeScreenCapture : platform::ScreenCapture {
    Result<std::vector<platform::Display>> displays() override {
        return std::vector<platform::Display>{
            {platform::displayIdentifier("Built-in"), {}, QRect(0, 0, 3024, 1964), 2},
            {platform::displayIdentifier("Monitor"), {}, QRect(3024, 204, 1920, 1080)}};
    }
    std::optional<QString> unavailableReason() const override { return {}; }
    Result<QImage> still(const platform::Display&, const QRectF&, QSize size) override {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::green);
        return image;
    }
};

// The capture service on the fake desk, with the real encoder and a desktop that places
// windows itself.
inline CapturePlatform fakeDesk() {
    CapturePlatform seams;
    seams.screens = std::make_shared<FakeScreens>();
    seams.screenCapture = std::make_shared<FakeScreenCapture>();
    seams.makeMovieWriter = platform::openQuickTimeMovieWriter;
    seams.completeMovie = platform::completeMovie;
    seams.windowPlacement = std::make_shared<platform::WindowPlacement>();
    return seams;
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

// The window showing with this title, or any showing one: the overlay a capture request put up.
inline QWidget* shownWindow(const QString& title = {}) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && (title.isEmpty() || widget->windowTitle() == title)) {
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

// Saves as the editor does and waits for the answer.
inline std::optional<QString> savedScreenshot(CaptureService& service, const QImage& image) {
    std::optional<std::optional<QString>> answer;
    service.saveScreenshot(image, [&](std::optional<QString> path) { answer = std::move(path); });
    return QTest::qWaitFor([&] { return answer.has_value(); }) ? *answer : std::nullopt;
}
