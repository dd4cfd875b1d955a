#include "main/CaptureService/CaptureGeometry.h"
#include "main/CaptureService/CaptureService.h"
#include "main/RegionSelector.h"
#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace {

void xdotool(const QStringList& arguments) {
    ASSERT_EQ(e2e::runTool(QStringLiteral("xdotool"), arguments).exitCode, 0)
        << arguments.join(' ').toStdString();
}

void moveTo(QPoint rootPixel) {
    xdotool({QStringLiteral("mousemove"), QString::number(rootPixel.x()),
             QString::number(rootPixel.y())});
}

QWidget* shownOverlay() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowHandle() != nullptr &&
            widget->windowHandle()->isExposed()) {
            return widget;
        }
    }
    return nullptr;
}

// Waits for the overlay to be on screen, then lets the X events queued meanwhile arrive.
bool waitForOverlay() {
    return e2e::waitUntil([] { return shownOverlay() != nullptr; });
}

// Drags with the real pointer, in root-window pixels, the way a person would.
void dragOnRoot(QPoint from, QPoint to) {
    moveTo(from);
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    moveTo((from + to) / 2);
    moveTo(to);
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
}

// How many pixels differ from the pattern shown on the root under the given rectangle.
int differingPixels(const QImage& captured, const QRect& rootPixels) {
    if (captured.size() != rootPixels.size()) {
        return -1;
    }
    const QImage pixels = captured.convertToFormat(QImage::Format_RGB32);
    int differing = 0;
    for (int y = 0; y < pixels.height(); ++y) {
        for (int x = 0; x < pixels.width(); ++x) {
            if (pixels.pixel(x, y) != e2e::positionColour(rootPixels.x() + x, rootPixels.y() + y)) {
                ++differing;
            }
        }
    }
    return differing;
}

// Pictures the screen while a drag is held and tells whether the overlay shows the desktop
// undimmed inside the selection and dimmed just outside it.
bool overlayShowsSelection(QPoint from, QPoint to, const QString& pictureName) {
    auto selector = RegionSelectorController::create(
        QStringLiteral("Kéo chuột để chọn vùng chụp  •  Esc để hủy"), [](RegionResult) {},
        std::make_shared<platform::QtScreens>());
    if (!waitForOverlay()) {
        return false;
    }
    QTest::qWait(100);
    e2e::saveScreenPicture(pictureName + QStringLiteral("-prompt"));
    moveTo(from);
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    moveTo(to);
    QTest::qWait(300);
    const QImage picture(e2e::saveScreenPicture(pictureName));
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    const QPoint inside = (from + to) / 2;
    const QPoint outside(from.x() - 20, inside.y());
    return !picture.isNull() &&
           picture.pixel(inside) == e2e::positionColour(inside.x(), inside.y()) &&
           qRed(picture.pixel(outside)) < qRed(e2e::positionColour(outside.x(), outside.y()));
}

class RegionCaptureTest : public testing::Test {
  protected:
    void SetUp() override { e2e::showOnRoot(e2e::positionPattern()); }

    std::optional<RegionResult> select(const std::function<void()>& drive) {
        std::optional<RegionResult> delivered;
        int deliveries = 0;
        auto selector = RegionSelectorController::create(
            QStringLiteral("Kéo chuột để chọn vùng chụp  •  Esc để hủy"),
            [&](RegionResult result) {
                delivered = result;
                ++deliveries;
            },
            std::make_shared<platform::QtScreens>());
        EXPECT_TRUE(waitForOverlay());
        drive();
        e2e::waitUntil([&] { return deliveries > 0; }, std::chrono::seconds(5));
        QTest::qWait(100);
        EXPECT_LE(deliveries, 1);
        return delivered;
    }

    std::optional<QImage> screenshot(QPoint from, QPoint to) {
        CaptureService service(std::make_shared<HistoryDatabase>(home.path()));
        std::optional<QImage> image;
        bool completed = false;
        service.takeScreenshot([&](std::optional<QImage> result) {
            image = std::move(result);
            completed = true;
        });
        EXPECT_TRUE(waitForOverlay());
        dragOnRoot(from, to);
        EXPECT_TRUE(e2e::waitUntil([&] { return completed; }));
        return image;
    }

    QTemporaryDir home;
};

}  // namespace

TEST_F(RegionCaptureTest, EveryScreenMatchesTheCaptureDisplayAtItsPlace) {
    const platform::ScreenLayout layout = platform::QtScreens().layout();
    const auto displays = platform::X11ScreenCapture().displays();
    ASSERT_TRUE(displays.ok());
    ASSERT_EQ(layout.screens.size(), 2u);
    ASSERT_EQ(displays.value().size(), 2u);
    const auto a = matchDisplay(layout.screens[0], displays.value());
    const auto b = matchDisplay(layout.screens[1], displays.value());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->pixelGeometry, QRect(0, 120, 1920, 1080));
    EXPECT_EQ(b->pixelGeometry, QRect(1920, 0, 1280, 1024));
    EXPECT_EQ(b->frame, layout.screens[1].frame);
}

TEST_F(RegionCaptureTest, DragDeliversGlobalRectAndTheScreenOnEitherMonitor) {
    const auto onA = select([] { dragOnRoot({700, 650}, {300, 400}); });
    ASSERT_TRUE(onA && onA->rect && onA->screen);
    EXPECT_EQ(*onA->rect, QRectF(300, 550, 400, 250));
    EXPECT_EQ(onA->screen->name, "A");
    EXPECT_EQ(onA->screen->frame, QRectF(0, 0, 1920, 1080));

    const auto onB = select([] { dragOnRoot({2000, 100}, {2400, 300}); });
    ASSERT_TRUE(onB && onB->rect && onB->screen);
    EXPECT_EQ(*onB->rect, QRectF(2000, 900, 400, 200));
    EXPECT_EQ(onB->screen->name, "B");
    EXPECT_EQ(onB->screen->frame, QRectF(1920, 176, 1280, 1024));
}

TEST_F(RegionCaptureTest, DragLeavingItsScreenStopsAtThatScreensEdge) {
    const auto result = select([] { dragOnRoot({1700, 900}, {2300, 1150}); });
    ASSERT_TRUE(result && result->rect);
    EXPECT_EQ(*result->rect, QRectF(1700, 50, 220, 250));
    EXPECT_EQ(result->screen->name, "A");
}

TEST_F(RegionCaptureTest, DragFromTheGapIsIgnoredAndEscapeTwiceCancelsOnce) {
    const auto result = select([] {
        dragOnRoot({100, 50}, {400, 400});
        ASSERT_NE(shownOverlay(), nullptr);
        xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
        xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    });
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->rect.has_value());
    EXPECT_FALSE(result->screen.has_value());
    EXPECT_EQ(shownOverlay(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(RegionCaptureTest, ScreenshotHoldsExactlyThePatternUnderTheRegionOnBothMonitors) {
    // Ending the drag inside the region puts the pointer over captured pixels.
    const auto onA = screenshot({900, 700}, {500, 300});
    ASSERT_TRUE(onA.has_value());
    EXPECT_EQ(onA->deviceIndependentSize(), QSizeF(400, 400));
    EXPECT_EQ(differingPixels(*onA, QRect(500, 300, 400, 400)), 0);

    const auto onB = screenshot({2100, 50}, {2700, 350});
    ASSERT_TRUE(onB.has_value());
    EXPECT_EQ(differingPixels(*onB, QRect(2100, 50, 600, 300)), 0);
}

TEST_F(RegionCaptureTest, MonitorRemovedBeforeTheCaptureReportsItGoneAndCompletesOnce) {
    CaptureService service(std::make_shared<HistoryDatabase>(home.path()));
    QStringList statuses;
    service.onStatus = [&](const QString& text) { statuses << text; };
    int completions = 0;
    std::optional<QImage> image;
    service.takeScreenshot([&](std::optional<QImage> result) {
        image = std::move(result);
        ++completions;
    });
    ASSERT_TRUE(waitForOverlay());
    moveTo({2100, 100});
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    moveTo({2500, 400});
    ASSERT_EQ(e2e::runTool(QStringLiteral("xrandr"),
                           {QStringLiteral("--delmonitor"), QStringLiteral("B")})
                  .exitCode,
              0);
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    ASSERT_TRUE(e2e::waitUntil([&] { return completions > 0; }));
    QTest::qWait(300);
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(image.has_value());
    EXPECT_EQ(statuses.last(), "Không thể chụp màn hình: Không tìm thấy màn hình đã chọn");
}

TEST_F(RegionCaptureTest, OverlayDuringADragIsSavedForAPersonToLookAt) {
    EXPECT_TRUE(overlayShowsSelection({400, 400}, {1000, 800}, "region-selector-drag"));
    EXPECT_TRUE(overlayShowsSelection({2100, 100}, {2700, 500}, "region-selector-drag-right"));
}

// Qt fixes its scale factor when the application starts, so this case runs in a child
// process of this binary (with its own X server) started with a scale factor of 2.
TEST_F(RegionCaptureTest, AtScaleTwoTheImageHasTwiceThePixelsAndTheSameSizeInPoints) {
    if (qEnvironmentVariable("QT_SCREEN_SCALE_FACTORS") != QStringLiteral("2;2")) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_SCREEN_SCALE_FACTORS"), QStringLiteral("2;2"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=RegionCaptureTest."
                                    "AtScaleTwoTheImageHasTwiceThePixelsAndTheSameSizeInPoints")});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QByteArray output = child.readAll();
        EXPECT_EQ(child.exitCode(), 0) << output.constData();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
        return;
    }
    ASSERT_EQ(QGuiApplication::primaryScreen()->devicePixelRatio(), 2.0);
    const auto onA = screenshot({200, 320}, {800, 720});
    ASSERT_TRUE(onA.has_value());
    EXPECT_EQ(onA->size(), QSize(600, 400));
    EXPECT_EQ(onA->deviceIndependentSize(), QSizeF(300, 200));
    EXPECT_EQ(differingPixels(*onA, QRect(200, 320, 600, 400)), 0);

    const auto onB = screenshot({2100, 50}, {2700, 350});
    ASSERT_TRUE(onB.has_value());
    EXPECT_EQ(onB->size(), QSize(600, 300));
    EXPECT_EQ(onB->deviceIndependentSize(), QSizeF(300, 150));
    EXPECT_EQ(differingPixels(*onB, QRect(2100, 50, 600, 300)), 0);

    EXPECT_TRUE(overlayShowsSelection({400, 400}, {1000, 800}, "region-selector-drag-scale2"));
    EXPECT_TRUE(
        overlayShowsSelection({2100, 100}, {2700, 500}, "region-selector-drag-right-scale2"));
}
