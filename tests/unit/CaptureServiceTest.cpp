#include "main/CaptureService/CaptureFileNaming.h"
#include "main/CaptureService/CaptureService.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

class RecordingClipboard : public platform::Clipboard {
  public:
    explicit RecordingClipboard(QStringList& events) : events(events) {}
    void setPng(const QByteArray& bytes) override {
        png = bytes;
        events << "clipboard";
    }
    void setImage(const QImage&) override { events << "clipboard image"; }
    QByteArray png;

  private:
    QStringList& events;
};

const QDateTime fixedNow(QDate(2024, 3, 7), QTime(9, 5, 2));

QImage screenshotLikeImage() {
    QImage image(64, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(10, 120, 200));
    image.setDevicePixelRatio(2);
    return image;
}

// A service over a real database in a temporary support folder, recording the order of its
// outward effects.
struct ServiceFixture : testing::Test {
    QTemporaryDir support;
    QStringList events;
    std::shared_ptr<HistoryDatabase> database = std::make_shared<HistoryDatabase>(support.path());
    std::shared_ptr<RecordingClipboard> clipboard = std::make_shared<RecordingClipboard>(events);
    CaptureService service{database, CapturePlatform{clipboard, [] { return fixedNow; }}};
    QString screenshots = CaptureService::rootFolder() + "/Screenshots";

    void SetUp() override {
        QDir(CaptureService::rootFolder()).removeRecursively();
        service.onStatus = [this](const QString& text) { events << "status: " + text; };
        service.onHistoryChanged = [this] {
            events << QString("history: %1 rows").arg(database->recent().size());
        };
    }
    void TearDown() override { QDir(CaptureService::rootFolder()).removeRecursively(); }
};

}  // namespace

TEST(CaptureFileNaming, CountsUpPastFilesAndFoldersWithTheCandidateName) {
    QTemporaryDir folder;
    const auto next = [&] {
        return QFileInfo(chooseCaptureFilePath(folder.path(), "Screenshot", "png", fixedNow))
            .fileName();
    };
    EXPECT_EQ(next(), "Screenshot_2024-03-07_09-05-02.png");
    QFile(folder.filePath(next())).open(QIODevice::WriteOnly);
    EXPECT_EQ(next(), "Screenshot_2024-03-07_09-05-02_1.png");
    QDir(folder.path()).mkdir(next());
    EXPECT_EQ(next(), "Screenshot_2024-03-07_09-05-02_2.png");
    EXPECT_EQ(chooseCaptureFilePath(folder.path(), "Recording", "mov",
                                    QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59))),
              folder.filePath("Recording_2024-12-31_23-59-59.mov"));
}

TEST_F(ServiceFixture, SaveWritesPngThenClipboardThenRowThenListThenStatus) {
    const auto saved = service.saveScreenshot(screenshotLikeImage());
    ASSERT_TRUE(saved);
    EXPECT_EQ(*saved, QDir::homePath() +
                          "/Documents/Quorvastelin/Screenshots/Screenshot_2024-03-07_09-05-02.png");
    EXPECT_EQ(events,
              (QStringList{"clipboard", "history: 1 rows",
                           "status: Đã lưu và sao chép: Screenshot_2024-03-07_09-05-02.png"}));
    QFile file(*saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), clipboard->png);
    const QImage written(*saved);
    EXPECT_EQ(written.size(), QSize(64, 40));
    EXPECT_EQ(written.pixelColor(5, 5), QColor(10, 120, 200));
    const auto rows = database->recent();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].type, "screenshot");
    EXPECT_EQ(rows[0].path, *saved);

    // Later saves in the same second count up; deleted folders are made again, and unset
    // callbacks are skipped.
    EXPECT_TRUE(service.saveScreenshot(screenshotLikeImage()).value_or("").endsWith("02_1.png"));
    QDir(CaptureService::rootFolder()).removeRecursively();
    service.onStatus = nullptr;
    service.onHistoryChanged = nullptr;
    EXPECT_TRUE(service.saveScreenshot(screenshotLikeImage()));
}

TEST_F(ServiceFixture, FailedSavesReportWhyAndHaveNoOtherEffect) {
    QDir().mkpath(CaptureService::rootFolder());
    QFile blocker(screenshots);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(service.saveScreenshot(screenshotLikeImage()));
    EXPECT_FALSE(service.saveScreenshot(QImage()));
    ASSERT_EQ(events.size(), 2);
    for (const QString& event : events) {
        EXPECT_TRUE(event.startsWith("status: Không thể lưu ảnh chụp: ")) << event.toStdString();
        EXPECT_GT(event.size(), QString("status: Không thể lưu ảnh chụp: ").size());
    }
    EXPECT_TRUE(clipboard->png.isEmpty());
    EXPECT_TRUE(database->recent().empty());
}
