#pragma once

#include "main/CaptureService/ThumbnailMaker.h"
#include "main/HistoryDatabase.h"

#include <QCache>
#include <QColor>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <functional>
#include <optional>

// What makes two thumbnails the same picture: the file as it is now, the box it fills and the
// pixels per point it is drawn at.
struct ThumbnailKey {
    QString type;
    QString path;
    qint64 bytes = -1;
    qint64 modifiedMs = -1;
    QSize box;
    qreal scale = 1;

    bool operator==(const ThumbnailKey&) const = default;
};
size_t qHash(const ThumbnailKey& key, size_t seed = 0);

// Keeps the thumbnails already drawn, so an unchanged file is never decoded twice, and draws
// missing ones on worker threads so the window never waits for a decoder.
class ThumbnailCache : public QObject {
    Q_OBJECT
  public:
    // Draws one thumbnail of a box in points on a worker thread; the background and the scale
    // are resolved beforehand on the GUI thread because the palette and the screens may only
    // be read there.
    using Maker = std::function<QImage(const CaptureItem&, QSize, const QColor&, qreal scale)>;
    // Room for well over a thousand history-list thumbnails at scale 1, some four hundred at 2.
    static constexpr qsizetype defaultByteLimit = 32 * 1024 * 1024;
    static constexpr int maxWorkers = 4;

    explicit ThumbnailCache(Maker maker, qsizetype byteLimit = defaultByteLimit,
                            QObject* parent = nullptr);
    ~ThumbnailCache() override;

    // The drawn thumbnail when this file, unchanged, was drawn at this size and the screens'
    // scale before. Otherwise
    // nothing now, the drawing starts (once, however often it is asked for) and
    // onThumbnailReady follows on the GUI thread.
    std::optional<QImage> thumbnail(const CaptureItem& item, QSize size);

    // Draws the history's pictures, reading movies' frames with readFrame.
    static Maker drawingWith(platform::MovieFrameReader readFrame);

    std::function<void(const QString& path)> onThumbnailReady;

  private:
    void store(const ThumbnailKey& key, const QImage& image);

    Maker maker;
    QCache<ThumbnailKey, QImage> images;
    QSet<ThumbnailKey> drawing;
    int requestOrder = 0;
    QThreadPool workers;
};
