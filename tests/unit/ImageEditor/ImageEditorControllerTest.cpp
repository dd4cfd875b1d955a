#include "main/ImageEditor/ImageEditorController.h"

#include "main/ImageEditor/ColorWell.h"
#include "main/ImageEditor/EditorCanvasView.h"
#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QComboBox>
#include <QLayout>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

namespace {

class FakeClipboard : public platform::Clipboard {
  public:
    void setPng(const QByteArray&) override {}
    void setImage(const QImage& image) override { images.push_back(image); }
    std::vector<QImage> images;
};

QImage picture() {
    QImage image(320, 240, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

QWidget* toolbarItem(const ImageEditorController& editor, int index) {
    return editor.window()->layout()->itemAt(0)->widget()->layout()->itemAt(index)->widget();
}

template <typename Item = QPushButton>
Item* item(const ImageEditorController& editor, int index) {
    return qobject_cast<Item*>(toolbarItem(editor, index));
}

// A button's title as the user sees and hears it, without mnemonic markers; other items by
// their kind.
QString shownTitle(QWidget* item) {
    return item->metaObject() == &QPushButton::staticMetaObject
               ? QAccessible::queryAccessibleInterface(item)->text(QAccessible::Name)
               : item->metaObject()->className();
}

void drag(QWidget* canvas, QPoint from, QPoint to) {
    QTest::mousePress(canvas, Qt::LeftButton, {}, from);
    QTest::mouseMove(canvas, to);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
}

class ImageEditorControllerTest : public testing::Test {
  protected:
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
    std::optional<QString> chosenFile;
    QTemporaryDir folder;
    std::vector<std::optional<QImage>> results;
    ImageEditorController editor{
        picture(), [this](std::optional<QImage> result) { results.push_back(std::move(result)); },
        ImageEditorPlatform{clipboard, [this](QWidget*) { return chosenFile; }, {}}};
    EditorCanvasView* canvas = editor.canvasView();
};

}  // namespace

TEST_F(ImageEditorControllerTest, ToolbarInOrderStaysAboveThePictureAtAnyWidthActionsAtTheRight) {
    EXPECT_EQ(editor.window()->windowTitle(), "Chỉnh sửa ảnh — Quorvastelin");
    // The offscreen screen is smaller than the wanted 1200 × 780.
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(
        editor.window()->frameGeometry()));
    QStringList titles;
    for (int index = 0; index < 18; ++index) {
        titles << shownTitle(toolbarItem(editor, index));
    }
    EXPECT_EQ(titles, (QStringList{"Bút", "Đánh dấu", "Mũi tên", "Chữ nhật", "Elip", "Chữ",
                                   "Chèn ảnh", "Cắt", "Làm mờ", "ColorWell", "QComboBox", "↶", "↷",
                                   "QComboBox", "QWidget", "Sao chép", "Hủy", "Lưu & sao chép"}));
    EXPECT_EQ(item<QComboBox>(editor, 10)->currentText(), "4");
    EXPECT_EQ(item<QComboBox>(editor, 13)->currentText(), "100%");
    EXPECT_EQ(item<QComboBox>(editor, 13)->itemText(0), "25%");

    editor.showWindow();
    for (const int width : {1200, 1024, 700}) {
        editor.window()->resize(width, 560);
        QCoreApplication::sendPostedEvents();
        const int pictureTop = editor.window()->layout()->itemAt(1)->geometry().top();
        for (int index = 0; index < 18; ++index) {
            const QWidget* shown = toolbarItem(editor, index);
            const QRect box(shown->mapTo(editor.window(), QPoint(0, 0)), shown->size());
            EXPECT_TRUE(editor.window()->rect().contains(box) && box.bottom() < pictureTop)
                << width << " " << index;
        }
        EXPECT_EQ(item(editor, 17)->mapTo(editor.window(), item(editor, 17)->rect().topRight()).x(),
                  width - 11);
    }
}

// Saving, closing and the owner releasing the editor meanwhile are proven end to end.
TEST_F(ImageEditorControllerTest, CopyRepeatsWhileOpenAndCancelDeliversNothingOnce) {
    item(editor, 15)->click();
    canvas->setTool(EditTool::rectangle);
    drag(canvas, {10, 10}, {100, 100});
    item(editor, 15)->click();
    ASSERT_EQ(clipboard->images.size(), 2u);
    EXPECT_EQ(clipboard->images[0].pixel(10, 50), qRgb(255, 255, 255));
    EXPECT_EQ(clipboard->images[1].pixel(10, 50), systemRed().rgb());
    EXPECT_TRUE(results.empty());
    item(editor, 16)->click();
    editor.save();
    editor.window()->close();
    EXPECT_EQ(results, std::vector<std::optional<QImage>>(1));
}

TEST_F(ImageEditorControllerTest, ToolbarSettingsReachTheCanvasAndZoomScalesOnlyTheView) {
    item(editor, 4)->click();
    EXPECT_EQ(canvas->tool(), EditTool::ellipse);
    item<QComboBox>(editor, 10)->setCurrentText("24");
    EXPECT_EQ(canvas->lineWidth(), 24.0);
    item<ColorWell>(editor, 9)->setColor(Qt::green);
    EXPECT_EQ(canvas->color(), QColor(Qt::green));
    editor.selectTool(9);
    editor.selectTool(-1);
    EXPECT_EQ(canvas->tool(), EditTool::ellipse);
    item<QComboBox>(editor, 13)->setCurrentText("200%");
    EXPECT_EQ(canvas->size(), QSize(640, 480));
    editor.save();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->size(), QSize(320, 240));
}

TEST_F(ImageEditorControllerTest, DismissedOrUnreadableInsertKeepsToolAndEarlierPicture) {
    const auto insert = [&](std::optional<QString> name) {
        chosenFile = name ? std::optional(folder.filePath(*name)) : std::nullopt;
        editor.selectTool(static_cast<int>(EditTool::insertImage));
    };
    insert(std::nullopt);
    EXPECT_EQ(canvas->tool(), EditTool::pen);

    ASSERT_TRUE(testmedia::halves({8, 8}).save(folder.filePath("halves.png")));
    ASSERT_TRUE(
        testmedia::truncateCopy(folder.filePath("halves.png"), folder.filePath("cut.png"), 0.5));
    ASSERT_TRUE(testmedia::writeFile(folder.filePath("words.png"), "not a picture"));
    insert("halves.png");
    EXPECT_EQ(canvas->tool(), EditTool::insertImage);
    editor.selectTool(static_cast<int>(EditTool::rectangle));
    for (const QString bad : {"words.png", "cut.png"}) {
        insert(bad);
        EXPECT_EQ(canvas->tool(), EditTool::rectangle) << bad.toStdString();
        ASSERT_TRUE(canvas->insertImage().has_value());
        EXPECT_EQ(canvas->insertImage()->pixel(7, 0), qRgb(0, 0, 255));
    }

    // Even a single pixel is a picture to insert.
    ASSERT_TRUE(testmedia::halves({1, 1}).save(folder.filePath("dot.png")));
    insert("dot.png");
    drag(canvas, {10, 10}, {60, 40});
    EXPECT_EQ(canvas->copyImage().pixel(30, 20), qRgb(0, 0, 255));
}
