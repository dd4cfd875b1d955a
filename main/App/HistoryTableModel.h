#pragma once

#include "main/CaptureService/ThumbnailCache.h"
#include "main/HistoryDatabase.h"

#include <QAbstractTableModel>
#include <QImage>
#include <QSize>
#include <memory>
#include <vector>

// The main window's history list: thumbnail, kind, time and file name of each capture.
// Thumbnails come from the cache; a row whose picture is still being drawn shows a plain
// window-coloured box of the same size until it arrives.
class HistoryTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { thumbColumn, typeColumn, dateColumn, fileColumn };
    static constexpr int columns = 4;
    static constexpr QSize thumbnailSize{92, 54};

    explicit HistoryTableModel(std::unique_ptr<ThumbnailCache> thumbnails,
                               QObject* parent = nullptr);

    void setItems(std::vector<CaptureItem> newItems);
    const std::vector<CaptureItem>& items() const { return rows; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    QVariant thumbnail(const CaptureItem& item) const;
    void thumbnailArrived(const QString& path);

    std::unique_ptr<ThumbnailCache> thumbnails;
    std::vector<CaptureItem> rows;
    QImage pendingFill;
};
