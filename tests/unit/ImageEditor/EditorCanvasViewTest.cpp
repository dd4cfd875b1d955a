#include "main/ImageEditor/EditorCanvasView.h"

#include <gtest/gtest.h>
#include <QFontMetricsF>
#include <QTest>
#include <cmath>
#include <numbers>

namespace {

constexpr QRgb white = 0xffffffff;

// White, or a pattern in which neighbouring pixels differ, at the pixel ratio given.
QImage picture(int width, int height, qreal ratio = 1.0, bool patterned = false) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    for (int y = 0; patterned && y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb((x * 7) & 0xff, (y * 5) & 0xff, (x + y) & 0xff));
        }
    }
    image.setDevicePixelRatio(ratio);
    return image;
}

TextPrompt answering(std::optional<QString> answer) {
    return [answer](QWidget*) { return answer; };
}

// A canvas drawing in blue with the tool, width and zoom given, driven by real mouse events
// in its own top-down widget points.
struct Canvas : EditorCanvasView {
    Canvas(const QImage& image, EditTool tool, qreal width = 4, qreal zoom = 1,
           TextPrompt prompt = answering(QStringLiteral("H")))
        : EditorCanvasView(image, std::move(prompt)) {
        setTool(tool);
        setLineWidth(width);
        setZoom(zoom);
        updateFrame();
        setColor(Qt::blue);
    }
    void drag(QPoint from, QPoint to, int moves = 4) {
        QTest::mousePress(this, Qt::LeftButton, {}, from);
        for (int move = 1; move <= moves; ++move) {
            QTest::mouseMove(this, from + (to - from) * move / moves);
        }
        QTest::mouseRelease(this, Qt::LeftButton, {}, to);
    }
    std::size_t steps() const { return document().undoCount(); }
};

// Rows and columns holding non-white pixels.
QRect inkBounds(const QImage& image) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            bounds |= image.pixel(x, y) != white ? QRect(x, y, 1, 1) : QRect();
        }
    }
    return bounds;
}

// A point on an arrow's barb, `distance` back from the tip.
QPoint along(QPointF tip, qreal side, qreal distance) {
    const qreal angle = side * std::numbers::pi / 6;
    return (tip - QPointF(distance * std::cos(angle), distance * std::sin(angle))).toPoint();
}

QFontMetricsF semibold(int pixelSize) {
    QFont font;
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::DemiBold);
    return QFontMetricsF(font);
}

}  // namespace

TEST(EditorCanvasView, EachToolCommitsItsShapeInImageUnitsWhateverTheZoomOrRefusesTinyOnes) {
    // At 200 % the arrow runs in the image from (20, 100) to its tip at (120, 100); its head
    // is 16 long at width 4. The marker is four times as wide as its width.
    const auto barbs = [](qreal distance) {
        return std::vector{along({120, 100}, -1, distance), along({120, 100}, 1, distance)};
    };
    using enum EditTool;
    const struct {
        EditTool tool;
        qreal width, zoom;
        QPoint from, to;
        std::size_t steps;
        std::vector<QPoint> ink, clean;
    } gestures[] = {
        {rectangle, 4, 1, {20, 30}, {120, 100}, 1, {{19, 60}, {70, 101}}, {{70, 65}, {123, 60}}},
        {ellipse, 4, 1, {20, 20}, {180, 120}, 1, {{20, 70}, {100, 119}}, {{24, 24}, {100, 70}}},
        {pen, 4, 1, {10, 10}, {90, 10}, 1, {{50, 10}}, {{50, 20}}},
        {pen, 4, 1, {50, 50}, {50, 50}, 1, {}, {{50, 50}}},
        {marker, 4, 1, {10, 50}, {190, 50}, 1, {{100, 50}, {100, 56}}, {{100, 60}}},
        {arrow, 4, 2, {40, 200}, {240, 200}, 1, barbs(14), barbs(22)},
        {arrow, 4, 1, {10, 50}, {14, 50}, 1, {{12, 50}}, {}},
        {arrow, 4, 1, {10, 10}, {12, 12}, 0, {}, {{11, 11}}},
        {rectangle, 4, 1, {10, 10}, {12, 40}, 0, {}, {{10, 20}}},
        {pixelate, 4, 1, {10, 10}, {40, 12}, 0, {}, {}},
    };
    for (const auto& gesture : gestures) {
        Canvas canvas(picture(200, 150), gesture.tool, gesture.width, gesture.zoom);
        canvas.drag(gesture.from, gesture.to, gesture.from == gesture.to ? 0 : 4);
        const QImage image = canvas.copyImage();
        const auto row = testing::Message() << int(gesture.tool) << " to " << gesture.to.x();
        EXPECT_EQ(canvas.steps(), gesture.steps) << row;
        for (const QPoint point : gesture.ink) {
            EXPECT_NE(image.pixel(point), white) << row << " at " << point.x();
        }
        for (const QPoint point : gesture.clean) {
            EXPECT_EQ(image.pixel(point), white) << row << " at " << point.x();
        }
    }
}

TEST(EditorCanvasView, TextIsSixTimesTheWidthTallAtFullResolution) {
    Canvas large(picture(600, 300), EditTool::text, 24);
    large.drag({30, 250}, {30, 250}, 0);
    const QRect bounds = inkBounds(large.copyImage());
    const QFontMetricsF metrics = semibold(144);
    EXPECT_NEAR(bounds.height(), metrics.tightBoundingRect("H").height(), 3);
    // The press is the lower-left corner of the line: the baseline sits a descent above.
    EXPECT_NEAR(bounds.bottom() + 1, 250 - metrics.descent(), 2);
    // Text of 18 units stands 36 bitmap pixels tall. A glyph drawn at 1x and enlarged shows
    // either soft edges two pixels wide (smooth) or nothing but uniform 2 x 2 blocks (fast); one
    // drawn at full resolution shows neither.
    Canvas written(picture(400, 200, 2), EditTool::text, 2);
    written.drag({20, 80}, {20, 80}, 0);
    const QImage text = written.copyImage();
    const QRect glyph = inkBounds(text);
    EXPECT_NEAR(glyph.height(), semibold(36).tightBoundingRect("H").height(), 3);
    int partial = 0;
    bool finerThanBlocks = false;
    for (int x = glyph.left() / 2 * 2; x <= glyph.right(); ++x) {
        const QRgb pixel = text.pixel(x, glyph.top() + glyph.height() / 4);
        partial += pixel != white && qRed(pixel) > 40;
        for (int y = glyph.top() / 2 * 2; x % 2 == 0 && y < glyph.bottom(); y += 2) {
            const QRgb corner = text.pixel(x, y);
            finerThanBlocks =
                finerThanBlocks || text.pixel(x + 1, y) != corner || text.pixel(x, y + 1) != corner;
        }
    }
    EXPECT_LE(partial, 8);
    EXPECT_TRUE(finerThanBlocks);
}

TEST(EditorCanvasView, PixelateFillsSquareBlocksOfBitmapPixelsInsideTheRectangleOnly) {
    const QImage original = picture(200, 150, 1, true);
    Canvas canvas(original, EditTool::pixelate, 2);
    canvas.drag({30, 30}, {100, 90});
    const QImage result = canvas.copyImage();
    const QRect area(30, 30, 70, 60);
    for (int y = 0; y < 150; ++y) {
        for (int x = 0; x < 200; ++x) {
            const QPoint first(std::max(x / 8 * 8, area.left()), std::max(y / 8 * 8, area.top()));
            ASSERT_EQ(result.pixel(x, y),
                      area.contains(x, y) ? result.pixel(first) : original.pixel(x, y))
                << x << "," << y;
        }
    }
    EXPECT_NE(result.pixel(39, 60), result.pixel(40, 60));
    // On a double-density image the blocks are 12 bitmap pixels, not 12 units.
    Canvas doubled(picture(200, 150, 2, true), EditTool::pixelate);
    doubled.drag({6, 6}, {60, 60});
    const QImage dense = doubled.copyImage();
    EXPECT_EQ(dense.pixel(24, 24), dense.pixel(35, 35));
    EXPECT_NE(dense.pixel(35, 35), dense.pixel(36, 36));
}

TEST(EditorCanvasView, CropAtOneFiftyKeepsZoomStopsAtTheEdgeAndUndoRestoresSizeAndFrame) {
    const QImage original = picture(200, 150, 1, true);
    Canvas canvas(original, EditTool::crop, 4, 1.5);
    canvas.drag({30, 60}, {180, 210});
    ASSERT_EQ(canvas.copyImage().size(), QSize(100, 100));
    EXPECT_EQ(canvas.copyImage().pixel(0, 0), original.pixel(20, 40));
    EXPECT_EQ(canvas.size(), QSize(150, 150));
    canvas.undo();
    EXPECT_EQ(canvas.size(), QSize(300, 225));
    canvas.drag({225, 150}, {750, 600});
    ASSERT_EQ(canvas.copyImage().size(), QSize(50, 50));
    EXPECT_EQ(canvas.copyImage().pixel(49, 49), original.pixel(199, 149));
}

TEST(EditorCanvasView, ThirtyOneEditsLeaveThirtyUnchangedStepsAndANewEditClearsRedo) {
    Canvas canvas(picture(100, 100), EditTool::pen);
    canvas.drag({10, 3}, {90, 3});
    const QImage afterFirst = canvas.copyImage();
    for (int edit = 1; edit < 31; ++edit) {
        canvas.drag({10, 3 + 3 * edit}, {90, 3 + 3 * edit});
    }
    const QImage last = canvas.copyImage();
    EXPECT_EQ(canvas.steps(), 30u);
    for (int step = 0; step < 40; ++step) {
        canvas.undo();
    }
    // Strokes are painted into shared pixels: none may reach the snapshots taken before them.
    EXPECT_EQ(canvas.copyImage(), afterFirst);
    for (int step = 0; step < 30; ++step) {
        canvas.redo();
    }
    EXPECT_EQ(canvas.copyImage(), last);
    canvas.undo();
    canvas.drag({50, 50}, {90, 90});
    EXPECT_EQ(canvas.document().redoCount(), 0u);
}
