#include "platform/MovieFrameReader.h"

#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QDir>
#include <QTemporaryDir>

using namespace std::chrono_literals;

namespace {

enum class Hue { red, green, blue, other };

// Encoded solid colours come back near, not exactly at, their values.
Hue hueAt(const Result<QImage>& frame, int x, int y) {
    if (!frame.ok()) {
        return Hue::other;
    }
    const QColor colour = frame.value().pixelColor(x, y);
    const int r = colour.red(), g = colour.green(), b = colour.blue();
    if (r > 180 && g < 80 && b < 80) {
        return Hue::red;
    }
    if (g > 90 && r < 80 && b < 80) {
        return Hue::green;
    }
    return b > 180 && r < 80 && g < 80 ? Hue::blue : Hue::other;
}

class MovieFrameReader : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        ASSERT_TRUE(testmedia::makeColourMovie(path("steps.mov"), testmedia::blueAtTwoTenths));
        ASSERT_TRUE(
            testmedia::remux(path("steps.mov"), path("front.mov"), {"-movflags", "+faststart"}));
    }
    static void TearDownTestSuite() { delete folder; }
    static QString path(const char* name) { return folder->filePath(QString::fromUtf8(name)); }
    static Result<QImage> read(const char* name, std::chrono::milliseconds time = 200ms) {
        return platform::readMovieFrame(path(name), time);
    }

    static QTemporaryDir* folder;
};
QTemporaryDir* MovieFrameReader::folder = nullptr;

}  // namespace

TEST_F(MovieFrameReader, GivesTheFrameOnScreenAtTheTimeOrTheLastOneOfAShorterMovie) {
    EXPECT_EQ(hueAt(read("steps.mov"), 80, 45), Hue::blue);
    EXPECT_EQ(hueAt(read("steps.mov", 0ms), 80, 45), Hue::red);
    ASSERT_TRUE(testmedia::makeColourMovie(path("short.mov"), {{"red", 0.08}, {"green", 0.04}}));
    EXPECT_EQ(hueAt(read("short.mov"), 80, 45), Hue::green);

    // Frames at 0, 0.1 and 0.5 s, as a recording of a mostly still screen has them, at a width
    // that whole SIMD blocks overrun.
    ASSERT_TRUE(testmedia::runFfmpeg(
        {"-f", "lavfi", "-i",
         "color=c=red:s=600x300:r=10:d=0.3,drawbox=c=green:t=fill:enable=eq(n\\,1),"
         "drawbox=c=blue:t=fill:enable=eq(n\\,2),setpts=if(eq(N\\,2)\\,5\\,N)/10/TB",
         "-fps_mode", "passthrough", "-c:v", "libx264", "-pix_fmt", "yuv420p",
         path("sparse.mov")}));
    const auto sparse = read("sparse.mov");
    ASSERT_TRUE(sparse.ok()) << sparse.error().description.toStdString();
    EXPECT_EQ(sparse.value().size(), QSize(600, 300));
    EXPECT_EQ(hueAt(sparse, 599, 299), Hue::green);
}

// ffmpeg itself shows the turned file as 90 x 160 with the blue half on top.
TEST_F(MovieFrameReader, DisplayMatrixTurnsTheFrameAsPlayersShowIt) {
    ASSERT_TRUE(testmedia::makeColourMovie(
        path("halves.mov"), {{"red", 1.0, "drawbox=x=80:y=0:w=80:h=90:color=blue:t=fill"}}));
    ASSERT_TRUE(
        testmedia::remux(path("halves.mov"), path("turned.mov"), {"-metadata:s:v:0", "rotate=90"}));
    const auto turned = read("turned.mov");
    ASSERT_TRUE(turned.ok()) << turned.error().description.toStdString();
    ASSERT_EQ(turned.value().size(), QSize(90, 160));
    EXPECT_EQ(hueAt(turned, 45, 20), Hue::blue);
    EXPECT_EQ(hueAt(turned, 45, 140), Hue::red);
}

TEST_F(MovieFrameReader, UnreadableInputsAreErrorsNotCrashesOrHangs) {
    ASSERT_TRUE(testmedia::makeAudioOnlyMovie(path("audio.mov")));
    ASSERT_TRUE(testmedia::truncateCopy(path("steps.mov"), path("cut.mov"), 0.5));
    ASSERT_TRUE(QDir(folder->path()).mkdir("folder.mov"));
    ASSERT_TRUE(testmedia::writeFile(path("garbage.mov"), QByteArray(4096, '\x5a')));
    ASSERT_TRUE(testmedia::writeFile(path("empty.mov"), {}));
    ASSERT_EQ(mkfifo(QFile::encodeName(path("pipe.mov")).constData(), 0600), 0);
    for (const char* name : {"missing.mov", "folder.mov", "cut.mov", "audio.mov", "garbage.mov",
                             "empty.mov", "pipe.mov"}) {
        const auto frame = read(name);
        ASSERT_FALSE(frame.ok()) << name;
        EXPECT_FALSE(frame.error().description.isEmpty()) << name;
    }
}

// With the index at the front, a cut or damaged file still has some frames; whatever comes
// back must be a whole picture of the movie's size.
TEST_F(MovieFrameReader, MovieCutShortOrDamagedAfterItsIndexGivesAWholeFrameOrAnError) {
    for (const double kept : {0.1, 0.3, 0.6, 0.9}) {
        ASSERT_TRUE(testmedia::truncateCopy(path("front.mov"), path("front-cut.mov"), kept));
        const auto frame = read("front-cut.mov");
        EXPECT_TRUE(!frame.ok() || frame.value().size() == QSize(160, 90)) << kept;
    }
    QFile source(path("front.mov"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray original = source.readAll();
    // Spoil the data after the index with every stride, from sparse to dense damage.
    for (const int stride : {997, 211, 37}) {
        QByteArray damaged = original;
        for (qsizetype at = damaged.size() / 4; at < damaged.size(); at += stride) {
            damaged[at] = static_cast<char>(damaged[at] ^ 0x5a);
        }
        ASSERT_TRUE(testmedia::writeFile(path("damaged.mov"), damaged));
        const auto frame = read("damaged.mov");
        EXPECT_TRUE(!frame.ok() || frame.value().size() == QSize(160, 90)) << stride;
    }
}
