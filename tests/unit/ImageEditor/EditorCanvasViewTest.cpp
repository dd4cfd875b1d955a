#include "main/ImageEditor/EditorCanvasView.h"

#include "main/ImageEditor/TextTool.h"

#include <gtest/gtest.h>
#include <QFontMetricsF>
#include <QTest>
#include <cmath>
#include <numbers>

namespace {

constexpr QRgb white = 0xffffffff;

QImage blank(int width, int height, qreal ratio = 1.0) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
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

// Press, a few drag events and release, in the canvas's own (top-down) widget points.
void drag(QWidget* canvas, QPoint from, QPoint to, int steps = 4) {
    QTest::mousePress(canvas, Qt::LeftButton, {}, from);
    for (int step = 1; step <= steps; ++step) {
        QTest::mouseMove(canvas, from + (to - from) * step / steps);
    }
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
}

void click(QWidget* canvas, QPoint at) {
    QTest::mousePress(canvas, Qt::LeftButton, {}, at);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, at);
}

bool inked(QRgb pixel) {
    return qRed(pixel) < 128 && qGreen(pixel) < 128;
}

// Rows and columns holding non-white pixels.
QRect inkBounds(const QImage& image) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != white) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

TextPrompt answering(std::optional<QString> answer, int* asked = nullptr) {
    return [answer, asked](QWidget*) {
        if (asked) {
            ++*asked;
        }
        return answer;
    };
}

QPointF along(QPointF tip, qreal angle, qreal distance) {
    return tip - QPointF(distance * std::cos(angle), distance * std::sin(angle));
}

}  // namespace

TEST(EditorCanvasView, StartsWithPenRedWidthFourZoomOneAndImageSizedFrame) {
    EditorCanvasView canvas(blank(300, 200));
    EXPECT_EQ(canvas.tool(), EditTool::pen);
    EXPECT_EQ(canvas.color(), systemRed());
    EXPECT_EQ(canvas.lineWidth(), 4.0);
    EXPECT_EQ(canvas.zoom(), 1.0);
    EXPECT_EQ(canvas.size(), QSize(300, 200));
    EXPECT_EQ(canvas.document().undoCount(), 0u);
}

TEST(EditorCanvasView, RectangleAndEllipseCommitOutlinesOnlyInTheColour) {
    EditorCanvasView canvas(blank(200, 150));
    canvas.setColor(Qt::blue);
    canvas.setTool(EditTool::rectangle);
    drag(&canvas, QPoint(20, 30), QPoint(120, 100));
    QImage image = canvas.copyImage();
    EXPECT_EQ(image.pixel(19, 60), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(70, 101), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(70, 65), white);
    EXPECT_EQ(image.pixel(15, 60), white);
    EXPECT_EQ(image.pixel(123, 60), white);

    canvas.undo();
    canvas.setTool(EditTool::ellipse);
    drag(&canvas, QPoint(20, 20), QPoint(180, 120));
    image = canvas.copyImage();
    EXPECT_EQ(image.pixel(20, 70), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(100, 119), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(24, 24), white);
    EXPECT_EQ(image.pixel(100, 70), white);
    EXPECT_EQ(canvas.document().undoCount(), 1u);
}

TEST(EditorCanvasView, ArrowHeadsAtZoomTwoHundredHaveTheirLengthInImageUnits) {
    for (const auto& [width, headLength] : {std::pair{2.0, 12.0}, std::pair{4.0, 16.0}}) {
        EditorCanvasView canvas(blank(200, 150));
        canvas.setColor(Qt::blue);
        canvas.setZoom(2.0);
        canvas.updateFrame();
        canvas.setLineWidth(width);
        canvas.setTool(EditTool::arrow);
        drag(&canvas, QPoint(40, 200), QPoint(240, 200));
        const QImage image = canvas.copyImage();
        // In the image the arrow runs from (20, 100) to its tip at (120, 100).
        const QPointF tip(120, 100);
        for (const qreal side : {-1.0, 1.0}) {
            const qreal barb = side * std::numbers::pi / 6;
            const QPointF inside = along(tip, barb, headLength - 2);
            const QPointF beyond = along(tip, barb, headLength + width + 2);
            EXPECT_TRUE(inked(image.pixel(inside.toPoint()))) << width << " " << side;
            EXPECT_EQ(image.pixel(beyond.toPoint()), white) << width << " " << side;
        }
        EXPECT_EQ(canvas.copyImage().size(), QSize(200, 150));
    }
}

TEST(EditorCanvasView, ArrowPreviewAtZoomTwoHundredIsScaledToTheView) {
    EditorCanvasView canvas(blank(200, 150));
    canvas.setColor(Qt::blue);
    canvas.setZoom(2.0);
    canvas.updateFrame();
    canvas.setTool(EditTool::arrow);
    QTest::mousePress(&canvas, Qt::LeftButton, {}, QPoint(40, 200));
    QTest::mouseMove(&canvas, QPoint(240, 200));
    const QImage view = canvas.grab().toImage();
    QTest::mouseRelease(&canvas, Qt::LeftButton, {}, QPoint(240, 200));
    // Width 4 at 200 % previews 8 points wide with a 32-point head.
    EXPECT_TRUE(inked(view.pixel(150, 203)));
    EXPECT_FALSE(inked(view.pixel(150, 206)));
    const QPointF tip(240, 200);
    EXPECT_TRUE(inked(view.pixel(along(tip, std::numbers::pi / 6, 28).toPoint())));
    EXPECT_FALSE(inked(view.pixel(along(tip, std::numbers::pi / 6, 40).toPoint())));
}

TEST(EditorCanvasView, PreviewLineIsNeverThinnerThanOnePoint) {
    EditorCanvasView canvas(blank(400, 400));
    canvas.setColor(Qt::blue);
    canvas.setZoom(0.25);
    canvas.setLineWidth(2);
    canvas.updateFrame();
    canvas.setTool(EditTool::rectangle);
    QTest::mousePress(&canvas, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(&canvas, QPoint(80, 80));
    const QImage view = canvas.grab().toImage();
    QTest::mouseRelease(&canvas, Qt::LeftButton, {}, QPoint(80, 80));
    // Coverage summed across the two rows the edge straddles: one point, not half of one.
    const int covered = 510 - qRed(view.pixel(45, 9)) - qRed(view.pixel(45, 10));
    EXPECT_NEAR(covered, 255, 20);
}

TEST(EditorCanvasView, CropAndPixelatePreviewWhiteDashesOfSevenAndFive) {
    for (const EditTool tool : {EditTool::crop, EditTool::pixelate}) {
        QImage dark(200, 150, QImage::Format_RGB32);
        dark.fill(Qt::black);
        EditorCanvasView canvas(dark);
        canvas.setTool(tool);
        QTest::mousePress(&canvas, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseMove(&canvas, QPoint(180, 120));
        const QImage view = canvas.grab().toImage();
        QTest::mouseRelease(&canvas, Qt::LeftButton, {}, QPoint(20, 20));
        // Along the top edge from its left end: on 0 to 7, off 7 to 12, on again from 12.
        EXPECT_EQ(view.pixel(23, 20), white);
        EXPECT_EQ(view.pixel(29, 20), qRgb(0, 0, 0));
        EXPECT_EQ(view.pixel(35, 20), white);
        EXPECT_EQ(view.pixel(100, 70), qRgb(0, 0, 0));
    }
}

TEST(EditorCanvasView, MarkerOverTextStaysTranslucentAndIsFourTimesWide) {
    EditorCanvasView canvas(blank(700, 300), answering(QStringLiteral("HHHH")));
    canvas.setColor(Qt::black);
    canvas.setLineWidth(24);
    canvas.setTool(EditTool::text);
    click(&canvas, QPoint(20, 250));
    const QImage text = canvas.copyImage();
    const QRect written = inkBounds(text);
    ASSERT_FALSE(written.isEmpty());
    const int row = written.center().y();
    int stem = -1;
    for (int x = written.left(); x <= written.right() && stem < 0; ++x) {
        stem = text.pixel(x, row) == qRgb(0, 0, 0) ? x + 2 : -1;
    }
    ASSERT_GE(stem, 0);

    canvas.setColor(Qt::yellow);
    canvas.setLineWidth(4);
    canvas.setTool(EditTool::marker);
    drag(&canvas, QPoint(10, row), QPoint(690, row), 8);
    const QImage marked = canvas.copyImage();
    const QRgb overText = marked.pixel(stem, row);
    EXPECT_NEAR(qRed(overText), 77, 4);
    EXPECT_NEAR(qBlue(overText), 0, 4);
    const QRgb overPaper = marked.pixel(680, row);
    EXPECT_NEAR(qBlue(overPaper), 178, 4);
    EXPECT_NEAR(qRed(overPaper), 255, 2);
    // Width 4 × 4: half-width 8 either side of the line.
    EXPECT_NE(marked.pixel(680, row + 6), white);
    EXPECT_EQ(marked.pixel(680, row + 10), white);
}

TEST(EditorCanvasView, TextSizeIsSixTimesTheWidthAndNeverUnderEighteen) {
    EXPECT_EQ(textFontSize(2), 18);
    EXPECT_EQ(textFontSize(4), 24);
    EXPECT_EQ(textFontSize(24), 144);
    for (const auto& [width, size] : {std::pair{2.0, 18}, std::pair{24.0, 144}}) {
        EditorCanvasView canvas(blank(600, 300), answering(QStringLiteral("H")));
        canvas.setColor(Qt::black);
        canvas.setLineWidth(width);
        canvas.setTool(EditTool::text);
        click(&canvas, QPoint(30, 250));
        const QRect glyph = inkBounds(canvas.copyImage());
        QFont font;
        font.setPixelSize(size);
        font.setWeight(QFont::DemiBold);
        const QFontMetricsF metrics(font);
        EXPECT_NEAR(glyph.height(), metrics.tightBoundingRect("H").height(), 3) << size;
        // The press is the lower-left corner of the line: the baseline sits a descent above.
        EXPECT_NEAR(glyph.bottom() + 1, 250 - metrics.descent(), 2) << size;
        EXPECT_NEAR(glyph.left(), 30 + metrics.leftBearing('H'), 3) << size;
    }
}

TEST(EditorCanvasView, EmptyOrCancelledTextChangesNothingButSpacesCount) {
    for (const std::optional<QString>& answer :
         {std::optional<QString>(), std::optional<QString>(QString())}) {
        int asked = 0;
        EditorCanvasView canvas(blank(100, 100), answering(answer, &asked));
        canvas.setTool(EditTool::text);
        click(&canvas, QPoint(20, 50));
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(canvas.document().undoCount(), 0u);
        EXPECT_EQ(inkBounds(canvas.copyImage()), QRect());
    }
    EditorCanvasView canvas(blank(100, 100), answering(QStringLiteral("   ")));
    canvas.setTool(EditTool::text);
    click(&canvas, QPoint(20, 50));
    EXPECT_EQ(canvas.document().undoCount(), 1u);
}

TEST(EditorCanvasView, PenClickWithoutMovementRecordsAStepAndDrawsNothing) {
    EditorCanvasView canvas(blank(100, 100));
    click(&canvas, QPoint(50, 50));
    EXPECT_EQ(canvas.document().undoCount(), 1u);
    EXPECT_EQ(inkBounds(canvas.copyImage()), QRect());
    drag(&canvas, QPoint(10, 10), QPoint(90, 10));
    EXPECT_EQ(canvas.document().undoCount(), 2u);
    EXPECT_NE(canvas.copyImage().pixel(50, 10), white);
    EXPECT_EQ(canvas.copyImage().pixel(50, 20), white);
}

TEST(EditorCanvasView, SmallRegionsAreRefusedButAFlatArrowIsKept) {
    EditorCanvasView canvas(blank(100, 100));
    canvas.setInsertImage(blank(4, 4));
    for (const EditTool tool : {EditTool::rectangle, EditTool::ellipse, EditTool::crop,
                                EditTool::pixelate, EditTool::insertImage}) {
        canvas.setTool(tool);
        drag(&canvas, QPoint(10, 10), QPoint(12, 40));
        EXPECT_EQ(canvas.document().undoCount(), 0u) << static_cast<int>(tool);
    }
    canvas.setTool(EditTool::arrow);
    drag(&canvas, QPoint(10, 10), QPoint(12, 12));
    EXPECT_EQ(canvas.document().undoCount(), 0u);
    drag(&canvas, QPoint(10, 50), QPoint(14, 50));
    EXPECT_EQ(canvas.document().undoCount(), 1u);
}

TEST(EditorCanvasView, InsertedPictureIsStretchedOpaqueWithoutOutlineAndCanBePlacedAgain) {
    QImage square(10, 10, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::green);
    EditorCanvasView canvas(blank(200, 150));
    canvas.setInsertImage(square);
    canvas.setTool(EditTool::insertImage);
    QTest::mousePress(&canvas, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseMove(&canvas, QPoint(120, 40));
    const QImage view = canvas.grab().toImage();
    QTest::mouseRelease(&canvas, Qt::LeftButton, {}, QPoint(120, 40));
    EXPECT_NEAR(qRed(view.pixel(70, 30)), 64, 2);
    EXPECT_EQ(qGreen(view.pixel(70, 30)), 255);
    EXPECT_EQ(view.pixel(70, 20), systemRed().rgb());

    QImage image = canvas.copyImage();
    EXPECT_EQ(image.pixel(20, 20), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(119, 39), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(70, 20), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(121, 30), white);
    EXPECT_EQ(image.pixel(70, 18), white);
    drag(&canvas, QPoint(20, 100), QPoint(40, 140));
    EXPECT_EQ(canvas.copyImage().pixel(30, 120), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.tool(), EditTool::insertImage);
    EXPECT_EQ(canvas.document().undoCount(), 2u);
}

TEST(EditorCanvasView, PixelateFillsSquareBlocksInsideTheRectangleOnly) {
    for (const auto& [width, block] : {std::pair{4.0, 12}, std::pair{2.0, 8}}) {
        const QImage original = pattern(200, 150);
        EditorCanvasView canvas(original);
        canvas.setLineWidth(width);
        canvas.setTool(EditTool::pixelate);
        drag(&canvas, QPoint(30, 30), QPoint(100, 90));
        const QImage result = canvas.copyImage();
        const QRect area(30, 30, 70, 60);
        for (int y = 0; y < 150; ++y) {
            for (int x = 0; x < 200; ++x) {
                const QPoint at(x, y);
                if (!area.contains(at)) {
                    ASSERT_EQ(result.pixel(at), original.pixel(at)) << x << "," << y;
                    continue;
                }
                const QPoint blockStart(x / block * block, y / block * block);
                const QPoint first(std::max(blockStart.x(), area.left()),
                                   std::max(blockStart.y(), area.top()));
                ASSERT_EQ(result.pixel(at), result.pixel(first)) << x << "," << y;
            }
        }
        const int edge = (area.left() / block + 2) * block;
        EXPECT_NE(result.pixel(edge - 1, 60), result.pixel(edge, 60));
    }
}

TEST(EditorCanvasView, CropAtOneFiftyThenUndoRestoresSizeAndFrame) {
    const QImage original = pattern(200, 150);
    EditorCanvasView canvas(original);
    canvas.setZoom(1.5);
    canvas.updateFrame();
    EXPECT_EQ(canvas.size(), QSize(300, 225));
    canvas.setTool(EditTool::crop);
    drag(&canvas, QPoint(30, 60), QPoint(180, 210));
    QImage cropped = canvas.copyImage();
    ASSERT_EQ(cropped.size(), QSize(100, 100));
    EXPECT_EQ(cropped.pixel(0, 0), original.pixel(20, 40));
    EXPECT_EQ(canvas.frameSize(), QSizeF(150, 150));
    EXPECT_EQ(canvas.zoom(), 1.5);
    canvas.undo();
    EXPECT_EQ(canvas.copyImage().size(), QSize(200, 150));
    EXPECT_EQ(canvas.size(), QSize(300, 225));
    canvas.redo();
    EXPECT_EQ(canvas.copyImage().size(), QSize(100, 100));
}

TEST(EditorCanvasView, DragsBeyondTheEdgeStopAtTheEdge) {
    const QImage original = pattern(200, 150);
    EditorCanvasView canvas(original);
    canvas.setTool(EditTool::crop);
    drag(&canvas, QPoint(150, 100), QPoint(500, 400));
    const QImage cropped = canvas.copyImage();
    ASSERT_EQ(cropped.size(), QSize(50, 50));
    EXPECT_EQ(cropped.pixel(49, 49), original.pixel(199, 149));
}

TEST(EditorCanvasView, ThirtyOneEditsLeaveThirtyUndoStepsAndANewEditClearsRedo) {
    EditorCanvasView canvas(blank(100, 100));
    canvas.setTool(EditTool::rectangle);
    for (int edit = 0; edit < 31; ++edit) {
        drag(&canvas, QPoint(10, 10), QPoint(20 + edit, 60));
    }
    EXPECT_EQ(canvas.document().undoCount(), 30u);
    for (int step = 0; step < 40; ++step) {
        canvas.undo();
    }
    EXPECT_NE(inkBounds(canvas.copyImage()), QRect());
    EXPECT_EQ(canvas.document().redoCount(), 30u);
    drag(&canvas, QPoint(50, 50), QPoint(90, 90));
    EXPECT_EQ(canvas.document().redoCount(), 0u);
}

TEST(EditorCanvasView, TinyImagesKeepAOnePointFrameAndSurviveGestures) {
    EditorCanvasView dot(blank(1, 1));
    EXPECT_EQ(dot.frameSize(), QSizeF(1, 1));
    for (const EditTool tool : {EditTool::pen, EditTool::rectangle, EditTool::crop,
                                EditTool::pixelate, EditTool::arrow}) {
        dot.setTool(tool);
        drag(&dot, QPoint(1, 1), QPoint(30, 30));
    }
    EXPECT_EQ(dot.copyImage().size(), QSize(1, 1));

    EditorCanvasView narrow(blank(3, 40));
    narrow.setZoom(0.25);
    narrow.updateFrame();
    EXPECT_EQ(narrow.frameSize(), QSizeF(1, 10));
    EXPECT_EQ(narrow.size(), QSize(1, 10));
    narrow.setTool(EditTool::crop);
    drag(&narrow, QPoint(1, 1), QPoint(50, 50));
    EXPECT_EQ(narrow.document().undoCount(), 0u);
}

TEST(EditorCanvasView, DoubleDensityImagesDrawInUnitsAtFullResolution) {
    EditorCanvasView canvas(blank(200, 150, 2.0));
    EXPECT_EQ(canvas.size(), QSize(100, 75));
    canvas.setColor(Qt::blue);
    canvas.setLineWidth(2);
    canvas.setTool(EditTool::rectangle);
    drag(&canvas, QPoint(10, 10), QPoint(60, 50));
    const QImage image = canvas.copyImage();
    EXPECT_EQ(image.size(), QSize(200, 150));
    EXPECT_EQ(image.devicePixelRatio(), 2.0);
    // The left edge at x = 10 units is 2 units wide: bitmap columns 18 to 21.
    EXPECT_EQ(image.pixel(17, 60), white);
    EXPECT_EQ(image.pixel(18, 60), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(21, 60), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(22, 60), white);

    // Text at 18 units stands 18 units tall in bitmap pixels twice over, drawn, not enlarged.
    EditorCanvasView written(blank(400, 200, 2.0), answering(QStringLiteral("H")));
    written.setColor(Qt::black);
    written.setLineWidth(2);
    written.setTool(EditTool::text);
    click(&written, QPoint(20, 80));
    QFont font;
    font.setPixelSize(36);
    font.setWeight(QFont::DemiBold);
    const QImage text = written.copyImage();
    EXPECT_NEAR(inkBounds(text).height(), QFontMetricsF(font).tightBoundingRect("H").height(), 3);
    const QRect glyph = inkBounds(text);
    int partial = 0;
    for (int x = glyph.left(); x <= glyph.right(); ++x) {
        const QRgb pixel = text.pixel(x, glyph.top() + glyph.height() / 4);
        partial += (pixel != white && qRed(pixel) > 40) ? 1 : 0;
    }
    // A glyph drawn at 1x and enlarged shows either soft edges two pixels wide (smooth) or
    // nothing but uniform 2 x 2 blocks (fast); one drawn at full resolution shows neither.
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
    EditorCanvasView doubled(dense);
    doubled.setTool(EditTool::pixelate);
    drag(&doubled, QPoint(6, 6), QPoint(60, 60));
    const QImage result = doubled.copyImage();
    // Blocks of 12 bitmap pixels, not 12 units.
    EXPECT_EQ(result.pixel(24, 24), result.pixel(35, 35));
    EXPECT_NE(result.pixel(35, 35), result.pixel(36, 36));
}
