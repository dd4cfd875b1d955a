#include "main/CaptureService/ThumbnailCache.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <future>
#include <memory>

namespace {

const QSize listBox(92, 54);
const qsizetype thumbBytes = 92 * 54 * 4;

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

// Counts the drawings and makes each one recognisable by its number.
struct CountingMaker {
    std::shared_ptr<std::atomic<int>> count = std::make_shared<std::atomic<int>>(0);

    ThumbnailCache::Maker maker() const {
        return [count = count](const CaptureItem&, QSize size, const QColor&) {
            const int number = ++*count;
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            image.fill(QColor::fromRgb(number, 0, 0));
            return image;
        };
    }
};

class ThumbnailCacheTest : public testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"a.png", "b.png", "c.png"}) {
            write(name, "picture");
        }
    }
    void write(const char* name, const QByteArray& bytes) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QString path(const char* name) const { return folder.filePath(QString::fromUtf8(name)); }
    CaptureItem item(const char* name) const {
        return CaptureItem{1, QStringLiteral("screenshot"), path(name), {}};
    }
    void makeCache(qsizetype byteLimit = ThumbnailCache::defaultByteLimit) {
        cache = std::make_unique<ThumbnailCache>(counting.maker(), byteLimit);
        cache->onThumbnailReady = [this](const QString& ready) {
            readyPaths.append(ready);
            readyOnGuiThread = readyOnGuiThread && QThread::currentThread() == qApp->thread();
        };
    }
    // Asks until the drawing has arrived and answers the cached picture.
    QImage drawn(const CaptureItem& asked, QSize box = listBox) {
        std::optional<QImage> answer;
        waitFor([&] { return (answer = cache->thumbnail(asked, box)).has_value(); });
        return answer.value_or(QImage());
    }
    int drawings() const { return counting.count->load(); }

    QTemporaryDir folder;
    CountingMaker counting;
    std::unique_ptr<ThumbnailCache> cache;
    QStringList readyPaths;
    bool readyOnGuiThread = true;
};

}  // namespace

TEST_F(ThumbnailCacheTest, FirstRequestAnswersNothingThenAnnouncesOnTheGuiThread) {
    makeCache();
    EXPECT_FALSE(cache->thumbnail(item("a.png"), listBox).has_value());
    ASSERT_TRUE(waitFor([&] { return !readyPaths.isEmpty(); }));
    EXPECT_EQ(readyPaths, QStringList{path("a.png")});
    EXPECT_TRUE(readyOnGuiThread);
    const auto hit = cache->thumbnail(item("a.png"), listBox);
    ASSERT_TRUE(hit.has_value());
    EXPECT_EQ(hit->size(), listBox);
    EXPECT_EQ(hit->pixelColor(0, 0), QColor::fromRgb(1, 0, 0));
}

TEST_F(ThumbnailCacheTest, UnchangedFileIsDrawnOnceHoweverOftenItIsAsked) {
    makeCache();
    for (int i = 0; i < 50; ++i) {
        cache->thumbnail(item("a.png"), listBox);
    }
    drawn(item("a.png"));
    for (int i = 0; i < 200; ++i) {
        EXPECT_TRUE(cache->thumbnail(item("a.png"), listBox).has_value());
    }
    EXPECT_EQ(drawings(), 1);
    EXPECT_EQ(readyPaths.size(), 1);
}

TEST_F(ThumbnailCacheTest, ChangedModificationTimeOrSizeIsDrawnAgain) {
    makeCache();
    drawn(item("a.png"));
    ASSERT_EQ(drawings(), 1);

    QFile file(path("a.png"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
    file.close();
    EXPECT_FALSE(cache->thumbnail(item("a.png"), listBox).has_value());
    EXPECT_EQ(drawn(item("a.png")).pixelColor(0, 0), QColor::fromRgb(2, 0, 0));

    // Same modification time, different length: still another file.
    const QDateTime stamp = QFileInfo(path("a.png")).lastModified();
    write("a.png", "a longer picture");
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(stamp, QFileDevice::FileModificationTime));
    file.close();
    EXPECT_FALSE(cache->thumbnail(item("a.png"), listBox).has_value());
    EXPECT_EQ(drawn(item("a.png")).pixelColor(0, 0), QColor::fromRgb(3, 0, 0));
    EXPECT_EQ(drawings(), 3);
}

TEST_F(ThumbnailCacheTest, EachBoxSizeAndTypeIsItsOwnPicture) {
    makeCache();
    drawn(item("a.png"));
    drawn(item("a.png"), QSize(46, 27));
    CaptureItem asVideo = item("a.png");
    asVideo.type = QStringLiteral("video");
    drawn(asVideo);
    EXPECT_EQ(drawings(), 3);
    EXPECT_EQ(cache->thumbnail(item("a.png"), QSize(46, 27))->size(), QSize(46, 27));
}

TEST_F(ThumbnailCacheTest, FileThatAppearsLaterIsDrawnAnew) {
    makeCache();
    drawn(item("late.png"));
    write("late.png", "now it exists");
    EXPECT_FALSE(cache->thumbnail(item("late.png"), listBox).has_value());
    drawn(item("late.png"));
    EXPECT_EQ(drawings(), 2);
}

TEST_F(ThumbnailCacheTest, KeepsWithinItsBudgetDroppingTheLeastRecentlyUsed) {
    makeCache(2 * thumbBytes);
    drawn(item("a.png"));
    drawn(item("b.png"));
    drawn(item("a.png"));
    drawn(item("c.png"));
    EXPECT_EQ(drawings(), 3);
    EXPECT_TRUE(cache->thumbnail(item("a.png"), listBox).has_value());
    EXPECT_TRUE(cache->thumbnail(item("c.png"), listBox).has_value());
    EXPECT_FALSE(cache->thumbnail(item("b.png"), listBox).has_value());
    drawn(item("b.png"));
    EXPECT_EQ(drawings(), 4);
}

TEST_F(ThumbnailCacheTest, DestroyedWhileDrawingNeitherCrashesNorAnnounces) {
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    auto started = std::make_shared<std::atomic<bool>>(false);
    bool announced = false;
    {
        ThumbnailCache slow([opened, started](const CaptureItem&, QSize size, const QColor&) {
            *started = true;
            opened.wait();
            return QImage(size, QImage::Format_ARGB32_Premultiplied);
        });
        slow.onThumbnailReady = [&announced](const QString&) { announced = true; };
        slow.thumbnail(item("a.png"), listBox);
        slow.thumbnail(item("b.png"), listBox);
        ASSERT_TRUE(waitFor([&] { return started->load(); }));
        gate.set_value();
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(announced);
}
