#include "main/CaptureService/ThumbnailCache.h"

#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <future>
#include <memory>

namespace {

const QSize listBox(92, 54);

CaptureItem item(const QTemporaryDir& folder, const char* name, const char* type = "screenshot") {
    return CaptureItem{1, type, folder.filePath(name), {}};
}

}  // namespace

TEST(ThumbnailCache, UnchangedFileIsDrawnOnceAwayFromTheGuiThreadAndAnnouncedOnIt) {
    QTemporaryDir folder;
    auto drawings = std::make_shared<std::atomic<int>>(0);
    QStringList readyPaths;
    bool readyOnGuiThread = true;
    // Drawings are counted and recognisable by their number, the red channel.
    ThumbnailCache cache([drawings](const CaptureItem&, QSize size, const QColor&, qreal) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor::fromRgb(++*drawings, 0, 0));
        return image;
    });
    cache.onThumbnailReady = [&](const QString& ready) {
        readyPaths.append(ready);
        readyOnGuiThread = readyOnGuiThread && QThread::currentThread() == qApp->thread();
    };
    // Asks until the drawing has arrived and answers its number.
    const auto drawn = [&](const CaptureItem& asked, QSize box = listBox) {
        std::optional<QImage> answer;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return (answer = cache.thumbnail(asked, box)).has_value(); }, 20000));
        return answer ? answer->pixelColor(0, 0).red() : 0;
    };
    const auto rewrite = [&](const QByteArray& bytes, const QDateTime& modified) {
        QFile file(folder.filePath("a.png"));
        return testmedia::writeFile(file.fileName(), bytes) && file.open(QIODevice::ReadWrite) &&
               file.setFileTime(modified, QFileDevice::FileModificationTime);
    };

    const QDateTime stamp = QDateTime::currentDateTime().addSecs(-3600);
    ASSERT_TRUE(rewrite("picture", stamp));
    EXPECT_FALSE(cache.thumbnail(item(folder, "a.png"), listBox).has_value());
    EXPECT_FALSE(cache.thumbnail(item(folder, "a.png"), listBox).has_value());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !readyPaths.isEmpty(); }, 20000));
    EXPECT_EQ(cache.thumbnail(item(folder, "a.png"), listBox).value_or(QImage()).size(), listBox);
    EXPECT_EQ(drawings->load(), 1);
    EXPECT_EQ(readyPaths, QStringList{folder.filePath("a.png")});
    EXPECT_TRUE(readyOnGuiThread);

    // A changed time, length, box, type or existence is another drawing.
    ASSERT_TRUE(rewrite("picture", stamp.addSecs(60)));
    EXPECT_EQ(drawn(item(folder, "a.png")), 2);
    ASSERT_TRUE(rewrite("a longer picture", stamp.addSecs(60)));
    EXPECT_EQ(drawn(item(folder, "a.png")), 3);
    EXPECT_EQ(drawn(item(folder, "a.png"), QSize(46, 27)), 4);
    EXPECT_EQ(drawn(item(folder, "a.png", "video")), 5);
    EXPECT_EQ(drawn(item(folder, "late.png")), 6);
    ASSERT_TRUE(testmedia::writeFile(folder.filePath("late.png"), "now it exists"));
    EXPECT_EQ(drawn(item(folder, "late.png")), 7);
}

TEST(ThumbnailCache, DestroyedWhileDrawingNeitherCrashesNorAnnounces) {
    QTemporaryDir folder;
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    auto started = std::make_shared<std::atomic<bool>>(false);
    bool announced = false;
    {
        ThumbnailCache slow(
            [opened, started](const CaptureItem&, QSize size, const QColor&, qreal) {
                *started = true;
                opened.wait();
                return QImage(size, QImage::Format_ARGB32_Premultiplied);
            });
        slow.onThumbnailReady = [&announced](const QString&) { announced = true; };
        slow.thumbnail(item(folder, "a.png"), listBox);
        slow.thumbnail(item(folder, "b.png"), listBox);
        ASSERT_TRUE(QTest::qWaitFor([&] { return started->load(); }, 20000));
        gate.set_value();
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(announced);
}
