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
#include <algorithm>

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

// Drags with the real pointer, in root-window pixels, the way a person would. Given a name,
// it also saves a picture of the screen mid-drag for a person to look at, and checks that
// the overlay shows the desktop undimmed inside the selection and dimmed just outside it.
void dragOnRoot(QPoint from, QPoint to, const QString& pictureName = {}) {
    moveTo(from);
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    moveTo((from + to) / 2);
    moveTo(to);
    if (!pictureName.isEmpty()) {
        const QPoint inside = (from + to) / 2;
        const QPoint outside(std::min(from.x(), to.x()) - 20, inside.y());
        // Taken again until the overlay has painted the drag.
        EXPECT_TRUE(e2e::waitUntil([&] {
            const QImage picture(e2e::saveScreenPicture(pictureName));
            return !picture.isNull() &&
                   picture.pixel(inside) == e2e::positionColour(inside.x(), inside.y()) &&
                   qRed(picture.pixel(outside)) <
                       qRed(e2e::positionColour(outside.x(), outside.y()));
        }));
    }
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
}

// How many pixels differ from the pattern on the root under the rectangle, sizes equal.
int differingPixels(const QImage& captured, const QRect& rootPixels) {
    EXPECT_EQ(captured.size(), rootPixels.size());
    const QImage pixels = captured.convertToFormat(QImage::Format_RGB32);
    int differing = 0;
    for (int y = 0; y < std::min(pixels.height(), rootPixels.height()); ++y) {
        for (int x = 0; x < std::min(pixels.width(), rootPixels.width()); ++x) {
            differing +=
                pixels.pixel(x, y) != e2e::positionColour(rootPixels.x() + x, rootPixels.y() + y);
        }
    }
    return differing;
}

class RegionCaptureTest : public testing::Test {
  protected:
    void SetUp() override { e2e::showOnRoot(e2e::positionPattern()); }

    std::optional<RegionResult> select(const std::function<void()>& drive) {
        std::optional<RegionResult> delivered;
        int deliveries = 0;
        const auto selector = RegionSelectorController::create(
            QStringLiteral("Kéo chuột để chọn vùng chụp  •  Esc để hủy"),
            [&](RegionResult result) {
                delivered = result;
                ++deliveries;
            },
            std::make_shared<platform::QtScreens>());
        EXPECT_TRUE(e2e::waitUntil([] { return shownOverlay() != nullptr; }));
        drive();
        e2e::waitUntil([&] { return deliveries > 0; }, std::chrono::seconds(5));
        QTest::qWait(100);
        EXPECT_LE(deliveries, 1);
        return delivered;
    }

    // Takes a screenshot through the real service, dragging with the real pointer.
    std::optional<QImage> screenshot(const std::function<void()>& drive) {
        CaptureService service(std::make_shared<HistoryDatabase>(home.path()));
        service.onStatus = [&](const QString& text) { statuses << text; };
        std::optional<QImage> image;
        int completions = 0;
        service.takeScreenshot([&](std::optional<QImage> result) {
            image = std::move(result);
            ++completions;
        });
        EXPECT_TRUE(e2e::waitUntil([] { return shownOverlay() != nullptr; }));
        drive();
        EXPECT_TRUE(e2e::waitUntil([&] { return completions > 0; }));
        QTest::qWait(300);
        EXPECT_EQ(completions, 1);
        return image;
    }

    QTemporaryDir home;
    QStringList statuses;
};

}  // namespace

TEST_F(RegionCaptureTest, DragsDeliverGlobalRectsOnEitherMonitorClampedToTheirScreen) {
    const auto onA = select([] { dragOnRoot({700, 650}, {300, 400}, "region-selector-drag"); });
    ASSERT_TRUE(onA && onA->rect && onA->screen);
    EXPECT_EQ(*onA->rect, QRectF(300, 550, 400, 250));
    EXPECT_EQ(onA->screen->name, "A");
    EXPECT_EQ(onA->screen->frame, QRectF(0, 0, 1920, 1080));

    const auto onB = select([] {
        dragOnRoot({2000, 100}, {2400, 300}, "region-selector-drag-right");
    });
    ASSERT_TRUE(onB && onB->rect && onB->screen);
    EXPECT_EQ(*onB->rect, QRectF(2000, 900, 400, 200));
    EXPECT_EQ(onB->screen->name, "B");
    EXPECT_EQ(onB->screen->frame, QRectF(1920, 176, 1280, 1024));

    const auto clamped = select([] { dragOnRoot({1700, 900}, {2300, 1150}); });
    ASSERT_TRUE(clamped && clamped->rect && clamped->screen);
    EXPECT_EQ(*clamped->rect, QRectF(1700, 50, 220, 250));
    EXPECT_EQ(clamped->screen->name, "A");
}

TEST_F(RegionCaptureTest, DragFromTheGapIsIgnoredAndEscapeTwiceCancelsOnce) {
    const auto result = select([] {
        dragOnRoot({100, 50}, {400, 400});
        ASSERT_NE(shownOverlay(), nullptr);
        xdotool({QStringLiteral("key"), QStringLiteral("Escape"), QStringLiteral("Escape")});
    });
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->rect.has_value());
    EXPECT_EQ(shownOverlay(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(RegionCaptureTest, ScreenshotHoldsExactlyThePatternUnderTheRegionOnBothMonitors) {
    // Ending the drag inside the region puts the pointer over captured pixels.
    const auto onA = screenshot([] { dragOnRoot({900, 700}, {500, 300}); });
    ASSERT_TRUE(onA.has_value());
    EXPECT_EQ(onA->deviceIndependentSize(), QSizeF(400, 400));
    EXPECT_EQ(differingPixels(*onA, QRect(500, 300, 400, 400)), 0);

    const auto onB = screenshot([] { dragOnRoot({2100, 50}, {2700, 350}); });
    ASSERT_TRUE(onB.has_value());
    EXPECT_EQ(differingPixels(*onB, QRect(2100, 50, 600, 300)), 0);
}

TEST_F(RegionCaptureTest, MonitorRemovedBeforeTheCaptureReportsItGoneAndCompletesOnce) {
    const auto image = screenshot([] {
        moveTo({2100, 100});
        xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
        moveTo({2500, 400});
        ASSERT_EQ(e2e::runTool(QStringLiteral("xrandr"),
                               {QStringLiteral("--delmonitor"), QStringLiteral("B")})
                      .exitCode,
                  0);
        xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    });
    EXPECT_FALSE(image.has_value());
    EXPECT_EQ(statuses.last(), "Không thể chụp màn hình: Không tìm thấy màn hình đã chọn");
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
    const auto onA = screenshot([] {
        dragOnRoot({200, 320}, {800, 720}, "region-selector-drag-scale2");
    });
    ASSERT_TRUE(onA.has_value());
    EXPECT_EQ(onA->deviceIndependentSize(), QSizeF(300, 200));
    EXPECT_EQ(differingPixels(*onA, QRect(200, 320, 600, 400)), 0);

    const auto onB = screenshot([] {
        dragOnRoot({2100, 50}, {2700, 350}, "region-selector-drag-right-scale2");
    });
    ASSERT_TRUE(onB.has_value());
    EXPECT_EQ(onB->deviceIndependentSize(), QSizeF(300, 150));
    EXPECT_EQ(differingPixels(*onB, QRect(2100, 50, 600, 300)), 0);
}
