#include "main/ImageEditor/ImageEditorController.h"

#include "main/ImageEditor/ColorWell.h"
#include "main/ImageEditor/EditorCanvasView.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLayout>
#include <QPushButton>
#include <QTest>
#include <vector>

namespace {

class FakeClipboard : public platform::Clipboard {
  public:
    void setPng(const QByteArray&) override {}
    void setImage(const QImage& image) override { images.push_back(image); }
    std::vector<QImage> images;
};

}  // namespace

TEST(ImageEditorController, SettingsReachTheCanvasCopyRepeatsAndCancelDeliversNothingOnce) {
    auto clipboard = std::make_shared<FakeClipboard>();
    const ImageEditorPlatform platform{
        clipboard, [](QWidget*) { return std::optional<QString>(); }, {}};
    std::vector<std::optional<QImage>> results;
    const auto deliver = [&](std::optional<QImage> result,
                             const ImageEditorController::SaveAnswer& answer) {
        results.push_back(std::move(result));
        answer(true);
    };
    QImage picture(320, 240, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::white);
    ImageEditorController editor(picture, deliver, platform);
    EditorCanvasView* canvas = editor.canvasView();
    const auto item = [&](int index) {
        return editor.window()->layout()->itemAt(0)->widget()->layout()->itemAt(index)->widget();
    };
    const auto click = [&](int index) { qobject_cast<QPushButton*>(item(index))->click(); };

    click(3);
    qobject_cast<QComboBox*>(item(10))->setCurrentText("24");
    qobject_cast<ColorWell*>(item(9))->setColor(Qt::green);
    qobject_cast<QComboBox*>(item(13))->setCurrentText("200%");
    // Neither an unknown tool nor a dismissed choice of picture to insert changes the tool.
    editor.selectTool(-1);
    editor.selectTool(static_cast<int>(EditTool::insertImage));
    EXPECT_EQ(canvas->tool(), EditTool::rectangle);
    EXPECT_EQ(canvas->lineWidth(), 24.0);
    EXPECT_EQ(canvas->size(), QSize(640, 480));
    click(15);
    QTest::mousePress(canvas, Qt::LeftButton, {}, {20, 20});
    QTest::mouseMove(canvas, {200, 200});
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, {200, 200});
    click(15);
    ASSERT_EQ(clipboard->images.size(), 2u);
    EXPECT_EQ(clipboard->images[0].pixel(10, 50), qRgb(255, 255, 255));
    EXPECT_EQ(clipboard->images[1].size(), QSize(320, 240));
    EXPECT_EQ(clipboard->images[1].pixel(10, 50), qRgb(0, 255, 0));
    click(16);
    editor.save();
    editor.window()->close();
    EXPECT_EQ(results, std::vector<std::optional<QImage>>(1));

    // Saving puts the picture it delivers on the clipboard too.
    ImageEditorController saving(picture, deliver, platform);
    saving.save();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(clipboard->images.back(), results.back());

    // A save that fails after its window was closed brings the window back with the picture.
    ImageEditorController::SaveAnswer later;
    ImageEditorController failing(
        picture,
        [&](std::optional<QImage>, ImageEditorController::SaveAnswer answer) { later = answer; },
        platform);
    failing.showWindow();
    failing.save();
    failing.window()->close();
    later(false);
    EXPECT_TRUE(failing.window()->isVisible());
}
