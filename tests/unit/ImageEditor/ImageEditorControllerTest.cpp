#include "main/ImageEditor/ImageEditorController.h"

#include "main/ImageEditor/ColorWell.h"
#include "main/ImageEditor/EditorCanvasView.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QBuffer>
#include <QComboBox>
#include <QFile>
#include <QLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

namespace {

// The title as the user sees and hears it: mnemonic markers are not part of it.
QString shownTitle(QPushButton* button) {
    return QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name);
}

class FakeClipboard : public platform::Clipboard {
  public:
    void setPng(const QByteArray& png) override { pngs.push_back(png); }
    void setImage(const QImage& image) override { images.push_back(image); }
    std::vector<QByteArray> pngs;
    std::vector<QImage> images;
};

QImage picture() {
    QImage image(320, 240, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

class ImageEditorControllerTest : public testing::Test {
  protected:
    std::unique_ptr<ImageEditorController> open(QImage image = picture()) {
        ImageEditorPlatform seams;
        seams.clipboard = clipboard;
        seams.chooseImageFile = [this](QWidget*) { return chosenFile; };
        seams.promptText = [](QWidget*) { return std::optional<QString>("x"); };
        return std::make_unique<ImageEditorController>(
            image, [this](std::optional<QImage> result) { results.push_back(std::move(result)); },
            seams);
    }

    static QPushButton* titled(ImageEditorController& editor, const QString& title) {
        for (auto* button : editor.window()->findChildren<QPushButton*>()) {
            if (shownTitle(button) == title) {
                return button;
            }
        }
        return nullptr;
    }

    static std::vector<QWidget*> toolbarItems(ImageEditorController& editor) {
        QLayout* toolbar = editor.window()->layout()->itemAt(0)->widget()->layout();
        std::vector<QWidget*> items;
        for (int index = 0; index < toolbar->count(); ++index) {
            items.push_back(toolbar->itemAt(index)->widget());
        }
        return items;
    }

    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = folder.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }

    static QByteArray png(const QImage& image) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }

    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
    std::optional<QString> chosenFile;
    std::vector<std::optional<QImage>> results;
    QTemporaryDir folder;
};

}  // namespace

TEST_F(ImageEditorControllerTest, WindowHasTitleSizeAndTheEighteenToolbarItemsInOrder) {
    auto editor = open();
    EXPECT_EQ(editor->window()->windowTitle(), "Chỉnh sửa ảnh — Quorvastelin");
    EXPECT_EQ(editor->window()->size(), QSize(1200, 780));
    const auto items = toolbarItems(*editor);
    ASSERT_EQ(items.size(), 18u);
    const QStringList tools{"Bút", "Đánh dấu", "Mũi tên", "Chữ nhật", "Elip",
                            "Chữ", "Chèn ảnh", "Cắt",     "Làm mờ"};
    for (int index = 0; index < 9; ++index) {
        auto* button = qobject_cast<QPushButton*>(items[static_cast<std::size_t>(index)]);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), tools[index]);
    }
    EXPECT_NE(qobject_cast<ColorWell*>(items[9]), nullptr);
    auto* width = qobject_cast<QComboBox*>(items[10]);
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(width->currentText(), "4");
    EXPECT_EQ(width->count(), 6);
    EXPECT_EQ(qobject_cast<QPushButton*>(items[11])->text(), "↶");
    EXPECT_EQ(qobject_cast<QPushButton*>(items[12])->text(), "↷");
    auto* zoom = qobject_cast<QComboBox*>(items[13]);
    ASSERT_NE(zoom, nullptr);
    EXPECT_EQ(zoom->currentText(), "100%");
    EXPECT_EQ(zoom->itemText(0), "25%");
    EXPECT_EQ(zoom->itemText(6), "200%");
    EXPECT_EQ(qobject_cast<QPushButton*>(items[15])->text(), "Sao chép");
    EXPECT_EQ(qobject_cast<QPushButton*>(items[16])->text(), "Hủy");
    EXPECT_EQ(shownTitle(qobject_cast<QPushButton*>(items[17])), "Lưu & sao chép");
}

TEST_F(ImageEditorControllerTest, SaveDeliversOneIndependentCopyAndPutsItOnTheClipboard) {
    auto editor = open();
    editor->showWindow();
    editor->canvasView()->setTool(EditTool::rectangle);
    QTest::mousePress(editor->canvasView(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(editor->canvasView(), QPoint(100, 100));
    QTest::mouseRelease(editor->canvasView(), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseClick(titled(*editor, "Lưu & sao chép"), Qt::LeftButton);
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].has_value());
    EXPECT_EQ(results[0]->pixel(10, 50), systemRed().rgb());
    ASSERT_EQ(clipboard->images.size(), 1u);
    EXPECT_EQ(clipboard->images[0], *results[0]);
    EXPECT_FALSE(editor->window()->isVisible());
    editor->window()->close();
    editor->cancel();
    EXPECT_EQ(results.size(), 1u);
}

TEST_F(ImageEditorControllerTest, CancelAndTheCloseButtonEachDeliverNothingOnce) {
    auto cancelled = open();
    cancelled->showWindow();
    QTest::mouseClick(titled(*cancelled, "Hủy"), Qt::LeftButton);
    cancelled->cancel();
    cancelled->window()->close();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].has_value());
    EXPECT_FALSE(cancelled->window()->isVisible());

    auto closed = open();
    closed->showWindow();
    closed->window()->close();
    closed->save();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_FALSE(results[1].has_value());
}

TEST_F(ImageEditorControllerTest, ReturnSaves) {
    auto editor = open();
    editor->showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor->window()));
    QTest::keyClick(editor->window(), Qt::Key_Return);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].has_value());
    EXPECT_EQ(clipboard->images.size(), 1u);
}

TEST_F(ImageEditorControllerTest, OwnerMayReleaseTheEditorInsideItsCompletion) {
    const std::vector<std::function<void(ImageEditorController&)>> endings{
        [](ImageEditorController& editor) {
            QTest::mouseClick(titled(editor, "Lưu & sao chép"), Qt::LeftButton);
        },
        [](ImageEditorController& editor) {
            QTest::mouseClick(titled(editor, "Hủy"), Qt::LeftButton);
        },
        [](ImageEditorController& editor) { editor.window()->close(); },
    };
    for (const auto& end : endings) {
        std::unique_ptr<ImageEditorController> editor;
        int delivered = 0;
        editor = std::make_unique<ImageEditorController>(
            picture(),
            [&](std::optional<QImage>) {
                ++delivered;
                editor.reset();
            },
            ImageEditorPlatform{clipboard, {}, {}});
        editor->showWindow();
        end(*editor);
        EXPECT_EQ(delivered, 1);
        EXPECT_EQ(editor, nullptr);
    }
}

TEST_F(ImageEditorControllerTest, CopyCanRepeatAndLeavesTheEditorOpen) {
    auto editor = open();
    editor->showWindow();
    QPushButton* copy = titled(*editor, "Sao chép");
    QTest::mouseClick(copy, Qt::LeftButton);
    editor->canvasView()->setTool(EditTool::rectangle);
    QTest::mousePress(editor->canvasView(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(editor->canvasView(), QPoint(100, 100));
    QTest::mouseRelease(editor->canvasView(), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseClick(copy, Qt::LeftButton);
    ASSERT_EQ(clipboard->images.size(), 2u);
    EXPECT_EQ(clipboard->images[0].pixel(10, 50), qRgb(255, 255, 255));
    EXPECT_EQ(clipboard->images[1].pixel(10, 50), systemRed().rgb());
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(editor->window()->isVisible());
}

TEST_F(ImageEditorControllerTest, ToolbarSettingsReachTheCanvas) {
    auto editor = open();
    const auto items = toolbarItems(*editor);
    QTest::mouseClick(titled(*editor, "Elip"), Qt::LeftButton);
    EXPECT_EQ(editor->canvasView()->tool(), EditTool::ellipse);
    qobject_cast<QComboBox*>(items[10])->setCurrentText("24");
    EXPECT_EQ(editor->canvasView()->lineWidth(), 24.0);
    qobject_cast<ColorWell*>(items[9])->setColor(Qt::green);
    EXPECT_EQ(editor->canvasView()->color(), QColor(Qt::green));
    editor->selectTool(9);
    editor->selectTool(-1);
    EXPECT_EQ(editor->canvasView()->tool(), EditTool::ellipse);
}

TEST_F(ImageEditorControllerTest, TwoHundredPercentDoublesTheCanvasButNotTheSavedImage) {
    auto editor = open();
    qobject_cast<QComboBox*>(toolbarItems(*editor)[13])->setCurrentText("200%");
    EXPECT_EQ(editor->canvasView()->size(), QSize(640, 480));
    editor->save();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->size(), QSize(320, 240));
}

TEST_F(ImageEditorControllerTest, DismissedOrUnreadableInsertKeepsToolAndEarlierPicture) {
    auto editor = open();
    editor->selectTool(static_cast<int>(EditTool::insertImage));
    EXPECT_EQ(editor->canvasView()->tool(), EditTool::pen);

    QImage first(8, 8, QImage::Format_RGB32);
    first.fill(Qt::blue);
    chosenFile = writeFile("first.png", png(first));
    editor->selectTool(static_cast<int>(EditTool::rectangle));
    editor->selectTool(static_cast<int>(EditTool::insertImage));
    EXPECT_EQ(editor->canvasView()->tool(), EditTool::insertImage);
    ASSERT_TRUE(editor->canvasView()->insertImage().has_value());

    editor->selectTool(static_cast<int>(EditTool::rectangle));
    const QByteArray whole = png(first);
    for (const QString& bad : {writeFile("words.png", "not a picture"),
                               writeFile("cut.png", whole.left(whole.size() / 2))}) {
        chosenFile = bad;
        editor->selectTool(static_cast<int>(EditTool::insertImage));
        EXPECT_EQ(editor->canvasView()->tool(), EditTool::rectangle);
        EXPECT_EQ(editor->canvasView()->insertImage()->pixel(0, 0), qRgb(0, 0, 255));
    }

    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(Qt::green);
    chosenFile = writeFile("dot.png", png(dot));
    editor->selectTool(static_cast<int>(EditTool::insertImage));
    EXPECT_EQ(editor->canvasView()->insertImage()->size(), QSize(1, 1));
    QTest::mousePress(editor->canvasView(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(editor->canvasView(), QPoint(60, 40));
    QTest::mouseRelease(editor->canvasView(), Qt::LeftButton, {}, QPoint(60, 40));
    EXPECT_EQ(editor->canvasView()->copyImage().pixel(30, 20), qRgb(0, 255, 0));
}
