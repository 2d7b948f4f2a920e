// «Помощь»: the help files of old first, then the user's manual, else the box that there is none.
#include "app/MainWindow.h"
#include "config/Configuration.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace lorimet {
namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html></html>");
}

TEST(Help, OpensTheFirstHelpThereIsAndOtherwiseSaysThereIsNone) {
    const struct {
        const char* name;
        QStringList helpFiles; // in the help folder
        QStringList manuals;   // the manual's places, in order, as `existing` says
        QList<bool> existing;  // which of them exist
        QList<bool> opens;     // what the opener answers, call by call (true when it runs out)
        QString opened;        // the file shown last (relative to the folder), empty: none
        bool box;
    } cases[] = {
        {"the old help before the manual",
         {"Vornel_HELP.chm"},
         {"inst/index.html"},
         {true},
         {},
         "Vornel_HELP.chm",
         false},
        {"HLP before chm", {"Vornel_HELP.chm", "Vornel_HELP.HLP"}, {}, {}, {}, "Vornel_HELP.HLP", false},
        {"the first manual that exists",
         {},
         {"inst/index.html", "src/index.html", "pkg/index.html"},
         {false, true, true},
         {},
         "src/index.html",
         false},
        {"a manual the browser cannot show gives way to the next",
         {},
         {"src/index.html", "pkg/index.html"},
         {true, true},
         {false},
         "pkg/index.html",
         false},
        {"nothing at all", {}, {"inst/index.html", "pkg/index.html"}, {false, false}, {}, "", true},
        {"nothing that can be shown", {}, {"pkg/index.html"}, {true}, {false}, "pkg/index.html", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        Configuration config;
        config.load(dir.path());
        MainWindow window(config);
        const QDir folder(dir.path());
        window.helpPlaces.helpFolder = folder.filePath(QStringLiteral("work"));
        QDir().mkpath(window.helpPlaces.helpFolder);
        for (const QString& name : c.helpFiles)
            touch(folder.filePath(QStringLiteral("work/") + name));
        window.helpPlaces.manuals.clear();
        for (qsizetype i = 0; i < c.manuals.size(); ++i) {
            window.helpPlaces.manuals << folder.filePath(c.manuals[i]);
            if (c.existing[i])
                touch(folder.filePath(c.manuals[i]));
        }
        QStringList opened;
        window.openHelpUrl = [&, calls = 0](const QUrl& url) mutable {
            opened << QDir(dir.path()).relativeFilePath(url.toLocalFile());
            return calls < c.opens.size() ? c.opens[calls++] : true;
        };
        QStringList boxes;
        QTimer answerer;
        QObject::connect(&answerer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxes << box->windowTitle() + QStringLiteral(" | ") + box->text();
                EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
                box->accept();
            }
        });
        answerer.start(5);

        window.HelpProgrammClick();

        EXPECT_EQ(opened.isEmpty() ? QString() : opened.last().remove(QStringLiteral("work/")), c.opened);
        EXPECT_EQ(boxes,
                  c.box ? QStringList{QStringLiteral("Ошибка | Файл помощи - не найден !")} : QStringList{});
    }
}

TEST(Help, TheProgramLooksForItsManualBesideItselfInTheSourceTreeAndWhereThePackagePutsIt) {
    const HelpPlaces places = HelpPlaces::standard();
    EXPECT_EQ(places.helpFolder, QDir::currentPath());
    ASSERT_EQ(places.manuals.size(), 3);
    EXPECT_EQ(QDir::cleanPath(places.manuals[0]), QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                                                  "/../share/doc/lorimet/manual/index.html"));
    EXPECT_TRUE(QFileInfo::exists(places.manuals[1])) << places.manuals[1].toStdString();
    EXPECT_EQ(places.manuals[2], QStringLiteral("/usr/share/doc/lorimet/manual/index.html"));
}

} // namespace
} // namespace lorimet
