#pragma once

#include "platform/PointerPixels.h"
#include "platform/Screens.h"

#include <QRectF>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;
class RegionSelectorView;

// What one selection ends with: a rectangle in global points (y up, at least 4 × 4, wholly on
// the screen where the drag began) with that screen, or both absent when the user cancelled.
struct RegionResult {
    std::optional<QRectF> rect;
    std::optional<platform::Screen> screen;
};

// The dimmed overlay over every screen in which the user drags out a region. It delivers at
// most one result; releasing it takes the overlay down without one.
class RegionSelectorController {
  public:
    using Completion = std::function<void(RegionResult)>;

    // Shows the overlay at once. The owner keeps the returned reference while it is up and
    // may drop it inside the completion.
    static std::shared_ptr<RegionSelectorController> create(
        const QString& prompt, Completion completion,
        std::shared_ptr<const platform::Screens> screens,
        const platform::PointerPixelsWatch& watchPointerPixels);
    ~RegionSelectorController();
    RegionSelectorController(const RegionSelectorController&) = delete;
    RegionSelectorController& operator=(const RegionSelectorController&) = delete;

    // The overlay's first window, for whoever needs to watch it appear.
    QWidget* window() const;

  private:
    explicit RegionSelectorController(Completion completion);
    void deliver(RegionResult result);

    struct DeleteLater {
        void operator()(RegionSelectorView* view) const;
    };
    // One window over every screen, or one per screen where windows cannot span screens.
    std::vector<std::unique_ptr<RegionSelectorView, DeleteLater>> views;
    Completion completion;
    bool finished = false;
};
