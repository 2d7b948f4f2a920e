#include "app/ContactsWindow.h"

#include "app/Pictures.h"
#include "engine/Texts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>

#include <algorithm>

namespace lorimet {
namespace {

// A text that acts like a hyperlink: blue, underlined, a hand over it, an action on click.
class LinkLabel : public QLabel {
  public:
    LinkLabel(const QString& text, const char* name, QWidget* parent, std::function<void()> action)
        : QLabel(text, parent), action_(std::move(action)) {
        setObjectName(QString::fromLatin1(name));
        QFont f = font();
        f.setUnderline(true);
        setFont(f);
        QPalette p = palette();
        p.setColor(QPalette::WindowText, Qt::blue);
        setPalette(p);
        setCursor(Qt::PointingHandCursor);
        adjustSize();
    }

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            action_();
    }

  private:
    std::function<void()> action_;
};

QLabel* plainLabel(const QString& text, const char* name, QWidget* parent, QPoint at) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->adjustSize();
    label->move(at);
    return label;
}

} // namespace

ContactsWindow::ContactsWindow(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                              Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("TInfo"));
    setWindowTitle(QStringLiteral("Контакты"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(260, 225);
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    // The classic dialog type size: the window's 260 × 225 was laid out for it.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    const qreal scale = devicePixelRatioF();
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setGeometry(0, 0, 260, 116);
    picture->setPixmap(contactsPicture(scale));

    // Below the picture the rows are stacked from the labels' own heights, so another font still fits.
    const int globeTop = 120;
    icons_.reserve(kContactsFrames);
    for (int k = 0; k < kContactsFrames; ++k)
        icons_.append(contactsAnimation(k, scale));
    globe_ = new QLabel(this);
    globe_->setObjectName(QStringLiteral("Globe"));
    globe_->setGeometry(10, globeTop, 17, 17);
    globe_->setPixmap(icons_[shownIcon_]);

    auto* web =
        new LinkLabel(kMakerWebAddress, "WebLabel", this, [this] { openUrl(QUrl(kMakerWebAddress)); });
    web->move(33, globeTop + (globe_->height() - web->height()) / 2);

    QLabel* developers = plainLabel(QStringLiteral("Разработчики проекта:"), "DevelopersLabel", this,
                                    QPoint(10, globeTop + globe_->height() + 4));

    auto* people = new QFrame(this);
    people->setObjectName(QStringLiteral("DevelopersPanel"));
    people->setFrameShape(QFrame::StyledPanel);
    people->setFrameShadow(QFrame::Sunken);
    people->setAutoFillBackground(true);
    QPalette white = people->palette();
    white.setColor(QPalette::Window, Qt::white);
    people->setPalette(white);
    const int panelTop = developers->y() + developers->height() + 3;
    people->setGeometry(8, panelTop, 244, height() - 6 - panelTop);
    struct Entry {
        QString role;
        QString mail;
        const char* roleName;
        const char* mailName;
    };
    const Entry entries[] = {
        {QStringLiteral("Служба поддержки"), kSupportMail, "SupportLabel", "SupportMailLabel"},
        {QStringLiteral("Отдел разработки"), kDevelopersMail, "DevelopersRoleLabel", "DevelopersMailLabel"},
    };
    // Each entry is its name with the address under it, indented; the panel's spare height goes evenly
    // above, between and below the two entries.
    QList<QLabel*> lines;
    for (const Entry& entry : entries) {
        lines.append(plainLabel(entry.role, entry.roleName, people, QPoint(8, 0)));
        const QString address = entry.mail;
        lines.append(new LinkLabel(address, entry.mailName, people, [this, address] { openMail(address); }));
    }
    int used = 0;
    for (const QLabel* line : lines)
        used += line->height();
    const int gap = std::max(0, (people->height() - used) / 3);
    int top = gap;
    for (qsizetype k = 0; k < lines.size(); ++k) {
        lines[k]->move(k % 2 == 0 ? 8 : 22, top);
        top += lines[k]->height() + (k == 1 ? gap : 0);
    }

    animation_.setInterval(150);
    connect(&animation_, &QTimer::timeout, this, &ContactsWindow::tick);
    animation_.start();
}

void ContactsWindow::showContacts() {
    if (!placed_ && mainWindow_) {
        move(mainWindow_->geometry().center() - QPoint(width() / 2, height() / 2));
        placed_ = true;
    }
    show();
    raise();
}

void ContactsWindow::tick() {
    if (step_ == kContactsFrames - 1) {
        step_ = 0;
        return;
    }
    shownIcon_ = step_;
    globe_->setPixmap(icons_[shownIcon_]);
    ++step_;
}

void ContactsWindow::openMail(const QString& address) {
    if (openUrl(QUrl(QStringLiteral("mailto:") + address)))
        return;
    QApplication::beep();
    QMessageBox box(QMessageBox::Critical, texts::kError, QStringLiteral("Почтовый клиет - не установлен !"),
                    QMessageBox::Ok, this, Qt::Dialog | Qt::WindowStaysOnTopHint);
    box.exec();
}

} // namespace lorimet
