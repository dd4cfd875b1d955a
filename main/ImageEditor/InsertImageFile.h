#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <optional>

class QWidget;

// Asks for one picture file; nothing when the user dismissed the question.
using ImageFileChooser = std::function<std::optional<QString>(QWidget* parent)>;

// The real question: a modal file dialog offering PNG, JPEG, TIFF, GIF and WebP files.
std::optional<QString> chooseImageFile(QWidget* parent);

// The picture in the file, or nothing when it is not a whole readable picture. Pictures too
// large to hold are refused from their header, before any pixels are decoded.
std::optional<QImage> loadInsertImage(const QString& path);
