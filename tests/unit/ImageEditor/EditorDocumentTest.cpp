#include "main/ImageEditor/EditorDocument.h"

#include <gtest/gtest.h>
#include <QPainter>

namespace {

QImage blank() {
    QImage image(64, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

// Marks the pixel (step, 0) so every edit leaves a different image.
void edit(EditorDocument& document, int step) {
    document.pushUndo();
    document.image().paint(QRectF(step, 0, 1, 1), [step](QPainter& painter) {
        painter.fillRect(QRectF(step, 0, 1, 1), Qt::black);
    });
}

int marks(const EditorDocument& document) {
    const QImage image = document.image().toImage();
    int count = 0;
    for (int x = 0; x < image.width(); ++x) {
        count += image.pixel(x, 0) == qRgb(0, 0, 0) ? 1 : 0;
    }
    return count;
}

}  // namespace

TEST(EditorDocument, UndoAndRedoWithEmptyHistoryChangeNothing) {
    EditorDocument document(blank());
    EXPECT_FALSE(document.undo());
    EXPECT_FALSE(document.redo());
    EXPECT_EQ(document.image().toImage(),
              blank().convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

TEST(EditorDocument, ThirtyOneEditsKeepThirtyStepsAndLoseTheOpeningImage) {
    EditorDocument document(blank());
    for (int step = 0; step < 31; ++step) {
        edit(document, step);
    }
    EXPECT_EQ(document.undoCount(), 30u);
    int undone = 0;
    while (document.undo()) {
        ++undone;
    }
    EXPECT_EQ(undone, 30);
    EXPECT_EQ(marks(document), 1);
    EXPECT_EQ(document.redoCount(), 30u);
}

TEST(EditorDocument, UndoThenRedoWalksBackAndForthThroughTheSnapshots) {
    EditorDocument document(blank());
    edit(document, 1);
    edit(document, 2);
    ASSERT_TRUE(document.undo());
    EXPECT_EQ(marks(document), 1);
    ASSERT_TRUE(document.undo());
    EXPECT_EQ(marks(document), 0);
    ASSERT_TRUE(document.redo());
    ASSERT_TRUE(document.redo());
    EXPECT_EQ(marks(document), 2);
    EXPECT_FALSE(document.redo());
}

TEST(EditorDocument, NewEditEmptiesRedo) {
    EditorDocument document(blank());
    edit(document, 1);
    edit(document, 2);
    document.undo();
    EXPECT_EQ(document.redoCount(), 1u);
    edit(document, 3);
    EXPECT_EQ(document.redoCount(), 0u);
    EXPECT_FALSE(document.redo());
}

TEST(EditorDocument, EditsNeverChangeRecordedSnapshots) {
    EditorDocument document(blank());
    edit(document, 1);
    // Painting the current image again must not leak into the snapshot just taken.
    document.pushUndo();
    document.image().paint(QRectF(0, 0, 64, 32), [](QPainter& painter) {
        painter.fillRect(QRectF(0, 0, 64, 32), Qt::black);
    });
    document.undo();
    EXPECT_EQ(marks(document), 1);
    document.undo();
    EXPECT_EQ(marks(document), 0);
}
