#include "platform/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace platform {

void SystemClipboard::setPng(const QByteArray& png) {
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/png"), png);
    QGuiApplication::clipboard()->setMimeData(data);
}

void SystemClipboard::setImage(const QImage& image) {
    QGuiApplication::clipboard()->setImage(image);
}

}  // namespace platform
