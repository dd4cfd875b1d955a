#include "tests/support/E2eSupport.h"
#include "tests/support/HistoryFile.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <optional>

namespace {

const QString selecting = QStringLiteral("Đang chọn vùng chụp…");
const QString cancelled = QStringLiteral("Đã hủy chụp màn hình");
const QString mainTitle = QStringLiteral("Quorvastelin 1.0.0");
const QString editorTitle = QStringLiteral("Chỉnh sửa ảnh — Quorvastelin");

void xdotool(const QStringList& arguments) {
    ASSERT_EQ(e2e::runTool(QStringLiteral("xdotool"), arguments).exitCode, 0)
        << arguments.join(' ').toStdString();
}

QStringList at(QPoint point) {
    return {QString::number(point.x()), QString::number(point.y())};
}

void drag(QPoint from, QPoint to) {
    xdotool(QStringList{"mousemove"} + at(from) + QStringList{"mousedown", "1"});
    for (int step = 1; step <= 6; ++step) {
        xdotool(QStringList{"mousemove"} + at(from + (to - from) * step / 6));
    }
    xdotool({"mouseup", "1"});
}

QByteArray clipboardPng() {
    return e2e::runTool(QStringLiteral("xclip"),
                        {"-selection", "clipboard", "-t", "image/png", "-o"})
        .output;
}

// Keycodes of Xvfb's evdev keymap; after the mapping, Super is pressed by its keycode.
constexpr int leftSuper = 133;
constexpr int key4 = 13;

enum class Desktop { bareServer, windowManager };

// The real program on the two-monitor Xvfb showing the position pattern, read through its
// accessible tree and driven with the real keyboard and pointer; bare, and under a window
// manager with a compositor as users run it.
class ScreenshotCycleTest : public testing::TestWithParam<Desktop> {
  protected:
    void SetUp() override {
        if (GetParam() == Desktop::windowManager) {
            windowManager.emplace();
            ASSERT_TRUE(windowManager->started());
        }
        e2e::showOnRoot(e2e::positionPattern());
        ASSERT_TRUE(e2e::waitUntil([this] { return tray.said("ready"); }));
        program = std::make_unique<e2e::Program>(home.path(), bus.environment());
        ASSERT_TRUE(program->start());
        ASSERT_TRUE(e2e::waitUntil([this] { return shows(mainTitle) && statusShown("Sẵn sàng"); }))
            << dump();
        ASSERT_TRUE(e2e::waitUntil(
            [] { return e2e::keyboardOptions().contains(QStringLiteral("altwin:ctrl_win")); }));
    }
    void TearDown() override {
        program->signal(SIGTERM);
        EXPECT_EQ(program->waitForExit(), std::optional<int>(0));
    }

    QList<e2e::Accessible> tree() const {
        return e2e::parseAccessibles(bus.read(QStringLiteral("quorvastelin")));
    }
    std::string dump() const {
        return bus.read(QStringLiteral("quorvastelin")).join('\n').toStdString();
    }
    bool statusShown(const QString& text) const {
        return e2e::findAccessible(tree(), QStringLiteral("label"), text).has_value();
    }
    bool shows(const QString& title) const {
        for (const e2e::Accessible& node : tree()) {
            if (node.name == title && node.showing) {
                return true;
            }
        }
        return false;
    }
    std::optional<QString> statusStartingWith(const QString& prefix) const {
        for (const e2e::Accessible& node : tree()) {
            if (node.role == QStringLiteral("label") && node.name.startsWith(prefix)) {
                return node.name;
            }
        }
        return std::nullopt;
    }
    // Escape reaches the overlay only once it holds the keyboard, so keep pressing until the
    // cancel has been seen.
    bool cancelSelection() {
        return e2e::waitUntil([this] {
            e2e::runTool(QStringLiteral("xdotool"), {"key", "Escape"});
            return statusShown(cancelled) && shows(mainTitle);
        });
    }
    bool overlayShown() const { return e2e::overlayShown(program->pid()); }
    bool pressUntilTheOverlayShows(const QStringList& keys) {
        return e2e::repeatUntil([&] { e2e::runTool(QStringLiteral("xdotool"), keys); },
                                [this] { return overlayShown(); });
    }
    QString capturesFolder() const { return home.path() + "/Documents/Quorvastelin/Screenshots"; }

    std::optional<e2e::WindowManager> windowManager;
    QTemporaryDir home;
    e2e::SessionBus bus;
    e2e::TrayHost tray{bus};
    std::unique_ptr<e2e::Program> program;
};

TEST_P(ScreenshotCycleTest, ControlFourAndSuperFourOpenTheOverlayAndEscapeCancels) {
    ASSERT_TRUE(pressUntilTheOverlayShows({"key", "ctrl+4"}));
    EXPECT_TRUE(statusShown(selecting)) << dump();
    EXPECT_FALSE(shows(mainTitle));
    EXPECT_TRUE(cancelSelection()) << dump();

    // With the mapping on, the physical left Super key is Control. Held as people hold it,
    // the overlay takes the keyboard before the 4 is let go, and the next press still counts.
    for (int round = 0; round < 2; ++round) {
        e2e::holdChord(leftSuper, key4);
        ASSERT_TRUE(e2e::waitUntil([this] { return statusShown(selecting) && overlayShown(); }))
            << "round " << round << '\n'
            << dump();
        EXPECT_TRUE(cancelSelection()) << dump();
    }
}

TEST_P(ScreenshotCycleTest, DragAnnotateAndReturnSavesCopiesAndListsTheScreenshot) {
    ASSERT_TRUE(pressUntilTheOverlayShows({"key", "ctrl+4"}));
    const QPoint regionTopLeft(300, 400);
    drag(regionTopLeft, regionTopLeft + QPoint(400, 220));
    ASSERT_TRUE(e2e::waitUntil([this] { return shows(editorTitle); })) << dump();

    const auto rectangleTool =
        e2e::findAccessible(tree(), QStringLiteral("push button"), QStringLiteral("Chữ nhật"));
    ASSERT_TRUE(rectangleTool);
    xdotool(QStringList{"mousemove"} + at(rectangleTool->extents.center()) +
            QStringList{"click", "1"});
    const auto canvas =
        e2e::findAccessible(tree(), QStringLiteral("filler"), QStringLiteral("Ảnh đang chỉnh sửa"));
    ASSERT_TRUE(canvas) << dump();
    // The picture sits at the canvas's top-left at 100 %.
    const QPoint origin = canvas->extents.topLeft();
    QTest::qWait(200);
    drag(origin + QPoint(50, 40), origin + QPoint(250, 160));
    QTest::qWait(200);
    xdotool({"key", "Return"});

    std::optional<QString> saved;
    ASSERT_TRUE(e2e::waitUntil([&] {
        saved = statusStartingWith(QStringLiteral("Đã lưu và sao chép: "));
        return saved && shows(mainTitle);
    })) << dump();
    const QString name = saved->mid(QStringLiteral("Đã lưu và sao chép: ").size());
    EXPECT_TRUE(QRegularExpression("^Screenshot_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.png$")
                    .match(name)
                    .hasMatch())
        << name.toStdString();
    const QString path = capturesFolder() + '/' + name;

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QImage picture = QImage::fromData(bytes, "PNG");
    ASSERT_EQ(picture.size(), QSize(400, 220));
    const auto pattern = [&](int x, int y) {
        return e2e::positionColour(regionTopLeft.x() + x, regionTopLeft.y() + y);
    };
    EXPECT_EQ(picture.pixel(10, 10), pattern(10, 10));
    EXPECT_EQ(picture.pixel(150, 100), pattern(150, 100));
    EXPECT_EQ(picture.pixel(399, 219), pattern(399, 219));
    const QRgb red = qRgb(255, 59, 48);
    EXPECT_EQ(picture.pixel(150, 40), red);
    EXPECT_EQ(picture.pixel(150, 160), red);
    EXPECT_EQ(picture.pixel(50, 100), red);
    EXPECT_EQ(picture.pixel(250, 100), red);

    EXPECT_EQ(clipboardPng(), bytes);
    const auto rows = historyFile::read(home.path() + "/.local/share/Quorvastelin/history.db").rows;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], std::make_pair(QStringLiteral("screenshot"), path));

    const auto firstCell = e2e::findAccessible(tree(), QStringLiteral("table cell"), name);
    EXPECT_TRUE(firstCell) << dump();
    EXPECT_TRUE(e2e::findAccessible(tree(), QStringLiteral("table cell"), QStringLiteral("Ảnh")));
    e2e::saveScreenPicture(QStringLiteral("main-window-after-save"));
}

TEST_P(ScreenshotCycleTest, SecondStartKeepsTheEditorInFrontAndClosingItBringsBackTheWindow) {
    ASSERT_TRUE(pressUntilTheOverlayShows({"key", "ctrl+4"}));
    drag(QPoint(2000, 100), QPoint(2300, 300));
    ASSERT_TRUE(e2e::waitUntil([this] { return shows(editorTitle); })) << dump();
    e2e::Program second(home.path(), bus.environment());
    ASSERT_TRUE(second.start());
    EXPECT_EQ(second.waitForExit(), std::optional<int>(0));
    // The tree is read after the handed-over request reached the first program.
    EXPECT_FALSE(shows(mainTitle)) << dump();
    EXPECT_TRUE(shows(editorTitle));
    // A close sent while the window is still being mapped may go unseen; send it until it
    // has taken effect, as a user would click again.
    ASSERT_TRUE(e2e::waitUntil([this] {
        e2e::closeWindow(editorTitle);
        return statusShown(QStringLiteral("Đã hủy ảnh chụp")) && shows(mainTitle);
    })) << dump();

    ASSERT_TRUE(e2e::waitUntil([this] {
        e2e::closeWindow(mainTitle);
        return !shows(mainTitle);
    }));
    tray.click(QStringLiteral("Mở Quorvastelin"));
    EXPECT_TRUE(e2e::waitUntil([this] { return tray.said("clicked Mở Quorvastelin"); }));
    EXPECT_TRUE(e2e::waitUntil([this] { return shows(mainTitle); })) << dump();
    EXPECT_TRUE(statusShown(QStringLiteral("Đã hủy ảnh chụp")));
}

// Many X11 desktops set 2× through the X resources alone; the pointer then moves in half
// points.
class ScreenshotAtScaleTwoTest : public ScreenshotCycleTest {
  protected:
    void SetUp() override {
        QProcess resources;
        resources.start(QStringLiteral("xrdb"), {QStringLiteral("-merge")});
        resources.write("Xft.dpi: 192\n");
        resources.closeWriteChannel();
        ASSERT_TRUE(resources.waitForFinished());
        ScreenshotCycleTest::SetUp();
    }
};

TEST_P(ScreenshotAtScaleTwoTest, SavesExactlyTheDraggedPixels) {
    ASSERT_TRUE(pressUntilTheOverlayShows({"key", "ctrl+4"}));
    const QPoint from(1400, 300);
    drag(from, QPoint(1801, 501));
    ASSERT_TRUE(e2e::waitUntil([this] { return shows(editorTitle); })) << dump();
    QTest::qWait(200);
    xdotool({"key", "Return"});
    std::optional<QString> saved;
    ASSERT_TRUE(e2e::waitUntil([&] {
        saved = statusStartingWith(QStringLiteral("Đã lưu và sao chép: "));
        return saved.has_value();
    })) << dump();
    const QImage picture(capturesFolder() + '/' +
                         saved->mid(QStringLiteral("Đã lưu và sao chép: ").size()));
    ASSERT_EQ(picture.size(), QSize(401, 201));
    for (const QPoint corner : {QPoint(0, 0), QPoint(400, 0), QPoint(0, 200), QPoint(400, 200)}) {
        EXPECT_EQ(picture.pixel(corner),
                  e2e::positionColour(from.x() + corner.x(), from.y() + corner.y()))
            << corner.x() << ',' << corner.y();
    }
}

INSTANTIATE_TEST_SUITE_P(Desktops, ScreenshotAtScaleTwoTest, testing::Values(Desktop::bareServer),
                         [](const testing::TestParamInfo<Desktop>&) { return "BareServer"; });

TEST(ScreenshotKilled, WhileSavingLeavesNoPartialPictureUnderACaptureNameAndAnIntactHistory) {
    e2e::showOnRoot(e2e::positionPattern());
    QTemporaryDir home;
    e2e::SessionBus bus;
    e2e::Program program(home.path(), bus.environment());
    ASSERT_TRUE(program.start());
    ASSERT_TRUE(e2e::waitUntil([] { return e2e::keyboardOptions().contains("altwin:ctrl_win"); }));
    ASSERT_TRUE(e2e::repeatUntil(
        [] {
            e2e::runTool(QStringLiteral("xdotool"), {"key", "ctrl+4"});
        },
        [&] { return e2e::overlayShown(program.pid()); }));
    // The whole first monitor: a picture big enough that saving it takes a while.
    drag(QPoint(e2e::monitorA.x, e2e::monitorA.y),
         QPoint(e2e::monitorA.x + e2e::monitorA.width - 1,
                e2e::monitorA.y + e2e::monitorA.height - 1));
    ASSERT_TRUE(e2e::waitUntil([&] {
        const auto editor = e2e::findAccessible(
            e2e::parseAccessibles(bus.read(QStringLiteral("quorvastelin"))), "filler", editorTitle);
        return editor && editor->showing;
    }));
    QTest::qWait(200);
    xdotool({"key", "Return", "sleep", "0.05"});
    program.signal(SIGKILL);
    EXPECT_EQ(program.waitForExit(), std::optional<int>(-1));

    const QString folder = home.path() + "/Documents/Quorvastelin/Screenshots";
    for (const QString& name : QDir(folder).entryList({"Screenshot_*.png"}, QDir::Files)) {
        EXPECT_FALSE(QImage(folder + '/' + name).isNull()) << name.toStdString();
    }
    const auto history = historyFile::read(home.path() + "/.local/share/Quorvastelin/history.db");
    EXPECT_EQ(history.integrity, "ok");
    for (const auto& [type, path] : history.rows) {
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Desktops, ScreenshotCycleTest,
                         testing::Values(Desktop::bareServer, Desktop::windowManager),
                         [](const testing::TestParamInfo<Desktop>& info) {
                             return info.param == Desktop::bareServer ? "BareServer"
                                                                      : "WindowManager";
                         });

}  // namespace
