// How long the region overlay takes to be on screen after the request in a Wayland session:
// headless sway with its portals, each output's pixels copied by the compositor first (the
// Screenshot portal only where it cannot), then one overlay window per output. Median of 10, beside
// which region_capture_bench gives the X11 figure. Runs itself again as the desktop's user inside
// the session.
#include "main/RegionSelector.h"
#include "platform/wayland/PortalDesktop.h"
#include "tests/support/WaylandDesktop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int runs = 10;

int measureInside(int argc, char** argv) {
    QApplication application(argc, argv);
    const auto desktop = std::make_shared<platform::PortalDesktop>();
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        std::shared_ptr<RegionSelectorController> selector;
        QElapsedTimer clock;
        clock.start();
        desktop->prepare([&](std::optional<Error> failure) {
            if (!failure) {
                selector = RegionSelectorController::create(QStringLiteral("Kéo chuột"),
                                                            [](RegionResult) {}, desktop, {});
            }
        });
        while (!selector || !selector->window()->windowHandle()->isExposed()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            if (clock.elapsed() > 10000) {
                std::puts("the overlay did not come up");
                return 1;
            }
        }
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        selector.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // The next request comes as a hot key does, not while this overlay is still leaving the
        // screen, which the still would wait for.
        QElapsedTimer pause;
        pause.start();
        while (pause.elapsed() < 300) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        }
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "overlay shown after the request on headless sway (outputs' own pixels + one "
        "window per output): median %.1f ms, best %.1f ms, worst %.1f ms (%d runs)\n",
        (times[runs / 2 - 1] + times[runs / 2]) / 2, times.front(), times.back(), runs);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--inside") == 0) {
        return measureInside(argc, argv);
    }
    QCoreApplication application(argc, argv);
    e2e::WaylandDesktop desktop(e2e::WaylandDesktop::Sway{.portals = true});
    if (!desktop.started()) {
        std::puts("could not start headless sway");
        return 1;
    }
    const auto measured =
        desktop.run(e2e::reachableByAnyone(QCoreApplication::applicationFilePath()), {"--inside"});
    std::fwrite(measured.output.constData(), 1, static_cast<size_t>(measured.output.size()),
                stdout);
    return measured.exitCode;
}
