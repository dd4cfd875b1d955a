#include "main/App/MainWindowController.h"

#include "main/App/HistoryTableModel.h"
#include "platform/ffmpeg/MovieFrameReader.h"
#include "tests/unit/FakeKeyboard.h"
#include "tests/unit/region/FakeScreens.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

namespace {

class FakeOpener : public platform::DesktopOpener {
  public:
    bool open(const QString& path) override {
        opened << path;
        return true;
    }
    QStringList opened;
};

// A main window over a real history file, a remapper and capture service whose platform
// seams are fakes, and the real editor.
class MainWindowControllerTest : public testing::Test {
  protected:
    MainWindowControllerTest() {
        database->add("screenshot", "/captures/old.png");
        controller->showWindow();
    }
    void TearDown() override {
        controller.reset();
        capture.reset();
        runDeferredDeletes();
        popLeftoverCursors();
        QDir(CaptureService::rootFolder()).removeRecursively();
    }

    QWidget* window() const { return controller->window(); }
    QCheckBox* mappingSwitch() const { return window()->findChild<QCheckBox*>(); }
    QTableView* table() const { return window()->findChild<QTableView*>(); }
    QPushButton* button(const QString& title) const {
        const auto buttons = window()->findChildren<QPushButton*>();
        return *std::ranges::find_if(buttons,
                                     [&](auto* button) { return button->text() == title; });
    }

    QTemporaryDir support;
    std::shared_ptr<HistoryDatabase> database = std::make_shared<HistoryDatabase>(support.path());
    std::shared_ptr<FakeHotKeys> hotKeys = std::make_shared<FakeHotKeys>();
    std::shared_ptr<KeyRemapper> remapper = std::make_shared<KeyRemapper>(
        KeyRemapperPlatform{std::make_shared<FakeMappingTool>(), hotKeys});
    std::shared_ptr<CaptureService> capture =
        std::make_shared<CaptureService>(database, fakeDesk());
    std::shared_ptr<FakeOpener> opener = std::make_shared<FakeOpener>();
    std::unique_ptr<MainWindowController> controller = std::make_unique<MainWindowController>(
        database, capture, remapper,
        MainWindowPlatform{.readMovieFrame = platform::readMovieFrame, .opener = opener});
};

// The switch turned off by whatever flips it (a screen reader's toggle is no click), and hot
// keys the desktop refuses later are said to be off, with the desktop's reason.
TEST_F(MainWindowControllerTest, SwitchOffStopsAndUpkeepLeavesTheMappingOffUntilReenabled) {
    EXPECT_EQ(mappingSwitch()->text(),
              "Windows Mode: Command → Control  •  Control giữ nguyên  •  Option = Alt");
    remapper->start();
    hotKeys->fail("Cổng phím tắt báo lỗi");
    EXPECT_EQ(controller->status->text(),
              "Phím tắt Command + 4 và Command + 5 đang tắt: Cổng phím tắt báo lỗi");
    mappingSwitch()->toggle();
    EXPECT_FALSE(remapper->isRunning());
    controller->refreshPermissionState();
    EXPECT_FALSE(remapper->isRunning());
    EXPECT_EQ(window()->findChildren<QLabel*>().at(0)->text(), "Command → Control đang tắt");

    // The re-enable button brings the mapping back while the switch keeps showing off.
    button("Bật lại đổi phím")->click();
    EXPECT_TRUE(remapper->isRunning());
    EXPECT_FALSE(mappingSwitch()->isChecked());
}

TEST_F(MainWindowControllerTest, ListReloadsAfterASaveAndDoubleClickOrOpenFolderOpenTheirPlace) {
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::blue);
    const auto saved = savedScreenshot(*capture, image);
    ASSERT_TRUE(saved);
    const auto* rows = static_cast<const HistoryTableModel*>(table()->model());
    ASSERT_EQ(rows->rowCount(), 2);
    EXPECT_EQ(rows->items().front().path, *saved);
    EXPECT_EQ(rows->data(rows->index(0, HistoryTableModel::thumbColumn), Qt::DecorationRole)
                  .value<QImage>()
                  .deviceIndependentSize(),
              QSizeF(92, 54));
    const QModelIndex second = rows->index(1, HistoryTableModel::fileColumn);
    const QPoint spot = table()->visualRect(second).center();
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, spot);
    EXPECT_TRUE(opener->opened.isEmpty());  // nothing is selected yet
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, spot);
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, spot);
    EXPECT_EQ(opener->opened, QStringList{"/captures/old.png"});

    QDir(CaptureService::rootFolder()).removeRecursively();
    button("Mở thư mục")->click();
    EXPECT_TRUE(QDir(CaptureService::rootFolder()).exists());
    EXPECT_EQ(opener->opened.last(), CaptureService::rootFolder());
}

}  // namespace
