#include "main/App/HistoryTableModel.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <memory>

namespace {

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

// A model whose thumbnails are solid colour boxes, drawings counted.
std::unique_ptr<ThumbnailCache> solidThumbnails(std::shared_ptr<std::atomic<int>> drawings,
                                                QColor colour) {
    return std::make_unique<ThumbnailCache>(
        [drawings, colour](const CaptureItem&, QSize size, const QColor&, qreal) {
            ++*drawings;
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            image.fill(colour);
            return image;
        });
}

}  // namespace

TEST(HistoryTableModel, ShowsKindLocalTimeAndFileNameUnderTheFourTitles) {
    HistoryTableModel model;
    QStringList titles;
    for (int column = 0; column < model.columnCount(); ++column) {
        titles << model.headerData(column, Qt::Horizontal).toString();
    }
    EXPECT_EQ(titles, QStringList({"Xem trước", "Loại", "Thời gian", "Tệp"}));

    const QDateTime local(QDate(2026, 3, 5), QTime(7, 8, 9), Qt::LocalTime);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    model.setItems({capture("screenshot", "/home/u/Screenshots/Screenshot_2026-01-02.png", local),
                    capture("video", "/home/u/Ghi hình/Bản ghi 1.mov", local.toUTC()),
                    capture("Screenshot", "/tmp/folder/", QDateTime()), capture("", "plain.mov")});
    EXPECT_EQ(resets.count(), 1);
    ASSERT_EQ(model.rowCount(), 4);
    const auto column = [&](int index) {
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row) {
            texts << text(model, row, index);
        }
        return texts;
    };
    // Only exactly "screenshot" is a picture.
    EXPECT_EQ(column(HistoryTableModel::typeColumn),
              QStringList({"Ảnh", "Video", "Video", "Video"}));
    EXPECT_EQ(column(HistoryTableModel::dateColumn).mid(0, 3),
              QStringList({"05/03/2026 07:08:09", "05/03/2026 07:08:09", ""}));
    EXPECT_EQ(column(HistoryTableModel::fileColumn),
              QStringList({"Screenshot_2026-01-02.png", "Bản ghi 1.mov", "folder", "plain.mov"}));

    model.setItems({});
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(HistoryTableModel, ThumbnailStartsAsAWindowColouredBoxThenArrivesWithDataChanged) {
    auto drawings = std::make_shared<std::atomic<int>>(0);
    HistoryTableModel model(solidThumbnails(drawings, Qt::magenta));
    model.setItems({capture("screenshot", "/a.png"), capture("video", "/b.mov"),
                    capture("screenshot", "/a.png")});
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);

    const QImage waiting = decoration(model, 0);
    EXPECT_EQ(waiting.size(), HistoryTableModel::thumbnailSize);
    EXPECT_EQ(waiting.pixelColor(46, 27), QGuiApplication::palette().color(QPalette::Window));
    decoration(model, 2);

    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.count() >= 2; }, 20000));
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
    auto drawings = std::make_shared<std::atomic<int>>(0);
    HistoryTableModel model(solidThumbnails(drawings, Qt::cyan));
    model.setItems({capture("screenshot", "/missing/a.png")});
    decoration(model, 0);
    model.setItems({capture("video", "/missing/b.mov")});
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(QTest::qWaitFor([&] { return drawings->load() == 1; }, 20000));
    for (int turn = 0; turn < 5; ++turn) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(changes.count(), 0);
    decoration(model, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.count() == 1; }, 20000));
    EXPECT_EQ(decoration(model, 0).pixelColor(0, 0), QColor(Qt::cyan));
}
