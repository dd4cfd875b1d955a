#include "main/ImageEditor/ImageEditorController.h"

#include "main/ImageEditor/ColorWell.h"
#include "main/ImageEditor/EditorCanvasView.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QComboBox>
#include <QFile>
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

QLayout* toolbar(const ImageEditorController& editor) {
    return editor.window()->layout()->itemAt(0)->widget()->layout();
}

template <typename Item = QPushButton>
Item* item(const ImageEditorController& editor, int index) {
    return qobject_cast<Item*>(toolbar(editor)->itemAt(index)->widget());
}

// The title as the user sees and hears it: mnemonic markers are not part of it.
QString shownTitle(QPushButton* button) {
    return QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name);
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

TEST_F(ImageEditorControllerTest, WindowHasTitleFitsTheScreenAndHasTheEighteenToolbarItemsInOrder) {
    EXPECT_EQ(editor.window()->windowTitle(), "Chỉnh sửa ảnh — Quorvastelin");
    // The offscreen screen is smaller than the wanted 1200 × 780.
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(
        editor.window()->frameGeometry()));
    ASSERT_EQ(toolbar(editor)->count(), 18);
    const QStringList titles{
        "Bút",      "Đánh dấu", "Mũi tên", "Chữ nhật", "Elip", "Chữ",
        "Chèn ảnh", "Cắt",      "Làm mờ",  "",         "",     "↶",
        "↷",        "",         "",        "Sao chép", "Hủy",  "Lưu & sao chép"};
    for (int index = 0; index < 18; ++index) {
        if (!titles[index].isEmpty()) {
            ASSERT_NE(item(editor, index), nullptr) << index;
            EXPECT_EQ(shownTitle(item(editor, index)), titles[index]);
        }
    }
    EXPECT_NE(item<ColorWell>(editor, 9), nullptr);
    EXPECT_EQ(item<QComboBox>(editor, 10)->currentText(), "4");
    EXPECT_EQ(item<QComboBox>(editor, 13)->currentText(), "100%");
    EXPECT_EQ(item<QComboBox>(editor, 13)->itemText(0), "25%");
}

TEST_F(ImageEditorControllerTest, NarrowWindowsWrapTheToolbarAboveThePictureWithActionsAtTheRight) {
    editor.showWindow();
    for (const int width : {1200, 1024, 700}) {
        editor.window()->resize(width, 560);
        QCoreApplication::sendPostedEvents();
        const int pictureTop = editor.window()->layout()->itemAt(1)->geometry().top();
        for (int index = 0; index < 18; ++index) {
            const QWidget* shown = item<QWidget>(editor, index);
            const QRect box(shown->mapTo(editor.window(), QPoint(0, 0)), shown->size());
            EXPECT_TRUE(editor.window()->rect().contains(box) && box.bottom() < pictureTop)
                << width << " " << index;
        }
        EXPECT_EQ(item(editor, 17)->mapTo(editor.window(), item(editor, 17)->rect().topRight()).x(),
                  width - 11);
    }
}

TEST_F(ImageEditorControllerTest, CopyRepeatsWhileOpenAndReturnSavesOnceWithTheSameImage) {
    editor.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.window()));
    QTest::mouseClick(item(editor, 15), Qt::LeftButton);
    canvas->setTool(EditTool::rectangle);
    drag(canvas, {10, 10}, {100, 100});
    QTest::mouseClick(item(editor, 15), Qt::LeftButton);
    ASSERT_EQ(clipboard->images.size(), 2u);
    EXPECT_EQ(clipboard->images[0].pixel(10, 50), qRgb(255, 255, 255));
    EXPECT_EQ(clipboard->images[1].pixel(10, 50), systemRed().rgb());
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(editor.window()->isVisible());

    QTest::keyClick(editor.window(), Qt::Key_Return);
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].has_value());
    EXPECT_EQ(results[0]->pixel(10, 50), systemRed().rgb());
    ASSERT_EQ(clipboard->images.size(), 3u);
    EXPECT_EQ(clipboard->images[2], *results[0]);
    EXPECT_FALSE(editor.window()->isVisible());
    editor.window()->close();
    editor.cancel();
    editor.save();
    EXPECT_EQ(results.size(), 1u);
}

TEST_F(ImageEditorControllerTest, SaveCancelAndCloseEachDeliverOnceAndLetTheOwnerReleaseTheEditor) {
    const std::vector<std::pair<std::function<void(ImageEditorController&)>, bool>> endings{
        {[](auto& ended) { QTest::mouseClick(item(ended, 17), Qt::LeftButton); }, true},
        {[](auto& ended) { QTest::mouseClick(item(ended, 16), Qt::LeftButton); }, false},
        {[](auto& ended) { ended.window()->close(); }, false},
    };
    for (const auto& [end, saves] : endings) {
        std::unique_ptr<ImageEditorController> owned;
        std::vector<std::optional<QImage>> delivered;
        owned = std::make_unique<ImageEditorController>(
            picture(),
            [&](std::optional<QImage> result) {
                delivered.push_back(std::move(result));
                owned.reset();
            },
            ImageEditorPlatform{clipboard, {}, {}});
        owned->showWindow();
        end(*owned);
        ASSERT_EQ(delivered.size(), 1u);
        EXPECT_EQ(delivered[0].has_value(), saves);
        EXPECT_EQ(owned, nullptr);
    }
    EXPECT_EQ(clipboard->images.size(), 1u);
}

TEST_F(ImageEditorControllerTest, ToolbarSettingsReachTheCanvasAndZoomScalesOnlyTheView) {
    QTest::mouseClick(item(editor, 4), Qt::LeftButton);
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
    const auto insert = [&](const QString& name) {
        chosenFile = folder.filePath(name);
        editor.selectTool(static_cast<int>(EditTool::insertImage));
    };
    editor.selectTool(static_cast<int>(EditTool::insertImage));
    EXPECT_EQ(canvas->tool(), EditTool::pen);

    QImage blue(8, 8, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    ASSERT_TRUE(blue.save(folder.filePath("blue.png")) && blue.save(folder.filePath("cut.png")));
    QFile::resize(folder.filePath("cut.png"), QFile(folder.filePath("cut.png")).size() / 2);
    QFile words(folder.filePath("words.png"));
    ASSERT_TRUE(words.open(QIODevice::WriteOnly) && words.write("not a picture") > 0);
    words.close();
    insert("blue.png");
    EXPECT_EQ(canvas->tool(), EditTool::insertImage);
    ASSERT_TRUE(canvas->insertImage().has_value());
    editor.selectTool(static_cast<int>(EditTool::rectangle));
    for (const QString bad : {"words.png", "cut.png"}) {
        insert(bad);
        EXPECT_EQ(canvas->tool(), EditTool::rectangle) << bad.toStdString();
        EXPECT_EQ(canvas->insertImage()->pixel(0, 0), qRgb(0, 0, 255));
    }

    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(Qt::green);
    ASSERT_TRUE(dot.save(folder.filePath("dot.png")));
    insert("dot.png");
    EXPECT_EQ(canvas->insertImage()->size(), QSize(1, 1));
    drag(canvas, {10, 10}, {60, 40});
    EXPECT_EQ(canvas->copyImage().pixel(30, 20), qRgb(0, 255, 0));
}
