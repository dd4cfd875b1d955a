#include "main/ImageEditor/EditorCanvasView.h"
#include "main/ImageEditor/ImageEditorController.h"
#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QProcess>
#include <QPushButton>
#include <QTest>

namespace {

// The title as the user sees and hears it: mnemonic markers are not part of it.
QString shownTitle(QPushButton* button) {
    return QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name);
}

QImage paper() {
    QImage image(600, 400, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

QString number(int value) {
    return QString::number(value);
}

void xdotool(const QStringList& arguments) {
    ASSERT_EQ(e2e::runTool(QStringLiteral("xdotool"), arguments).exitCode, 0)
        << arguments.join(' ').toStdString();
}

// Drags with the real pointer between two points of a widget.
void dragOn(QWidget* widget, QPoint from, QPoint to) {
    const QPoint start = widget->mapToGlobal(from);
    const QPoint end = widget->mapToGlobal(to);
    xdotool({"mousemove", number(start.x()), number(start.y()), "mousedown", "1"});
    for (int step = 1; step <= 5; ++step) {
        const QPoint at = start + (end - start) * step / 5;
        xdotool({"mousemove", number(at.x()), number(at.y())});
    }
    xdotool({"mouseup", "1"});
}

void clickOn(QWidget* widget) {
    const QPoint centre = widget->mapToGlobal(widget->rect().center());
    xdotool({"mousemove", number(centre.x()), number(centre.y()), "click", "1"});
}

QPushButton* titled(QWidget* window, const QString& title) {
    for (auto* button : window->findChildren<QPushButton*>()) {
        if (shownTitle(button) == title) {
            return button;
        }
    }
    return nullptr;
}

// Reads the clipboard as PNG while this process, its owner, keeps serving it.
QImage clipboardPng() {
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/png", "-o"});
    QByteArray bytes;
    e2e::waitUntil([&] {
        bytes += xclip.readAllStandardOutput();
        return xclip.state() == QProcess::NotRunning;
    });
    bytes += xclip.readAllStandardOutput();
    return QImage::fromData(bytes, "PNG");
}

}  // namespace

TEST(ImageEditorE2e, DrawnRectangleReachesTheClipboardWhenReturnSaves) {
    std::optional<std::optional<QImage>> delivered;
    ImageEditorController editor(paper(),
                                 [&](std::optional<QImage> result) { delivered = result; });
    editor.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor.window()));
    EditorCanvasView* canvas = editor.canvasView();

    clickOn(titled(editor.window(), QStringLiteral("Chữ nhật")));
    ASSERT_TRUE(e2e::waitUntil([&] { return canvas->tool() == EditTool::rectangle; }));
    dragOn(canvas, QPoint(100, 80), QPoint(400, 300));
    ASSERT_TRUE(e2e::waitUntil([&] { return canvas->document().undoCount() == 1; }));
    xdotool({"key", "Return"});
    ASSERT_TRUE(e2e::waitUntil([&] { return delivered.has_value(); }));
    ASSERT_TRUE(delivered->has_value());

    const QImage copied = clipboardPng();
    ASSERT_EQ(copied.size(), QSize(600, 400));
    const QRgb red = systemRed().rgb();
    EXPECT_EQ(copied.pixel(100, 200), red);
    EXPECT_EQ(copied.pixel(400, 200), red);
    EXPECT_EQ(copied.pixel(250, 80), red);
    EXPECT_EQ(copied.pixel(250, 300), red);
    EXPECT_EQ(copied.pixel(250, 200), qRgb(255, 255, 255));
    EXPECT_EQ(copied.pixel(50, 200), qRgb(255, 255, 255));
}

TEST(ImageEditorE2e, PictureOfTheEditorWithAnnotations) {
    ImageEditorPlatform seams;
    seams.promptText = [](QWidget*) { return std::optional<QString>(QStringLiteral("Xin chào")); };
    ImageEditorController editor(
        paper(), [](std::optional<QImage>) {}, seams);
    editor.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor.window()));
    EditorCanvasView* canvas = editor.canvasView();
    const auto use = [&](const QString& title) {
        clickOn(titled(editor.window(), title));
        QTest::qWait(100);
    };
    use(QStringLiteral("Chữ nhật"));
    dragOn(canvas, QPoint(40, 40), QPoint(260, 180));
    use(QStringLiteral("Elip"));
    dragOn(canvas, QPoint(300, 60), QPoint(560, 200));
    use(QStringLiteral("Mũi tên"));
    dragOn(canvas, QPoint(80, 360), QPoint(280, 240));
    use(QStringLiteral("Đánh dấu"));
    dragOn(canvas, QPoint(320, 300), QPoint(560, 320));
    use(QStringLiteral("Chữ"));
    clickOn(canvas);
    ASSERT_TRUE(e2e::waitUntil([&] { return canvas->document().undoCount() == 5; }));
    QTest::qWait(200);
    const QString path = e2e::saveScreenPicture(QStringLiteral("image-editor"));
    EXPECT_FALSE(QImage(path).isNull());
}
