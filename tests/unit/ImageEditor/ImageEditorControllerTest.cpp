#include "main/ImageEditor/ImageEditorController.h"

#include "main/ImageEditor/ColorWell.h"
#include "main/ImageEditor/EditorCanvasView.h"
#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
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

class ImageEditorControllerTest : public testing::Test {
  protected:
    template <typename Item = QPushButton>
    Item* item(int index) const {
        return qobject_cast<Item*>(
            editor.window()->layout()->itemAt(0)->widget()->layout()->itemAt(index)->widget());
    }
    void drag(QPoint from, QPoint to) {
        QTest::mousePress(canvas, Qt::LeftButton, {}, from);
        QTest::mouseMove(canvas, to);
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
    }

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

TEST_F(ImageEditorControllerTest, SettingsReachTheCanvasCopyRepeatsAndCancelDeliversNothingOnce) {
    item(3)->click();
    item<QComboBox>(10)->setCurrentText("24");
    item<ColorWell>(9)->setColor(Qt::green);
    item<QComboBox>(13)->setCurrentText("200%");
    editor.selectTool(-1);
    EXPECT_EQ(canvas->tool(), EditTool::rectangle);
    EXPECT_EQ(canvas->lineWidth(), 24.0);
    EXPECT_EQ(canvas->size(), QSize(640, 480));
    item(15)->click();
    drag({20, 20}, {200, 200});
    item(15)->click();
    ASSERT_EQ(clipboard->images.size(), 2u);
    EXPECT_EQ(clipboard->images[0].pixel(10, 50), qRgb(255, 255, 255));
    EXPECT_EQ(clipboard->images[1].size(), QSize(320, 240));
    EXPECT_EQ(clipboard->images[1].pixel(10, 50), qRgb(0, 255, 0));
    item(16)->click();
    editor.save();
    editor.window()->close();
    EXPECT_EQ(results, std::vector<std::optional<QImage>>(1));
}

TEST_F(ImageEditorControllerTest, DismissedOrUnreadableInsertKeepsToolAndEarlierPicture) {
    const auto insert = [&](std::optional<QString> name) {
        chosenFile = name ? std::optional(folder.filePath(*name)) : std::nullopt;
        editor.selectTool(static_cast<int>(EditTool::insertImage));
    };
    insert(std::nullopt);
    EXPECT_EQ(canvas->tool(), EditTool::pen);
    // Even a single pixel is a picture to insert.
    ASSERT_TRUE(testmedia::halves({1, 1}).save(folder.filePath("dot.png")));
    ASSERT_TRUE(testmedia::writeFile(folder.filePath("words.png"), "not a picture"));
    insert("dot.png");
    editor.selectTool(static_cast<int>(EditTool::rectangle));
    insert("words.png");
    EXPECT_EQ(canvas->tool(), EditTool::rectangle);
    canvas->setTool(EditTool::insertImage);
    drag({10, 10}, {60, 40});
    EXPECT_EQ(canvas->copyImage().pixel(30, 20), qRgb(0, 0, 255));
}
