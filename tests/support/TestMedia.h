#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

// Small real movies made with the ffmpeg tool while a test runs, so the frame reader meets
// files produced by a real encoder and muxer.
namespace testmedia {

inline bool runFfmpeg(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral("ffmpeg"),
                  QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                              QStringLiteral("error"), QStringLiteral("-y")} +
                      arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Solid colours one after another at 25 frames per second, H.264 in a QuickTime file. A
// segment's filter may paint more on top (e.g. "drawbox=...").
struct Segment {
    QString colour;
    double seconds;
    QString extraFilter = {};
};
inline bool makeColourMovie(const QString& path, const std::vector<Segment>& segments,
                            const QString& size = QStringLiteral("160x90")) {
    QStringList arguments;
    QString chain;
    for (size_t i = 0; i < segments.size(); ++i) {
        QString source = QStringLiteral("color=c=%1:s=%2:r=25:d=%3")
                             .arg(segments[i].colour, size)
                             .arg(segments[i].seconds);
        if (!segments[i].extraFilter.isEmpty()) {
            source += QLatin1Char(',') + segments[i].extraFilter;
        }
        arguments << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
                  << source;
        chain += QStringLiteral("[%1:v]").arg(i);
    }
    chain += QStringLiteral("concat=n=%1:v=1:a=0").arg(segments.size());
    arguments << QStringLiteral("-filter_complex") << chain << QStringLiteral("-c:v")
              << QStringLiteral("libx264") << QStringLiteral("-pix_fmt")
              << QStringLiteral("yuv420p") << path;
    return runFfmpeg(arguments);
}

// The same movie, told by its display matrix to be shown turned.
inline bool markRotated(const QString& source, const QString& path, int degrees) {
    return runFfmpeg({QStringLiteral("-i"), source, QStringLiteral("-c"), QStringLiteral("copy"),
                      QStringLiteral("-metadata:s:v:0"), QStringLiteral("rotate=%1").arg(degrees),
                      path});
}

inline bool makeAudioOnlyMovie(const QString& path) {
    return runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("sine=frequency=440:duration=1"), QStringLiteral("-c:a"),
                      QStringLiteral("aac"), path});
}

// Keeps only the first part of a file, as a copy cut short by a full disk or a crash would.
inline bool truncateCopy(const QString& source, const QString& path, double keptFraction) {
    QFile input(source);
    QFile output(path);
    if (!input.open(QIODevice::ReadOnly) || !output.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray bytes = input.readAll();
    return output.write(bytes.left(static_cast<qsizetype>(bytes.size() * keptFraction))) >= 0;
}

}  // namespace testmedia
