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

// What makes two thumbnails the same picture: the file as it is now and the box it fills.
struct ThumbnailKey {
    QString type;
    QString path;
    qint64 bytes = -1;
    qint64 modifiedMs = -1;
    QSize box;

    bool operator==(const ThumbnailKey&) const = default;
};
size_t qHash(const ThumbnailKey& key, size_t seed = 0);

// Keeps the thumbnails already drawn, so an unchanged file is never decoded twice, and draws
// missing ones on worker threads so the window never waits for a decoder.
class ThumbnailCache : public QObject {
    Q_OBJECT
  public:
    // Draws one thumbnail on a worker thread; the background is resolved beforehand on the
    // GUI thread because the palette may only be read there.
    using Maker = std::function<QImage(const CaptureItem&, QSize, const QColor&)>;
    // Room for well over a thousand history-list thumbnails.
    static constexpr qsizetype defaultByteLimit = 32 * 1024 * 1024;
    static constexpr int maxWorkers = 4;

    explicit ThumbnailCache(Maker maker = defaultMaker(), qsizetype byteLimit = defaultByteLimit,
                            QObject* parent = nullptr);
    ~ThumbnailCache() override;

    // The drawn thumbnail when this file, unchanged, was drawn at this size before. Otherwise
    // nothing now, the drawing starts (once, however often it is asked for) and
    // onThumbnailReady follows on the GUI thread.
    std::optional<QImage> thumbnail(const CaptureItem& item, QSize size);

    static Maker defaultMaker();

    std::function<void(const QString& path)> onThumbnailReady;

  private:
    void store(const ThumbnailKey& key, const QImage& image);

    Maker maker;
    QCache<ThumbnailKey, QImage> images;
    QSet<ThumbnailKey> drawing;
    int requestOrder = 0;
    QThreadPool workers;
};
