#include "platform/ffmpeg/MovieFrameReader.h"

#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

using namespace std::chrono_literals;

namespace {

// Encoded solid colours come back near, not exactly at, their values: 'r', 'g', 'b' or '?'.
char hueAt(const Result<QImage>& frame, int x, int y) {
    const QColor c = frame.ok() ? frame.value().pixelColor(x, y) : QColor(Qt::gray);
    const bool low[] = {c.red() < 80, c.green() < 80, c.blue() < 80};
    return c.red() > 180 && low[1] && low[2]    ? 'r'
           : c.green() > 90 && low[0] && low[2] ? 'g'
           : c.blue() > 180 && low[0] && low[1] ? 'b'
                                                : '?';
}

class MovieFrameReader : public testing::Test {
  protected:
    QString path(const char* name) const { return folder.filePath(name); }
    Result<QImage> read(const char* name) const {
        return platform::readMovieFrame(path(name), 200ms);
    }
    // A second of 160 × 90, red on the left and blue on the right.
    bool makeHalves(const char* name) const {
        return testmedia::runFfmpeg({"-f", "lavfi", "-i",
                                     "color=c=red:s=160x90:r=25:d=1,"
                                     "drawbox=x=80:y=0:w=80:h=90:color=blue:t=fill",
                                     "-c:v", "libx264", "-pix_fmt", "yuv420p", path(name)});
    }
    QTemporaryDir folder;
};

}  // namespace

TEST_F(MovieFrameReader, GivesTheFrameOnScreenAtTheTimeWholeEvenWhereFramesAreSparse) {
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
    EXPECT_EQ(hueAt(sparse, 599, 299), 'g');
}

// ffmpeg itself shows the turned file as 90 x 160 with the blue half on top.
TEST_F(MovieFrameReader, DisplayMatrixTurnsTheFrameAsPlayersShowIt) {
    ASSERT_TRUE(makeHalves("halves.mov"));
    ASSERT_TRUE(
        testmedia::remux(path("halves.mov"), path("turned.mov"), {"-metadata:s:v:0", "rotate=90"}));
    const auto turned = read("turned.mov");
    ASSERT_EQ(turned.ok() ? turned.value().size() : QSize(), QSize(90, 160));
    EXPECT_EQ(std::pair(hueAt(turned, 45, 20), hueAt(turned, 45, 140)), std::pair('b', 'r'));
}

// With the index at the front, a cut or damaged file still has some frames; whatever comes
// back must be a whole picture of the movie's size.
TEST_F(MovieFrameReader, UnreadableCutOrDamagedInputsGiveAnErrorOrAWholeFrameNeverACrash) {
    ASSERT_TRUE(makeHalves("halves.mov"));
    ASSERT_TRUE(
        testmedia::remux(path("halves.mov"), path("front.mov"), {"-movflags", "+faststart"}));
    ASSERT_TRUE(testmedia::truncateCopy(path("halves.mov"), path("cut.mov"), 0.5));
    ASSERT_TRUE(testmedia::writeFile(path("garbage.mov"), QByteArray(4096, '\x5a')));
    for (const char* name : {"missing.mov", "cut.mov", "garbage.mov"}) {
        EXPECT_FALSE(read(name).ok()) << name;
    }
    QFile source(path("front.mov"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray original = source.readAll();
    // Cut at several places, then spoiled after the index with every stride, sparse to dense.
    for (const auto& [kept, stride] :
         {std::pair{0.1, 0}, {0.3, 0}, {0.6, 0}, {0.9, 0}, {1.0, 997}, {1.0, 211}, {1.0, 37}}) {
        QByteArray damaged = original.left(static_cast<qsizetype>(original.size() * kept));
        for (qsizetype at = damaged.size() / 4; stride > 0 && at < damaged.size(); at += stride) {
            damaged[at] = static_cast<char>(damaged[at] ^ 0x5a);
        }
        ASSERT_TRUE(testmedia::writeFile(path("damaged.mov"), damaged));
        const auto frame = read("damaged.mov");
        EXPECT_TRUE(!frame.ok() || frame.value().size() == QSize(160, 90)) << kept << " " << stride;
    }
}
