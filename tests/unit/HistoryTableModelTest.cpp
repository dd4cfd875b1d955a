#include "main/App/HistoryTableModel.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <memory>

namespace {

// Pumps the GUI thread's events until the condition holds; the limit only bounds a hang.
bool waitFor(const std::function<bool()>& condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 20000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

CaptureItem capture(const QString& type, const QString& path,
                    QDateTime createdAt = QDateTime::currentDateTime()) {
    return CaptureItem{1, type, path, std::move(createdAt)};
}

QImage decoration(const HistoryTableModel& model, int row) {
    return model.data(model.index(row, HistoryTableModel::thumbColumn), Qt::DecorationRole)
        .value<QImage>();
}

QString text(const HistoryTableModel& model, int row, int column) {
    return model.data(model.index(row, column)).toString();
}

}  // namespace

TEST(HistoryTableModel, HasFourColumnsWithTheirTitles) {
    HistoryTableModel model;
    EXPECT_EQ(model.columnCount(), 4);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Xem trước"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Loại"));
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Thời gian"));
    EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Tệp"));
}

TEST(HistoryTableModel, SetItemsResetsTheRows) {
    HistoryTableModel model;
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    EXPECT_EQ(model.rowCount(), 0);
    model.setItems({capture("screenshot", "/a.png"), capture("video", "/b.mov")});
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(resets.count(), 1);
    model.setItems({});
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 0);
}

TEST(HistoryTableModel, KindIsImageOnlyForExactlyScreenshot) {
    HistoryTableModel model;
    model.setItems({capture("screenshot", "/a.png"), capture("video", "/b.mov"),
                    capture("Screenshot", "/c.png"), capture("", "/d"), capture("gif", "/e.gif")});
    EXPECT_EQ(text(model, 0, HistoryTableModel::typeColumn), QStringLiteral("Ảnh"));
    for (int row = 1; row < 5; ++row) {
        EXPECT_EQ(text(model, row, HistoryTableModel::typeColumn), QStringLiteral("Video")) << row;
    }
}

TEST(HistoryTableModel, TimeIsShownInLocalTimeWithTheFixedPattern) {
    const QDateTime local(QDate(2026, 3, 5), QTime(7, 8, 9), Qt::LocalTime);
    HistoryTableModel model;
    model.setItems({capture("screenshot", "/a.png", local),
                    capture("screenshot", "/b.png", local.toUTC()),
                    capture("screenshot", "/c.png", QDateTime())});
    EXPECT_EQ(text(model, 0, HistoryTableModel::dateColumn), QStringLiteral("05/03/2026 07:08:09"));
    EXPECT_EQ(text(model, 1, HistoryTableModel::dateColumn), QStringLiteral("05/03/2026 07:08:09"));
    EXPECT_EQ(text(model, 2, HistoryTableModel::dateColumn), QString());
}

TEST(HistoryTableModel, FileColumnShowsTheLastPathComponent) {
    HistoryTableModel model;
    model.setItems(
        {capture("screenshot",
                 "/home/u/Documents/Quorvastelin/Screenshots/Screenshot_2026-01-02_03-04-05.png"),
         capture("video", "/home/u/Ghi hình/Bản ghi 1.mov"), capture("video", "/tmp/folder/"),
         capture("video", "plain.mov")});
    EXPECT_EQ(text(model, 0, HistoryTableModel::fileColumn),
              QStringLiteral("Screenshot_2026-01-02_03-04-05.png"));
    EXPECT_EQ(text(model, 1, HistoryTableModel::fileColumn), QStringLiteral("Bản ghi 1.mov"));
    EXPECT_EQ(text(model, 2, HistoryTableModel::fileColumn), QStringLiteral("folder"));
    EXPECT_EQ(text(model, 3, HistoryTableModel::fileColumn), QStringLiteral("plain.mov"));
}

TEST(HistoryTableModel, OnlyTheThumbnailColumnHasAPictureAndOnlyIt) {
    HistoryTableModel model;
    model.setItems({capture("screenshot", "/a.png")});
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::DisplayRole).isValid());
    EXPECT_FALSE(model.data(model.index(0, 1), Qt::DecorationRole).isValid());
    EXPECT_FALSE(model.data(model.index(0, 3), Qt::ToolTipRole).isValid());
    EXPECT_FALSE(model.data(model.index(5, 1), Qt::DisplayRole).isValid());
    EXPECT_FALSE(model.data(QModelIndex(), Qt::DisplayRole).isValid());
}

TEST(HistoryTableModel, ThumbnailStartsAsAWindowColouredBoxThenArrivesWithDataChanged) {
    auto drawings = std::make_shared<std::atomic<int>>(0);
    auto cache =
        std::make_unique<ThumbnailCache>([drawings](const CaptureItem&, QSize size, const QColor&) {
            ++*drawings;
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::magenta);
            return image;
        });
    HistoryTableModel model(std::move(cache));
    model.setItems({capture("screenshot", "/a.png"), capture("video", "/b.mov"),
                    capture("screenshot", "/a.png")});
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);

    const QImage waiting = decoration(model, 0);
    EXPECT_EQ(waiting.size(), HistoryTableModel::thumbnailSize);
    EXPECT_EQ(waiting.pixelColor(46, 27), QGuiApplication::palette().color(QPalette::Window));
    decoration(model, 2);

    ASSERT_TRUE(waitFor([&] { return changes.count() >= 2; }));
    QCoreApplication::processEvents();
    // Both rows showing the file learn of it; the other row does not.
    ASSERT_EQ(changes.count(), 2);
    for (const auto& change : changes) {
        const auto cell = change.at(0).value<QModelIndex>();
        EXPECT_EQ(cell, change.at(1).value<QModelIndex>());
        EXPECT_EQ(cell.column(), HistoryTableModel::thumbColumn);
        EXPECT_TRUE(cell.row() == 0 || cell.row() == 2);
        EXPECT_EQ(change.at(2).value<QList<int>>(), QList<int>{Qt::DecorationRole});
    }
    EXPECT_EQ(decoration(model, 0).pixelColor(46, 27), QColor(Qt::magenta));
    EXPECT_EQ(decoration(model, 2).pixelColor(46, 27), QColor(Qt::magenta));
    EXPECT_EQ(drawings->load(), 1);
}

TEST(HistoryTableModel, ThumbnailArrivingAfterTheListChangedIsHarmless) {
    auto drawn = std::make_shared<std::atomic<int>>(0);
    HistoryTableModel model(
        std::make_unique<ThumbnailCache>([drawn](const CaptureItem&, QSize size, const QColor&) {
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::cyan);
            ++*drawn;
            return image;
        }));
    model.setItems({capture("screenshot", "/missing/a.png")});
    decoration(model, 0);
    model.setItems({capture("video", "/missing/b.mov")});
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(waitFor([&] { return drawn->load() == 1; }));
    for (int turn = 0; turn < 5; ++turn) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(changes.count(), 0);
    decoration(model, 0);
    ASSERT_TRUE(waitFor([&] { return changes.count() == 1; }));
    EXPECT_EQ(decoration(model, 0).pixelColor(0, 0), QColor(Qt::cyan));
}

TEST(HistoryTableModel, RealFilesGetTheirPicturesAndMissingOnesThePlaceholder) {
    QTemporaryDir folder;
    QImage picture(1000, 500, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(folder.filePath("shot.png")));
    HistoryTableModel model;
    model.setItems({capture("screenshot", folder.filePath("shot.png")),
                    capture("screenshot", folder.filePath("gone.png"))});
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    decoration(model, 0);
    decoration(model, 1);
    ASSERT_TRUE(waitFor([&] { return changes.count() == 2; }));
    EXPECT_EQ(decoration(model, 0).pixelColor(46, 27), QColor(Qt::red));
    EXPECT_EQ(decoration(model, 1), ThumbnailMaker::placeholder(HistoryTableModel::thumbnailSize));
}
