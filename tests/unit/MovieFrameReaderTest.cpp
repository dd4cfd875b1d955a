#include "platform/MovieFrameReader.h"

#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace std::chrono_literals;

namespace {

enum class Hue { red, green, blue, other };

// Encoded solid colours come back near, not exactly at, their values.
Hue hueAt(const QImage& image, int x, int y) {
    const QColor colour = image.pixelColor(x, y);
    const int r = colour.red(), g = colour.green(), b = colour.blue();
    if (r > 180 && g < 80 && b < 80) {
        return Hue::red;
    }
    if (g > 90 && r < 80 && b < 80) {
        return Hue::green;
    }
    if (b > 180 && r < 80 && g < 80) {
        return Hue::blue;
    }
    return Hue::other;
}

class MovieFrameReader : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        // One frame of blue exactly at 0.2 s between red before and green after.
        ASSERT_TRUE(
            testmedia::makeColourMovie(path("steps.mov"), {{QStringLiteral("red"), 0.2},
                                                           {QStringLiteral("blue"), 0.04},
                                                           {QStringLiteral("green"), 0.76}}));
        ASSERT_TRUE(testmedia::makeColourMovie(
            path("short.mov"), {{QStringLiteral("red"), 0.08}, {QStringLiteral("green"), 0.04}}));
        ASSERT_TRUE(testmedia::makeColourMovie(
            path("halves.mov"),
            {{QStringLiteral("red"), 1.0,
              QStringLiteral("drawbox=x=80:y=0:w=80:h=90:color=blue:t=fill")}}));
        ASSERT_TRUE(testmedia::markRotated(path("halves.mov"), path("turned.mov"), 90));
    }
    static void TearDownTestSuite() { delete folder; }
    static QString path(const char* name) { return folder->filePath(QString::fromUtf8(name)); }

    static QTemporaryDir* folder;
};
QTemporaryDir* MovieFrameReader::folder = nullptr;

}  // namespace

TEST_F(MovieFrameReader, GivesTheFrameShownAtTwoTenthsOfASecond) {
    const auto frame = platform::readMovieFrame(path("steps.mov"), 200ms);
    ASSERT_TRUE(frame.ok()) << frame.error().description.toStdString();
    EXPECT_EQ(frame.value().size(), QSize(160, 90));
    EXPECT_EQ(hueAt(frame.value(), 80, 45), Hue::blue);
}

TEST_F(MovieFrameReader, GivesTheFirstFrameAtTimeZero) {
    const auto frame = platform::readMovieFrame(path("steps.mov"), 0ms);
    ASSERT_TRUE(frame.ok());
    EXPECT_EQ(hueAt(frame.value(), 80, 45), Hue::red);
}

TEST_F(MovieFrameReader, MovieShorterThanTheTimeGivesItsLastFrame) {
    const auto frame = platform::readMovieFrame(path("short.mov"), 200ms);
    ASSERT_TRUE(frame.ok()) << frame.error().description.toStdString();
    EXPECT_EQ(hueAt(frame.value(), 80, 45), Hue::green);
}

TEST_F(MovieFrameReader, UnturnedMovieKeepsItsStoredOrientation) {
    const auto frame = platform::readMovieFrame(path("halves.mov"), 200ms);
    ASSERT_TRUE(frame.ok());
    EXPECT_EQ(hueAt(frame.value(), 20, 45), Hue::red);
    EXPECT_EQ(hueAt(frame.value(), 140, 45), Hue::blue);
}

// ffmpeg itself shows this file as 90 x 160 with the blue half on top.
TEST_F(MovieFrameReader, DisplayMatrixTurnsTheFrameAsPlayersShowIt) {
    const auto frame = platform::readMovieFrame(path("turned.mov"), 200ms);
    ASSERT_TRUE(frame.ok()) << frame.error().description.toStdString();
    ASSERT_EQ(frame.value().size(), QSize(90, 160));
    EXPECT_EQ(hueAt(frame.value(), 45, 20), Hue::blue);
    EXPECT_EQ(hueAt(frame.value(), 45, 140), Hue::red);
}

TEST_F(MovieFrameReader, UnreadableInputsAreErrorsNotCrashesOrHangs) {
    ASSERT_TRUE(testmedia::makeAudioOnlyMovie(path("audio.mov")));
    ASSERT_TRUE(testmedia::truncateCopy(path("steps.mov"), path("cut.mov"), 0.5));
    ASSERT_TRUE(QDir(folder->path()).mkdir(QStringLiteral("folder.mov")));
    QFile garbage(path("garbage.mov"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, '\x5a'));
    garbage.close();
    QFile(path("empty.mov")).open(QIODevice::WriteOnly);
    ASSERT_EQ(mkfifo(QFile::encodeName(path("pipe.mov")).constData(), 0600), 0);

    for (const char* name : {"missing.mov", "folder.mov", "cut.mov", "audio.mov", "garbage.mov",
                             "empty.mov", "pipe.mov"}) {
        const auto frame = platform::readMovieFrame(path(name), 200ms);
        EXPECT_FALSE(frame.ok()) << name;
        if (!frame.ok()) {
            EXPECT_FALSE(frame.error().description.isEmpty()) << name;
        }
    }
}

// With the index at the front, a cut file still has some frames; whatever comes back must be
// a whole picture of the movie's size.
TEST_F(MovieFrameReader, MovieCutShortAfterItsIndexGivesAFrameOrAnError) {
    ASSERT_TRUE(testmedia::runFfmpeg({QStringLiteral("-i"), path("steps.mov"), QStringLiteral("-c"),
                                      QStringLiteral("copy"), QStringLiteral("-movflags"),
                                      QStringLiteral("+faststart"), path("front.mov")}));
    for (const double kept : {0.1, 0.3, 0.6, 0.9}) {
        const QString cut = path("front-cut.mov");
        QFile::remove(cut);
        ASSERT_TRUE(testmedia::truncateCopy(path("front.mov"), cut, kept));
        const auto frame = platform::readMovieFrame(cut, 200ms);
        if (frame.ok()) {
            EXPECT_EQ(frame.value().size(), QSize(160, 90)) << kept;
        }
    }
}

TEST_F(MovieFrameReader, MovieWithDamagedPacketsGivesAFrameOrAnError) {
    ASSERT_TRUE(testmedia::runFfmpeg({QStringLiteral("-i"), path("steps.mov"), QStringLiteral("-c"),
                                      QStringLiteral("copy"), QStringLiteral("-movflags"),
                                      QStringLiteral("+faststart"), path("front.mov")}));
    QFile source(path("front.mov"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray original = source.readAll();
    // Spoil the data after the index with every stride, from sparse to dense damage.
    for (const int stride : {997, 211, 37}) {
        QByteArray damaged = original;
        for (qsizetype at = damaged.size() / 4; at < damaged.size(); at += stride) {
            damaged[at] = static_cast<char>(damaged[at] ^ 0x5a);
        }
        QFile out(path("damaged.mov"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(damaged);
        out.close();
        const auto frame = platform::readMovieFrame(path("damaged.mov"), 200ms);
        if (frame.ok()) {
            EXPECT_EQ(frame.value().size(), QSize(160, 90)) << stride;
        }
    }
}
