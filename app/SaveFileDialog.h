#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace lorimet {

// What a save dialog is asked for. `filter` is written "Name (*.ext)|*.ext"; `suffix` is the extension that
// every chosen name ends in.
struct FileRequest {
    QString objectName;
    QString title;
    QString folder;
    QString proposedName;
    QString filter;
    QString suffix;
    // The proposed name already holds the picture to save, written there for the dialog's preview.
    bool picturePreview = false;
};

// The save dialog of every file the program writes: the chosen name ends in the request's extension, and a
// file that is already there is replaced only when the operator says so. Nothing when cancelled.
std::optional<QString> chooseSaveFile(QWidget* parent, const FileRequest& request);

} // namespace lorimet
