#include "main/ImageEditor/EditorCanvasView.h"
#include "main/ImageEditor/ImageEditorController.h"
#include "tests/support/E2eSupport.h"
#include "tests/support/XServer.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

QImage paper() {
    QImage image(600, 400, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

void xdotool(const QStringList& arguments) {
    ASSERT_EQ(e2e::runTool(QStringLiteral("xdotool"), arguments).exitCode, 0)
        << arguments.join(' ').toStdString();
}

void pointerTo(QWidget* widget, QPoint at, const QStringList& then = {}) {
    const QPoint global = widget->mapToGlobal(at);
    xdotool(QStringList{"mousemove", QString::number(global.x()), QString::number(global.y())} +
            then);
}

// Drags with the real pointer between two points of a widget.
void dragOn(QWidget* widget, QPoint from, QPoint to) {
    pointerTo(widget, from, {"mousedown", "1"});
    for (int step = 1; step <= 5; ++step) {
        pointerTo(widget, from + (to - from) * step / 5);
    }
    xdotool({"mouseup", "1"});
}

// Clicks the toolbar button with this title, or the widget's centre.
void clickOn(QWidget* widget, const QString& title = {}) {
    for (auto* button : widget->findChildren<QPushButton*>()) {
        widget = button->text() == title ? button : widget;
    }
    pointerTo(widget, widget->rect().center(), {"click", "1"});
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
    return QImage::fromData(bytes + xclip.readAllStandardOutput(), "PNG");
}

}  // namespace

TEST(ImageEditorE2e, DrawnRectangleReachesTheClipboardWhenReturnSaves) {
    std::optional<std::optional<QImage>> delivered;
    ImageEditorController editor(paper(),
                                 [&](std::optional<QImage> result) { delivered = result; });
    editor.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor.window()));
    EXPECT_EQ(editor.window()->size(), QSize(1200, 780));
    EditorCanvasView* canvas = editor.canvasView();

    clickOn(editor.window(), QStringLiteral("Chữ nhật"));
    ASSERT_TRUE(e2e::waitUntil([&] { return canvas->tool() == EditTool::rectangle; }));
    dragOn(canvas, QPoint(100, 80), QPoint(400, 300));
    ASSERT_TRUE(e2e::waitUntil([&] { return canvas->document().undoCount() == 1; }));
    xdotool({"key", "Return"});
    ASSERT_TRUE(e2e::waitUntil([&] { return delivered.has_value(); }));
    ASSERT_TRUE(delivered->has_value());

    const QImage copied = clipboardPng();
    ASSERT_EQ(copied.size(), QSize(600, 400));
    for (const QPoint edge :
         {QPoint(100, 200), QPoint(400, 200), QPoint(250, 80), QPoint(250, 300)}) {
        EXPECT_EQ(copied.pixel(edge), systemRed().rgb()) << edge.x() << "," << edge.y();
    }
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
    const std::pair<const char*, std::pair<QPoint, QPoint>> strokes[] = {
        {"Chữ nhật", {{40, 40}, {260, 180}}},
        {"Elip", {{300, 60}, {560, 200}}},
        {"Mũi tên", {{80, 360}, {280, 240}}},
        {"Đánh dấu", {{320, 300}, {560, 320}}},
    };
    for (const auto& [title, line] : strokes) {
        clickOn(editor.window(), QString::fromUtf8(title));
        QTest::qWait(100);
        dragOn(canvas, line.first, line.second);
    }
    clickOn(editor.window(), QStringLiteral("Chữ"));
    QTest::qWait(100);
    clickOn(canvas);
    ASSERT_TRUE(e2e::waitUntil([&] { return canvas->document().undoCount() == 5; }));
    QTest::qWait(200);
    EXPECT_FALSE(QImage(e2e::saveScreenPicture(QStringLiteral("image-editor"))).isNull());
}

// The real program alone on a laptop's 1366 × 768 screen, opened from its main window's button.
TEST(ImageEditorE2e, OnALaptopScreenTheEditorFitsAndItsSaveButtonSaves) {
    XServer laptop(1366, 768);
    ASSERT_TRUE(laptop.started());
    QProcessEnvironment onLaptop;
    onLaptop.insert(QStringLiteral("DISPLAY"), laptop.display());
    const auto xdotool = [&](const QStringList& arguments) {
        return e2e::runTool(QStringLiteral("xdotool"), arguments, std::chrono::seconds(20),
                            onLaptop)
                   .exitCode == 0;
    };
    e2e::SessionBus bus;
    QProcessEnvironment environment = bus.environment();
    environment.insert(onLaptop);
    QTemporaryDir home;
    e2e::Program program(home.path(), environment);
    ASSERT_TRUE(program.start());
    const auto shownButton = [&](const QString& title) {
        auto found = e2e::findAccessible(e2e::parseAccessibles(bus.read("quorvastelin")),
                                         QStringLiteral("push button"), title);
        return found && found->showing ? found : std::nullopt;
    };
    const auto at = [](QPoint point) {
        return QStringList{QString::number(point.x()), QString::number(point.y())};
    };

    std::optional<e2e::Accessible> button;
    ASSERT_TRUE(e2e::waitUntil([&] {
        button = shownButton(QStringLiteral("Chụp vùng"));
        return button && xdotool({"search", "--onlyvisible", "--name", "^Quorvastelin 1.0.0$"});
    }));
    ASSERT_TRUE(xdotool(QStringList{"mousemove"} + at(button->extents.center()) +
                        QStringList{"click", "1"}));
    // A drag before the overlay holds the pointer goes to the desktop; the user drags again.
    ASSERT_TRUE(e2e::repeatUntil(
        [&] {
            xdotool({"mousemove", "200", "150", "mousedown", "1", "mousemove", "400", "250",
                     "mousemove", "600", "350", "mouseup", "1"});
        },
        [&] { return (button = shownButton(QStringLiteral("Lưu & sao chép"))).has_value(); }));
    EXPECT_TRUE(QRect(0, 0, 1366, 768).contains(button->extents))
        << button->extents.x() << "," << button->extents.y() << " " << button->extents.width();
    ASSERT_TRUE(xdotool(QStringList{"mousemove"} + at(button->extents.center()) +
                        QStringList{"click", "1"}));

    const QDir folder(home.path() + QStringLiteral("/Documents/Quorvastelin/Screenshots"));
    ASSERT_TRUE(e2e::waitUntil([&] { return folder.entryList(QDir::Files).size() == 1; }));
    EXPECT_EQ(QImage(folder.filePath(folder.entryList(QDir::Files).at(0))).size(), QSize(400, 200));
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), std::optional<int>(0));
}
