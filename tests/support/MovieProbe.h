#pragma once

#include <QByteArray>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// Reads movies back with the ffprobe and ffmpeg tools, so tests judge the files the way
// players will, not the way the writer meant them.
namespace movieprobe {

struct MovieFacts {
    QString container;
    QString codec;
    QString codecTag;
    QString profile;
    QString pixelFormat;
    QString colourRange;
    QString colourSpace;
    int width = 0;
    int height = 0;
    double duration = 0;
    std::vector<double> frameTimes;
};

// Nothing when the tool failed or ran past two minutes.
inline std::optional<QByteArray> toolOutput(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0
               ? std::optional(process.readAllStandardOutput())
               : std::nullopt;
}

inline std::optional<MovieFacts> probe(const QString& path) {
    const QJsonObject facts =
        QJsonDocument::fromJson(
            toolOutput(QStringLiteral("ffprobe"),
                       {"-v", "error", "-show_format", "-show_streams", "-show_entries",
                        "packet=pts_time", "-of", "json", path})
                .value_or(QByteArray()))
            .object();
    const QJsonArray streams = facts.value("streams").toArray();
    if (streams.size() != 1) {
        return std::nullopt;
    }
    const QJsonObject stream = streams.first().toObject();
    MovieFacts movie;
    movie.container = facts.value("format").toObject().value("format_name").toString();
    movie.duration = facts.value("format").toObject().value("duration").toString().toDouble();
    movie.codec = stream.value("codec_name").toString();
    movie.codecTag = stream.value("codec_tag_string").toString();
    movie.profile = stream.value("profile").toString();
    movie.pixelFormat = stream.value("pix_fmt").toString();
    movie.colourRange = stream.value("color_range").toString();
    movie.colourSpace = stream.value("color_space").toString();
    movie.width = stream.value("width").toInt();
    movie.height = stream.value("height").toInt();
    for (const QJsonValue& packet : facts.value("packets").toArray()) {
        movie.frameTimes.push_back(packet.toObject().value("pts_time").toString().toDouble());
    }
    return movie;
}

// The first frame at or after the given time, decoded to an image.
inline QImage frameAt(const QString& path, double seconds) {
    const QByteArray png = toolOutput(QStringLiteral("ffmpeg"),
                                      {"-v", "error", "-ss", QString::number(seconds), "-i", path,
                                       "-frames:v", "1", "-f", "image2pipe", "-vcodec", "png", "-"})
                               .value_or(QByteArray());
    return QImage::fromData(png, "PNG");
}

}  // namespace movieprobe
