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

CaptureItem capture(const QString& type, const QString& path, QDateTime createdAt = {}) {
    return CaptureItem{1, type, path, std::move(createdAt)};
}

QColor thumbnailCentre(const HistoryTableModel& model, int row) {
    return model.data(model.index(row, HistoryTableModel::thumbColumn), Qt::DecorationRole)
        .value<QImage>()
        .pixelColor(46, 27);
}

}  // namespace

TEST(HistoryTableModel, ThumbnailStartsAsAWindowColouredBoxAndALateOneForAnOldListIsHarmless) {
    auto drawings = std::make_shared<std::atomic<int>>(0);
    // Thumbnails drawn as magenta boxes, the drawings counted.
    HistoryTableModel model(std::make_unique<ThumbnailCache>(
        [drawings](const CaptureItem&, QSize size, const QColor&, qreal) {
            ++*drawings;
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::magenta);
            return image;
        }));
    model.setItems({capture("screenshot", "/missing/a.png")});
    EXPECT_EQ(thumbnailCentre(model, 0), QGuiApplication::palette().color(QPalette::Window));
    model.setItems({capture("video", "/missing/b.mov")});
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(QTest::qWaitFor([&] { return drawings->load() == 1; }, 20000));
    for (int turn = 0; turn < 5; ++turn) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(changes.count(), 0);
    thumbnailCentre(model, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.count() == 1; }, 20000));
    EXPECT_EQ(thumbnailCentre(model, 0), QColor(Qt::magenta));
}
