#pragma once

#include <QIcon>
#include <QList>
#include <QSystemTrayIcon>
#include <QTimer>

namespace lorimet {

// `TrayIcon`: cycles through the images of its current list, one every 450 ms.
class TrayIcon : public QSystemTrayIcon {
    Q_OBJECT
  public:
    explicit TrayIcon(QObject* parent = nullptr);
    void setImageList(int index);
    int imageList() const { return list_; }

  private:
    QTimer timer_;
    QList<QIcon> images_;
    int list_ = -1;
    int frame_ = 0;
};

} // namespace lorimet
