#pragma once

#include "platform/WindowPlacement.h"

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class QLabel;
class QTimer;
class QWidget;

// The small floating window shown while a recording runs: a red dot, the elapsed time and a
// stop button that calls the stop callback once.
class RecordingHUDController : public QObject {
    Q_OBJECT
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    RecordingHUDController(std::function<void()> stop,
                           std::shared_ptr<platform::WindowPlacement> placement,
                           Clock clock = std::chrono::steady_clock::now);
    ~RecordingHUDController() override;

    void showWindow();
    void close();
    QWidget* window() const { return hudWindow.get(); }

    // "mm:ss" with as many minute digits as needed; there is no hours field.
    static QString timeText(std::chrono::seconds elapsed);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void tick();
    void placeByFrame(int triesLeft);

    // The stop button's own click may release the controller, so the window goes later.
    struct DeleteLater {
        void operator()(QWidget* window) const;
    };
    std::unique_ptr<QWidget, DeleteLater> hudWindow;
    QLabel* timeLabel = nullptr;
    QTimer* timer = nullptr;
    std::shared_ptr<platform::WindowPlacement> placement;
    Clock clock;
    std::chrono::steady_clock::time_point started;
    bool placing = false;
};
