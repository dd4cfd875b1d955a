#include "main/App/HistoryTableModel.h"
#include "main/HistoryDatabase.h"
#include "tests/support/E2eSupport.h"
#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QPainter>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryFile>

namespace {

// Left half red, right half blue.
QImage halves(QSize size) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QPainter(&picture).fillRect(size.width() / 2, 0, size.width() / 2, size.height(), Qt::blue);
    return picture;
}

// The list as the main window lays it out: row height 64, the four column widths, file names
// shortened in the middle, no row numbers, in an 860 x 560 window.
void layOutLikeTheMainWindow(QTableView& view) {
    view.setGeometry(200, 300, 860, 560);
    view.verticalHeader()->hide();
    view.verticalHeader()->setDefaultSectionSize(64);
    view.setTextElideMode(Qt::ElideMiddle);
    const int widths[] = {112, 70, 165, 300};
    for (int column = 0; column < 4; ++column) {
        view.horizontalHeader()->resizeSection(column, widths[column]);
    }
}

// What the X server shows of the window, read back the way a screenshot tool would.
QImage windowPicture(const QWidget& window) {
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/quorvastelin-window-XXXXXX.png"));
    file.open();
    file.close();
    e2e::runTool(QStringLiteral("import"),
                 {QStringLiteral("-display"), e2e::display(), QStringLiteral("-window"),
                  QString::number(window.winId()), file.fileName()});
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
    const QString shots = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
                          QStringLiteral("/Quorvastelin/Screenshots");
    const QString movies = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
                           QStringLiteral("/Quorvastelin/Recordings");
    ASSERT_TRUE(QDir().mkpath(shots));
    ASSERT_TRUE(QDir().mkpath(movies));
    const QString shot = shots + QStringLiteral("/Screenshot_2026-12-06_10-00-00.png");
    ASSERT_TRUE(halves({1600, 800}).save(shot));
    const QString movie = movies + QStringLiteral("/Recording_2026-12-06_10-01-00.mov");
    ASSERT_TRUE(testmedia::makeColourMovie(movie, {{QStringLiteral("red"), 0.2},
                                                   {QStringLiteral("blue"), 0.04},
                                                   {QStringLiteral("green"), 0.76}}));
    const QString cut = shots + QStringLiteral("/Screenshot_2026-12-06_10-02-00.png");
    ASSERT_TRUE(testmedia::truncateCopy(shot, cut, 0.4));
    const QString folderInPlace = shots + QStringLiteral("/Screenshot_2026-12-06_10-03-00.png");
    ASSERT_TRUE(QDir().mkpath(folderInPlace));
    const QString silent = movies + QStringLiteral("/Recording_2026-12-06_10-04-00.mov");
    ASSERT_TRUE(testmedia::makeAudioOnlyMovie(silent));
    const QString deleted = shots + QStringLiteral("/Screenshot_2026-12-06_10-05-00.png");
    const QString longName =
        shots + QStringLiteral(
                    "/Screenshot_rất_dài_của_một_buổi_họp_quan_trọng_với_khách_hàng_"
                    "2026-12-06_10-06-00.png");
    ASSERT_TRUE(QFile::copy(shot, longName));

    HistoryDatabase database;
    for (const auto& [type, path] :
         std::vector<std::pair<QString, QString>>{{"screenshot", shot},
                                                  {"video", movie},
                                                  {"screenshot", cut},
                                                  {"screenshot", folderInPlace},
                                                  {"video", silent},
                                                  {"screenshot", deleted},
                                                  {"screenshot", longName}}) {
        database.add(type, path);
    }
    const auto items = database.recent();
    ASSERT_EQ(items.size(), 7u);

    HistoryTableModel model;
    model.setItems(items);
    QSignalSpy arrivals(&model, &QAbstractItemModel::dataChanged);
    QTableView view;
    view.setModel(&model);
    layOutLikeTheMainWindow(view);
    view.show();
    // Seven distinct files, each drawn once and announced once.
    ASSERT_TRUE(e2e::waitUntil([&] { return arrivals.count() == 7; }));

    // Newest first: the long name, deleted, silent, folder, cut, movie, screenshot.
    const auto cellOnScreen = [&](int row) {
        QRect cell = view.visualRect(model.index(row, HistoryTableModel::thumbColumn));
        cell.translate(view.viewport()->mapTo(&view, QPoint(0, 0)));
        return cell;
    };
    QImage picture;
    ASSERT_TRUE(e2e::waitUntil([&] {
        picture = windowPicture(view);
        const Shades first = shadesIn(picture, cellOnScreen(6));
        const Shades movieCell = shadesIn(picture, cellOnScreen(5));
        return first.red > 500 && movieCell.blue > 1000;
    }));
    e2e::saveScreenPicture(QStringLiteral("history-thumbnails"));

    const Shades screenshotCell = shadesIn(picture, cellOnScreen(6));
    EXPECT_GT(screenshotCell.red, 1000);
    EXPECT_GT(screenshotCell.blue, 1000);
    const Shades movieCell = shadesIn(picture, cellOnScreen(5));
    EXPECT_GT(movieCell.blue, 3000);
    EXPECT_EQ(movieCell.red, 0);
    EXPECT_LT(movieCell.green, 50);
    for (const int row : {1, 2, 3, 4}) {
        const Shades placeholder = shadesIn(picture, cellOnScreen(row));
        EXPECT_GT(placeholder.grey, 3000) << row;
        EXPECT_GT(placeholder.white, 200) << row;
        EXPECT_EQ(placeholder.red + placeholder.blue, 0) << row;
    }
}
