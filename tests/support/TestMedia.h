#pragma once

#include "tests/support/MovieProbe.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>

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

// The same movie with its stream copied and the given muxer options, e.g. a display matrix
// ("-metadata:s:v:0", "rotate=90") or the index at the front ("-movflags", "+faststart").
inline bool remux(const QString& source, const QString& path, const QStringList& options) {
    return runFfmpeg(QStringList{"-i", source, "-c", "copy"} + options + QStringList{path});
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
