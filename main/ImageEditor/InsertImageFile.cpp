#include "main/ImageEditor/InsertImageFile.h"

#include <QFileDialog>
#include <QImageReader>

namespace {

// 128 MiB as ARGB: Qt's own decoding limit, far beyond any screen.
constexpr qint64 largestPixelCount = 32LL * 1024 * 1024;

}  // namespace

std::optional<QString> chooseImageFile(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(
        QStringLiteral("*.png *.PNG *.jpg *.jpeg *.JPG *.JPEG *.tif *.tiff *.TIF *.TIFF "
                       "*.gif *.GIF *.webp *.WEBP"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

std::optional<QImage> loadInsertImage(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize declared = reader.size();
    if (!declared.isValid() ||
        static_cast<qint64>(declared.width()) * declared.height() > largestPixelCount) {
        return std::nullopt;
    }
    QImage picture = reader.read();
    if (picture.isNull()) {
        return std::nullopt;
    }
    return picture;
}
