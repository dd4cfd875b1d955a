#include "main/ImageEditor/EditorDocument.h"

void EditorDocument::pushUndo() {
    undoStack.push_back(current);
    while (undoStack.size() > undoLimit) {
        undoStack.pop_front();
    }
    redoStack.clear();
}

bool EditorDocument::undo() {
    if (undoStack.empty()) {
        return false;
    }
    redoStack.push_back(std::move(current));
    current = std::move(undoStack.back());
    undoStack.pop_back();
    return true;
}

bool EditorDocument::redo() {
    if (redoStack.empty()) {
        return false;
    }
    undoStack.push_back(std::move(current));
    current = std::move(redoStack.back());
    redoStack.pop_back();
    return true;
}

void EditorDocument::forEachVersion(const std::function<void(const TiledImage&)>& visit) const {
    visit(current);
    for (const TiledImage& snapshot : undoStack) {
        visit(snapshot);
    }
    for (const TiledImage& snapshot : redoStack) {
        visit(snapshot);
    }
}
