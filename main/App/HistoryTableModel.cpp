#include "main/App/HistoryTableModel.h"

#include <QPointer>
#include <QStringList>

namespace {

const QStringList& headerTitles() {
    static const QStringList titles{QStringLiteral("Xem trước"), QStringLiteral("Loại"),
                                    QStringLiteral("Thời gian"), QStringLiteral("Tệp")};
    return titles;
}

QString typeText(const CaptureItem& item) {
    return item.type == QLatin1String("screenshot") ? QStringLiteral("Ảnh")
                                                    : QStringLiteral("Video");
}

QString dateText(const CaptureItem& item) {
    return item.createdAt.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

QString fileText(const CaptureItem& item) {
    // Like a path's last component: trailing slashes do not make the name empty.
    QString path = item.path;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return path.section(QLatin1Char('/'), -1);
}

}  // namespace

HistoryTableModel::HistoryTableModel(std::unique_ptr<ThumbnailCache> thumbnails, QObject* parent)
    : QAbstractTableModel(parent),
      thumbnails(std::move(thumbnails)),
      pendingFill(thumbnailSize, QImage::Format_ARGB32_Premultiplied) {
    pendingFill.fill(ThumbnailMaker::windowBackground());
    this->thumbnails->onThumbnailReady =
        [model = QPointer<HistoryTableModel>(this)](const QString& path) {
            if (model) {
                model->thumbnailArrived(path);
            }
        };
}

void HistoryTableModel::setItems(std::vector<CaptureItem> newItems) {
    beginResetModel();
    rows = std::move(newItems);
    endResetModel();
}

int HistoryTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int HistoryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns;
}

QVariant HistoryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columns) {
        return {};
    }
    const CaptureItem& item = rows[static_cast<size_t>(index.row())];
    if (index.column() == thumbColumn) {
        return role == Qt::DecorationRole ? thumbnail(item) : QVariant();
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
        case typeColumn:
            return typeText(item);
        case dateColumn:
            return dateText(item);
        default:
            return fileText(item);
    }
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < columns) {
        return headerTitles()[section];
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

QVariant HistoryTableModel::thumbnail(const CaptureItem& item) const {
    return thumbnails->thumbnail(item, thumbnailSize).value_or(pendingFill);
}

void HistoryTableModel::thumbnailArrived(const QString& path) {
    for (size_t row = 0; row < rows.size(); ++row) {
        if (rows[row].path == path) {
            const QModelIndex cell = index(static_cast<int>(row), thumbColumn);
            Q_EMIT dataChanged(cell, cell, {Qt::DecorationRole});
        }
    }
}
