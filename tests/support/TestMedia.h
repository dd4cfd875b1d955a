#pragma once

#include "tests/support/MovieProbe.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <vector>

// Pictures, and small real movies made with the ffmpeg tool while a test runs, so readers meet
// files produced by a real encoder and muxer.
namespace testmedia {

// Left half red, right half blue, so stretching, cropping and mirroring all show.
inline QImage halves(QSize size) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QPainter(&picture).fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(),
                                Qt::blue);
    return picture;
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline bool runFfmpeg(const QStringList& arguments) {
    return movieprobe::toolOutput(
               "ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y"} + arguments)
        .has_value();
}

// Solid colours one after another at 25 frames per second, H.264 in a QuickTime file. A
// segment's filter may paint more on top (e.g. "drawbox=...").
struct Segment {
    QString colour;
    double seconds;
    QString extraFilter = {};
};
// One frame of blue exactly at 0.2 s between red before and green after.
inline const std::vector<Segment> blueAtTwoTenths = {{"red", 0.2}, {"blue", 0.04}, {"green", 0.76}};

inline bool makeColourMovie(const QString& path, const std::vector<Segment>& segments,
                            const QString& size = "160x90") {
    QStringList arguments;
    QString chain;
    for (size_t i = 0; i < segments.size(); ++i) {
        QString source = QStringLiteral("color=c=%1:s=%2:r=25:d=%3")
                             .arg(segments[i].colour, size)
                             .arg(segments[i].seconds);
        if (!segments[i].extraFilter.isEmpty()) {
            source += ',' + segments[i].extraFilter;
        }
        arguments << "-f"
                  << "lavfi"
                  << "-i" << source;
        chain += QStringLiteral("[%1:v]").arg(i);
    }
    chain += QStringLiteral("concat=n=%1:v=1:a=0").arg(segments.size());
    return runFfmpeg(arguments << "-filter_complex" << chain << "-c:v"
                               << "libx264"
                               << "-pix_fmt"
                               << "yuv420p" << path);
}

// The same movie with its stream copied and the given muxer options, e.g. a display matrix
// ("-metadata:s:v:0", "rotate=90") or the index at the front ("-movflags", "+faststart").
inline bool remux(const QString& source, const QString& path, const QStringList& options) {
    return runFfmpeg(QStringList{"-i", source, "-c", "copy"} + options + QStringList{path});
}

inline bool makeAudioOnlyMovie(const QString& path) {
    return runFfmpeg({"-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-c:a", "aac", path});
}

// Keeps only the first part of a file, as a copy cut short by a full disk or a crash would.
inline bool truncateCopy(const QString& source, const QString& path, double keptFraction) {
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = input.readAll();
    return writeFile(path, bytes.left(static_cast<qsizetype>(bytes.size() * keptFraction)));
}

}  // namespace testmedia
