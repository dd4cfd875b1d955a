#include "main/App/HistoryTableModel.h"
#include "main/HistoryDatabase.h"
#include "tests/support/E2eSupport.h"
#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QHeaderView>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryFile>

namespace {

// What the X server shows of the window, read back the way a screenshot tool would.
QImage windowPicture(const QWidget& window) {
    QTemporaryFile file(QDir::tempPath() + "/quorvastelin-window-XXXXXX.png");
    file.open();
    e2e::runTool("import", {"-display", e2e::display(), "-window", QString::number(window.winId()),
                            file.fileName()});
    return QImage(file.fileName()).convertToFormat(QImage::Format_RGB32);
}

struct Shades {
    int red = 0, blue = 0, green = 0, grey = 0, white = 0;
};
Shades shadesIn(const QImage& picture, const QRect& area) {
    Shades found;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            found.red += c.red() > 200 && c.green() < 60 && c.blue() < 60;
            found.blue += c.blue() > 180 && c.red() < 80 && c.green() < 80;
            found.green += c.green() > 90 && c.red() < 80 && c.blue() < 80;
            found.grey += c.rgb() == ThumbnailMaker::placeholderColor;
            found.white += c.rgb() == qRgb(255, 255, 255);
        }
    }
    return found;
}

}  // namespace

TEST(HistoryThumbnails, ListShowsPicturesFramesAndPlaceholdersUnderX) {
    const QString root =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/Quorvastelin/";
    ASSERT_TRUE(QDir().mkpath(root + "Screenshots") && QDir().mkpath(root + "Recordings"));
    const auto shot = [&](const char* time) {
        return root + "Screenshots/Screenshot_" + time + ".png";
    };
    const auto movie = [&](const char* time) {
        return root + "Recordings/Recording_" + time + ".mov";
    };
    ASSERT_TRUE(testmedia::halves({1600, 800}).save(shot("10-00")));
    ASSERT_TRUE(testmedia::makeColourMovie(movie("10-01"), testmedia::blueAtTwoTenths));
    ASSERT_TRUE(testmedia::truncateCopy(shot("10-00"), shot("10-02"), 0.4));
    ASSERT_TRUE(QDir().mkpath(shot("10-03")));
    ASSERT_TRUE(testmedia::makeAudioOnlyMovie(movie("10-04")));
    // Rows, oldest first: picture, movie, cut, folder, movie without video, deleted file.
    HistoryDatabase database;
    for (const QString& path : {shot("10-00"), movie("10-01"), shot("10-02"), shot("10-03"),
                                movie("10-04"), shot("10-05")}) {
        database.add(path.endsWith(".mov") ? "video" : "screenshot", path);
    }

    HistoryTableModel model;
    model.setItems(database.recent());
    ASSERT_EQ(model.rowCount(), 6);
    QSignalSpy arrivals(&model, &QAbstractItemModel::dataChanged);
    // The list as the main window lays it out.
    QTableView view;
    view.setModel(&model);
    view.setGeometry(200, 300, 860, 560);
    view.verticalHeader()->hide();
    view.verticalHeader()->setDefaultSectionSize(64);
    view.horizontalHeader()->resizeSection(HistoryTableModel::thumbColumn, 112);
    view.show();
    // Six distinct files, each drawn once and announced once.
    ASSERT_TRUE(e2e::waitUntil([&] { return arrivals.count() == 6; }));

    const auto cellOnScreen = [&](int row) {
        return view.visualRect(model.index(row, HistoryTableModel::thumbColumn))
            .translated(view.viewport()->mapTo(&view, QPoint(0, 0)));
    };
    QImage picture;
    ASSERT_TRUE(e2e::waitUntil([&] {
        picture = windowPicture(view);
        return shadesIn(picture, cellOnScreen(5)).red > 500 &&
               shadesIn(picture, cellOnScreen(4)).blue > 1000;
    }));
    e2e::saveScreenPicture("history-thumbnails");

    const Shades screenshotCell = shadesIn(picture, cellOnScreen(5));
    EXPECT_GT(screenshotCell.red, 1000);
    EXPECT_GT(screenshotCell.blue, 1000);
    const Shades movieCell = shadesIn(picture, cellOnScreen(4));
    EXPECT_GT(movieCell.blue, 3000);
    EXPECT_EQ(movieCell.red, 0);
    EXPECT_LT(movieCell.green, 50);
    for (const int row : {0, 1, 2, 3}) {
        const Shades placeholder = shadesIn(picture, cellOnScreen(row));
        EXPECT_GT(placeholder.grey, 3000) << row;
        EXPECT_GT(placeholder.white, 200) << row;
        EXPECT_EQ(placeholder.red + placeholder.blue, 0) << row;
    }
}
