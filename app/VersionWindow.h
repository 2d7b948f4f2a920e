#pragma once

class QDialog;
class QWidget;

namespace lorimet {

// `ShowVersionInfo`: builds a new "Инфо версии" window from the program's version data (the application's
// display name, version and organisation), centres it on the main window and shows it on top without
// activating or blocking. Each call makes a new window, released when it is closed. A program without a
// version gets no window: the result is null then.
QDialog* ShowVersionInfo(QWidget* mainWindow);

} // namespace lorimet
