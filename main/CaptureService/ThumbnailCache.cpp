#include "main/CaptureService/ThumbnailCache.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHashFunctions>
#include <QMetaObject>
#include <QThread>

namespace {

ThumbnailKey keyFor(const CaptureItem& item, QSize size) {
    ThumbnailKey key{item.type, item.path, -1, -1, size, ThumbnailMaker::screenScale()};
    const QFileInfo file(item.path);
    if (file.exists()) {
        key.bytes = file.size();
        key.modifiedMs = file.lastModified().toMSecsSinceEpoch();
    }
    return key;
}

}  // namespace

size_t qHash(const ThumbnailKey& key, size_t seed) {
    return qHashMulti(seed, key.type, key.path, key.bytes, key.modifiedMs, key.box.width(),
                      key.box.height(), key.scale);
}

ThumbnailCache::ThumbnailCache(Maker maker, qsizetype byteLimit, QObject* parent)
    : QObject(parent), maker(std::move(maker)), images(byteLimit) {
    // A 4K capture takes some 35 MB while it is decoded; a list of them must not take one
    // worker per core on a large machine.
    workers.setMaxThreadCount(qBound(1, QThread::idealThreadCount(), maxWorkers));
}

ThumbnailCache::~ThumbnailCache() {
    // Drawings not yet started are dropped; running ones finish while this object still
    // exists, and their deliveries die with it.
    workers.clear();
    workers.waitForDone();
}

ThumbnailCache::Maker ThumbnailCache::drawingWith(platform::MovieFrameReader readFrame) {
    return [readFrame = std::move(readFrame)](const CaptureItem& item, QSize size,
                                              const QColor& background, qreal scale) {
        return ThumbnailMaker::image(item, size, readFrame, background, scale);
    };
}

std::optional<QImage> ThumbnailCache::thumbnail(const CaptureItem& item, QSize size) {
    const ThumbnailKey key = keyFor(item, size);
    if (const QImage* hit = images.object(key)) {
        return *hit;
    }
    if (drawing.contains(key)) {
        return std::nullopt;
    }
    drawing.insert(key);
    // The rows asked for last are the ones on screen now; they go ahead of rows scrolled past.
    ++requestOrder;
    workers.start(
        [this, key, item, size, background = ThumbnailMaker::windowBackground(), draw = maker] {
            QImage image = draw(item, size, background, key.scale);
            QMetaObject::invokeMethod(
                this, [this, key, image = std::move(image)] { store(key, image); },
                Qt::QueuedConnection);
        },
        requestOrder);
    return std::nullopt;
}

void ThumbnailCache::store(const ThumbnailKey& key, const QImage& image) {
    drawing.remove(key);
    // A thumbnail larger than the whole budget is not kept; announcing it would only make the
    // view ask again and start the same drawing over and over.
    if (!images.insert(key, new QImage(image), qMax<qsizetype>(1, image.sizeInBytes()))) {
        return;
    }
    if (onThumbnailReady) {
        onThumbnailReady(key.path);
    }
}
