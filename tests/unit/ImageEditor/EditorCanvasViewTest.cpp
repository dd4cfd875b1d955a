#include "main/ImageEditor/EditorCanvasView.h"

#include <gtest/gtest.h>
#include <QFontMetricsF>
#include <QPainter>
#include <QTest>
#include <cmath>
#include <numbers>

namespace {

constexpr QRgb white = 0xffffffff;
constexpr QRgb blue = 0xff0000ff;
constexpr QRgb green = 0xff00ff00;

QImage blank(int width, int height, qreal ratio = 1.0, QColor colour = Qt::white) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    image.setDevicePixelRatio(ratio);
    return image;
}

QImage pattern(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb((x * 7) & 0xff, (y * 5) & 0xff, (x + y) & 0xff));
        }
    }
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
        setInsertImage(blank(10, 10, 1, Qt::green));
    }
    // Answers the view as it is before the button is released.
    QImage drag(QPoint from, QPoint to, int moves = 4) {
        QTest::mousePress(this, Qt::LeftButton, {}, from);
        for (int move = 1; move <= moves; ++move) {
            QTest::mouseMove(this, from + (to - from) * move / moves);
        }
        const QImage held = grab().toImage();
        QTest::mouseRelease(this, Qt::LeftButton, {}, to);
        return held;
    }
    void click(QPoint at) { drag(at, at, 0); }
    std::size_t steps() const { return document().undoCount(); }
};

bool inked(QRgb pixel) {
    return qRed(pixel) < 128 && qGreen(pixel) < 128;
}

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
    // is 12 long at width 2 and 16 at width 4.
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
        {arrow, 2, 2, {40, 200}, {240, 200}, 1, barbs(10), barbs(16)},
        {arrow, 4, 2, {40, 200}, {240, 200}, 1, barbs(14), barbs(22)},
        {arrow, 4, 1, {10, 50}, {14, 50}, 1, {{12, 50}}, {}},
        {arrow, 4, 1, {10, 10}, {12, 12}, 0, {}, {{11, 11}}},
        {rectangle, 4, 1, {10, 10}, {12, 40}, 0, {}, {{10, 20}}},
        {insertImage, 4, 1, {10, 10}, {40, 12}, 0, {}, {{20, 10}}},
        {pixelate, 4, 1, {10, 10}, {40, 12}, 0, {}, {}},
    };
    for (const auto& gesture : gestures) {
        Canvas canvas(blank(200, 150), gesture.tool, gesture.width, gesture.zoom);
        canvas.drag(gesture.from, gesture.to, gesture.from == gesture.to ? 0 : 4);
        const QImage image = canvas.copyImage();
        const auto row = testing::Message() << int(gesture.tool) << " to " << gesture.to.x();
        EXPECT_EQ(image.size(), QSize(200, 150)) << row;
        EXPECT_EQ(canvas.steps(), gesture.steps) << row;
        for (const QPoint point : gesture.ink) {
            EXPECT_TRUE(inked(image.pixel(point))) << row << " at " << point.x();
        }
        for (const QPoint point : gesture.clean) {
            EXPECT_EQ(image.pixel(point), white) << row << " at " << point.x();
        }
    }
}

TEST(EditorCanvasView, PreviewsScaleWithZoomAndStayAtLeastOnePointWideAndPicturesLandOpaque) {
    // Width 4 at 200 % previews 8 points wide with a 32-point head.
    Canvas arrow(blank(200, 150), EditTool::arrow, 4, 2);
    QImage view = arrow.drag({40, 200}, {240, 200}, 1);
    EXPECT_TRUE(inked(view.pixel(150, 203)));
    EXPECT_FALSE(inked(view.pixel(150, 206)));
    EXPECT_TRUE(inked(view.pixel(along({240, 200}, 1, 28))));
    EXPECT_FALSE(inked(view.pixel(along({240, 200}, 1, 40))));

    // Width 2 at 25 %: coverage summed across the two rows the edge straddles is one point.
    Canvas thin(blank(400, 400), EditTool::rectangle, 2, 0.25);
    view = thin.drag({10, 10}, {80, 80}, 1);
    EXPECT_NEAR(510 - qRed(view.pixel(45, 9)) - qRed(view.pixel(45, 10)), 255, 20);

    // The picture to insert lands stretched and opaque without the preview's outline; the tool
    // stays for the next one.
    Canvas insert(blank(200, 150), EditTool::insertImage);
    EXPECT_EQ(insert.drag({20, 20}, {120, 40}, 1).pixel(70, 20), blue);
    insert.drag({20, 100}, {40, 140});
    const QImage image = insert.copyImage();
    for (const QPoint inside : {QPoint(20, 20), QPoint(119, 39), QPoint(70, 20), QPoint(30, 120)}) {
        EXPECT_EQ(image.pixel(inside), green) << inside.x() << "," << inside.y();
    }
    EXPECT_EQ(QList({image.pixel(121, 30), image.pixel(70, 18)}), QList({white, white}));
    EXPECT_EQ(insert.steps(), 2u);
}

TEST(EditorCanvasView, MarkerIsTranslucentAndFourTimesWide) {
    QImage image = blank(700, 300);
    QPainter(&image).fillRect(100, 0, 100, 300, Qt::black);
    Canvas canvas(image, EditTool::marker);
    canvas.setColor(Qt::yellow);
    canvas.drag({10, 150}, {690, 150}, 8);
    const QImage marked = canvas.copyImage();
    EXPECT_NEAR(qRed(marked.pixel(150, 150)), 77, 4);
    EXPECT_NEAR(qBlue(marked.pixel(150, 150)), 0, 4);
    EXPECT_NEAR(qRed(marked.pixel(680, 150)), 255, 2);
    EXPECT_NEAR(qBlue(marked.pixel(680, 150)), 178, 4);
    // Width 4 × 4: half-width 8 either side of the line.
    EXPECT_NE(marked.pixel(680, 156), white);
    EXPECT_EQ(marked.pixel(680, 160), white);
}

TEST(EditorCanvasView, TextIsSixTimesTheWidthTallAndEmptyOrCancelledTextLeavesNoStep) {
    for (const auto& [width, size] : {std::pair{2.0, 18}, std::pair{24.0, 144}}) {
        Canvas canvas(blank(600, 300), EditTool::text, width);
        canvas.click({30, 250});
        const QRect glyph = inkBounds(canvas.copyImage());
        const QFontMetricsF metrics = semibold(size);
        EXPECT_NEAR(glyph.height(), metrics.tightBoundingRect("H").height(), 3) << size;
        // The press is the lower-left corner of the line: the baseline sits a descent above.
        EXPECT_NEAR(glyph.bottom() + 1, 250 - metrics.descent(), 2) << size;
        EXPECT_NEAR(glyph.left(), 30 + metrics.leftBearing('H'), 3) << size;
    }
    for (const auto& [answer, steps] : {std::pair{std::optional<QString>(), 0u},
                                        {std::optional(QString()), 0u},
                                        {std::optional(QStringLiteral("   ")), 1u}}) {
        Canvas canvas(blank(100, 100), EditTool::text, 4, 1, answering(answer));
        canvas.click({20, 50});
        EXPECT_EQ(canvas.steps(), steps);
        EXPECT_EQ(inkBounds(canvas.copyImage()), QRect());
    }
}

TEST(EditorCanvasView, PixelateFillsSquareBlocksInsideTheRectangleOnly) {
    for (const auto& [width, block] : {std::pair{4.0, 12}, std::pair{2.0, 8}}) {
        const QImage original = pattern(200, 150);
        Canvas canvas(original, EditTool::pixelate, width);
        canvas.drag({30, 30}, {100, 90});
        const QImage result = canvas.copyImage();
        const QRect area(30, 30, 70, 60);
        for (int y = 0; y < 150; ++y) {
            for (int x = 0; x < 200; ++x) {
                const QPoint first(std::max(x / block * block, area.left()),
                                   std::max(y / block * block, area.top()));
                ASSERT_EQ(result.pixel(x, y),
                          area.contains(x, y) ? result.pixel(first) : original.pixel(x, y))
                    << x << "," << y;
            }
        }
        const int edge = (area.left() / block + 2) * block;
        EXPECT_NE(result.pixel(edge - 1, 60), result.pixel(edge, 60));
    }
}

TEST(EditorCanvasView, CropAtOneFiftyKeepsZoomStopsAtTheEdgeAndUndoRestoresSizeAndFrame) {
    const QImage original = pattern(200, 150);
    Canvas canvas(original, EditTool::crop, 4, 1.5);
    EXPECT_EQ(canvas.size(), QSize(300, 225));
    canvas.drag({30, 60}, {180, 210});
    ASSERT_EQ(canvas.copyImage().size(), QSize(100, 100));
    EXPECT_EQ(canvas.copyImage().pixel(0, 0), original.pixel(20, 40));
    EXPECT_EQ(canvas.frameSize(), QSizeF(150, 150));
    EXPECT_EQ(canvas.zoom(), 1.5);
    canvas.undo();
    EXPECT_EQ(canvas.size(), QSize(300, 225));
    canvas.redo();
    EXPECT_EQ(canvas.copyImage().size(), QSize(100, 100));

    canvas.undo();
    canvas.drag({225, 150}, {750, 600});
    ASSERT_EQ(canvas.copyImage().size(), QSize(50, 50));
    EXPECT_EQ(canvas.copyImage().pixel(49, 49), original.pixel(199, 149));
}

TEST(EditorCanvasView, ThirtyOneEditsLeaveThirtyUnchangedStepsAndANewEditClearsRedo) {
    Canvas canvas(blank(100, 100), EditTool::pen);
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

TEST(EditorCanvasView, TinyImagesKeepAOnePointFrameAndSurviveGestures) {
    Canvas dot(blank(1, 1), EditTool::pen);
    EXPECT_EQ(dot.frameSize(), QSizeF(1, 1));
    for (const EditTool tool : {EditTool::pen, EditTool::rectangle, EditTool::crop,
                                EditTool::pixelate, EditTool::arrow}) {
        dot.setTool(tool);
        dot.drag({1, 1}, {30, 30});
    }
    EXPECT_EQ(dot.copyImage().size(), QSize(1, 1));

    Canvas narrow(blank(3, 40), EditTool::crop, 4, 0.25);
    EXPECT_EQ(narrow.size(), QSize(1, 10));
    narrow.drag({1, 1}, {50, 50});
    EXPECT_EQ(narrow.steps(), 0u);
}

TEST(EditorCanvasView, DoubleDensityImagesDrawInUnitsAtFullResolution) {
    Canvas canvas(blank(200, 150, 2), EditTool::rectangle, 2);
    EXPECT_EQ(canvas.size(), QSize(100, 75));
    canvas.drag({10, 10}, {60, 50});
    const QImage image = canvas.copyImage();
    EXPECT_EQ(image.size(), QSize(200, 150));
    EXPECT_EQ(image.devicePixelRatio(), 2.0);
    // The left edge at x = 10 units is 2 units wide: bitmap columns 18 to 21, in the colour.
    EXPECT_EQ(
        QList({image.pixel(17, 60), image.pixel(18, 60), image.pixel(21, 60), image.pixel(22, 60)}),
        QList({white, blue, blue, white}));

    // Text of 18 units stands 36 bitmap pixels tall.
    Canvas written(blank(400, 200, 2), EditTool::text, 2);
    written.click({20, 80});
    const QImage text = written.copyImage();
    const QRect glyph = inkBounds(text);
    EXPECT_NEAR(glyph.height(), semibold(36).tightBoundingRect("H").height(), 3);
    // A glyph drawn at 1x and enlarged shows either soft edges two pixels wide (smooth) or
    // nothing but uniform 2 x 2 blocks (fast); one drawn at full resolution shows neither.
    int partial = 0;
    for (int x = glyph.left(); x <= glyph.right(); ++x) {
        const QRgb pixel = text.pixel(x, glyph.top() + glyph.height() / 4);
        partial += (pixel != white && qRed(pixel) > 40) ? 1 : 0;
    }
    EXPECT_LE(partial, 8);
    bool finerThanBlocks = false;
    for (int y = glyph.top() / 2 * 2; y < glyph.bottom(); y += 2) {
        for (int x = glyph.left() / 2 * 2; x < glyph.right(); x += 2) {
            const QRgb corner = text.pixel(x, y);
            finerThanBlocks = finerThanBlocks || text.pixel(x + 1, y) != corner ||
                              text.pixel(x, y + 1) != corner || text.pixel(x + 1, y + 1) != corner;
        }
    }
    EXPECT_TRUE(finerThanBlocks);

    QImage dense = pattern(200, 150);
    dense.setDevicePixelRatio(2.0);
    Canvas doubled(dense, EditTool::pixelate);
    doubled.drag({6, 6}, {60, 60});
    const QImage result = doubled.copyImage();
    // Blocks of 12 bitmap pixels, not 12 units.
    EXPECT_EQ(result.pixel(24, 24), result.pixel(35, 35));
    EXPECT_NE(result.pixel(35, 35), result.pixel(36, 36));
}
