#pragma once

#include <QList>
#include <QPixmap>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>

class QLabel;

namespace lorimet {

// Where the maker can be reached. The addresses lie under a reserved example domain: the program names no
// real people or mailboxes.
inline const QString kMakerWebAddress = QStringLiteral("https://lorimet.example.org");
inline const QString kSupportMail = QStringLiteral("support@lorimet.example.org");
inline const QString kDevelopersMail = QStringLiteral("dev@lorimet.example.org");

// `TInfo`: the Contacts window. Made once at start-up and then only shown and hidden; it stays above the
// other windows without taking the focus. Its globe turns for the whole run, shown or not.
class ContactsWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ContactsWindow(QWidget* mainWindow);

    // Shows the window without blocking and without activating it; centred on the main window the first
    // time, afterwards it stays where the operator put it.
    void showContacts();

    // One step of the globe: after icon 30 the counter stands at 31, and the next tick only resets it to 0,
    // so the last icon (31) of the list is never shown.
    void tick();
    int step() const { return step_; }
    int shownIcon() const { return shownIcon_; }
    QTimer& animationTimer() { return animation_; }

    // Opens a web or mail link; true when the system found something to open it with.
    std::function<bool(const QUrl&)> openUrl;

  private:
    void openMail(const QString& address);

    QWidget* mainWindow_;
    QLabel* globe_;
    QList<QPixmap> icons_;
    QTimer animation_;
    int step_ = 0;
    int shownIcon_ = 0;
    bool placed_ = false;
};

} // namespace lorimet
