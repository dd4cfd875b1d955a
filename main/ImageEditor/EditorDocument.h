#pragma once

#include "main/ImageEditor/TiledImage.h"

#include <deque>
#include <vector>

// The committed image and its bounded snapshot history. Snapshots share unchanged tiles
// with the image and with one another, so recording one copies no pixels.
class EditorDocument {
  public:
    static constexpr std::size_t undoLimit = 30;

    explicit EditorDocument(const QImage& picture) : current(picture) {}

    const TiledImage& image() const { return current; }
    TiledImage& image() { return current; }
    // Makes another bitmap the document (a crop builds a new one).
    void replace(TiledImage picture) { current = std::move(picture); }

    // Records the image before an edit; the oldest snapshot beyond the limit is dropped and
    // every new edit empties the redo history.
    void pushUndo();
    // Each answers whether there was a step to take.
    bool undo();
    bool redo();

    std::size_t undoCount() const { return undoStack.size(); }
    std::size_t redoCount() const { return redoStack.size(); }

    // The image and every snapshot, for accounting of the memory they share.
    void forEachVersion(const std::function<void(const TiledImage&)>& visit) const;

  private:
    TiledImage current;
    std::deque<TiledImage> undoStack;
    std::vector<TiledImage> redoStack;
};
