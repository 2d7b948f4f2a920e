#include "app/ContactsWindow.h"
#include "app/SplashWindow.h"
#include "app/VersionWindow.h"

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace lorimet {
namespace {

QLabel* labelIn(const QWidget& window, const char* name) {
    return window.findChild<QLabel*>(QString::fromLatin1(name));
}

// ---- Contacts ----

TEST(Contacts, WindowHasItsSizeCaptionAndTexts) {
    ContactsWindow contacts(nullptr);
    EXPECT_EQ(contacts.objectName(), QStringLiteral("TInfo"));
    EXPECT_EQ(contacts.windowTitle(), QStringLiteral("Контакты"));
    EXPECT_EQ(contacts.size(), QSize(260, 225));
    EXPECT_TRUE(contacts.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(contacts.testAttribute(Qt::WA_ShowWithoutActivating));

    EXPECT_EQ(labelIn(contacts, "Image1")->geometry(), QRect(0, 0, 260, 116));
    EXPECT_EQ(labelIn(contacts, "Globe")->size(), QSize(17, 17));
    EXPECT_EQ(labelIn(contacts, "DevelopersLabel")->text(), QStringLiteral("Разработчики проекта:"));
    const auto* panel = contacts.findChild<QFrame*>(QStringLiteral("DevelopersPanel"));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(Qt::white));

    const struct {
        const char* name;
        QString text;
    } links[] = {{"WebLabel", kMakerWebAddress},
                 {"SupportMailLabel", kSupportMail},
                 {"DevelopersMailLabel", kDevelopersMail}};
    for (const auto& link : links) {
        SCOPED_TRACE(link.name);
        const QLabel* label = labelIn(contacts, link.name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), link.text);
        EXPECT_TRUE(label->font().underline());
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::blue));
        EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    }
    // Everything fits into the fixed client area, so nothing is cut off on the operator's screen.
    for (const QWidget* child : contacts.findChildren<QWidget*>()) {
        SCOPED_TRACE(child->objectName().toStdString());
        const QRect inWindow(child->mapTo(&contacts, QPoint(0, 0)), child->size());
        EXPECT_TRUE(contacts.rect().contains(inWindow));
    }
}

TEST(Contacts, GlobeShowsIcons0To30AndRestsOneTickOnWrap) {
    ContactsWindow contacts(nullptr);
    EXPECT_TRUE(contacts.animationTimer().isActive());
    EXPECT_EQ(contacts.animationTimer().interval(), 150);
    for (int k = 0; k < 31; ++k) {
        contacts.tick();
        EXPECT_EQ(contacts.shownIcon(), k);
    }
    EXPECT_EQ(contacts.step(), 31);
    contacts.tick(); // 31 → 0, the picture stays
    EXPECT_EQ(contacts.step(), 0);
    EXPECT_EQ(contacts.shownIcon(), 30);
    contacts.tick();
    EXPECT_EQ(contacts.shownIcon(), 0);
    EXPECT_EQ(contacts.step(), 1);
}

TEST(Contacts, LinksOpenTheWebPageAndMailto) {
    ContactsWindow contacts(nullptr);
    QList<QUrl> opened;
    contacts.openUrl = [&](const QUrl& url) {
        opened.append(url);
        return true;
    };
    QTest::mouseClick(labelIn(contacts, "WebLabel"), Qt::LeftButton);
    QTest::mouseClick(labelIn(contacts, "DevelopersMailLabel"), Qt::LeftButton);
    QTest::mouseClick(labelIn(contacts, "Globe"), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], QUrl(kMakerWebAddress));
    EXPECT_EQ(opened[1], QUrl(QStringLiteral("mailto:") + kDevelopersMail));
}

TEST(Contacts, MailWithoutMailClientReportsIt) {
    ContactsWindow contacts(nullptr);
    contacts.openUrl = [](const QUrl&) { return false; };
    QString caption, text;
    bool topmost = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        topmost = box->windowFlags() & Qt::WindowStaysOnTopHint;
        box->accept();
    });
    QTest::mouseClick(labelIn(contacts, "SupportMailLabel"), Qt::LeftButton);
    EXPECT_EQ(caption, QStringLiteral("Ошибка"));
    EXPECT_EQ(text, QStringLiteral("Почтовый клиет - не установлен !"));
    EXPECT_TRUE(topmost);
}

// ---- version window ----

class VersionWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        set(QStringLiteral("ЛОРИМЕТ"), QStringLiteral("1.0.1.4"), QStringLiteral("Лориметрия"));
    }
    void TearDown() override { set(saved_[0], saved_[1], saved_[2]); }
    static void set(const QString& product, const QString& version, const QString& company) {
        QApplication::setApplicationDisplayName(product);
        QApplication::setApplicationVersion(version);
        QApplication::setOrganizationName(company);
    }
    std::unique_ptr<QDialog> show() { return std::unique_ptr<QDialog>(ShowVersionInfo(nullptr)); }

  private:
    QString saved_[3] = {QApplication::applicationDisplayName(), QApplication::applicationVersion(),
                         QApplication::organizationName()};
};

TEST_F(VersionWindow, ShowsNameVersionAndCompanyStackedBesideTheIcon) {
    const auto info = show();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->windowTitle(), QStringLiteral("Инфо версии"));
    EXPECT_TRUE(info->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(info->isVisible());
    EXPECT_FALSE(info->isModal());
    EXPECT_EQ(labelIn(*info, "Icon")->geometry(), QRect(10, 10, 32, 32));

    const QLabel* product = labelIn(*info, "ProductName");
    const QLabel* version = labelIn(*info, "FileVersion");
    const QLabel* company = labelIn(*info, "CompanyName");
    ASSERT_TRUE(product && version && company);
    EXPECT_EQ(labelIn(*info, "Author"), nullptr);
    EXPECT_EQ(product->text(), QStringLiteral("ЛОРИМЕТ"));
    EXPECT_EQ(version->text(), QStringLiteral("Версия: 1.0.1.4"));
    EXPECT_EQ(company->text(), QStringLiteral("Компания: Лориметрия"));
    EXPECT_EQ(product->font().pointSize(), 10);
    EXPECT_TRUE(product->font().bold());
    EXPECT_EQ(product->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));

    EXPECT_EQ(product->pos(), QPoint(52, 10));
    EXPECT_EQ(version->pos(), QPoint(52, product->y() + product->height() + 5));
    EXPECT_EQ(company->pos(), QPoint(52, version->y() + version->height() + 5));
    int right = 0;
    for (const QLabel* label : {product, version, company})
        right = std::max(right, label->x() + label->width());
    EXPECT_EQ(info->size(), QSize(right + 20, company->y() + company->height() + 40));
}

TEST_F(VersionWindow, OneCharacterValuesAreLeftOut) {
    set(QStringLiteral("ЛОРИМЕТ"), QStringLiteral("1.0.1.4"), QStringLiteral("-"));
    const auto info = show();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(labelIn(*info, "CompanyName"), nullptr);
    const QLabel* version = labelIn(*info, "FileVersion");
    EXPECT_EQ(info->height(), version->y() + version->height() + 40);
}

TEST_F(VersionWindow, EachUseMakesANewWindowAndNoVersionMakesNone) {
    const auto first = show();
    const auto second = show();
    EXPECT_NE(first.get(), second.get());
    set(QStringLiteral("ЛОРИМЕТ"), QString(), QStringLiteral("Лориметрия"));
    EXPECT_EQ(show(), nullptr);
}

// ---- splash ----

TEST(Splash, BarFillsByTenPerWindowAndIsFullAfterTheSwitches) {
    const QList<int> expected = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 100, 100, 100, 100, 100, 100, 100};
    EXPECT_EQ(loaderValues(), expected);
    EXPECT_EQ(loaderValue(StartupStep::TableDialog), 90);
    EXPECT_EQ(loaderValue(StartupStep::PanelSwitches), 100);
}

TEST(Splash, WindowLayoutAndBarNeverMovesBack) {
    SplashWindow splash;
    EXPECT_EQ(splash.objectName(), QStringLiteral("Tlogoform"));
    EXPECT_EQ(splash.size(), QSize(260, 128));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    QProgressBar* loader = splash.loader();
    EXPECT_EQ(loader->objectName(), QStringLiteral("Loader"));
    EXPECT_EQ(loader->geometry(), QRect(0, 0, 260, 10));
    EXPECT_EQ(loader->minimum(), 0);
    EXPECT_EQ(loader->maximum(), 100);
    EXPECT_EQ(loader->value(), 0);
    EXPECT_EQ(labelIn(splash, "Image")->size(), QSize(260, 116));

    splash.advance(StartupStep::MainWindow);
    EXPECT_EQ(loader->value(), 10);
    splash.advance(StartupStep::SampleDialog); // steps made elsewhere are only skipped over
    EXPECT_EQ(loader->value(), 50);
    splash.advance(StartupStep::MessageWindow);
    EXPECT_EQ(loader->value(), 50);
    splash.advance(StartupStep::Folders);
    EXPECT_EQ(loader->value(), 100);
}

} // namespace
} // namespace lorimet
