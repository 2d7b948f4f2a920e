#include "app/Pictures.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

#include <functional>

namespace lorimet {
namespace {

QImage imageOf(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

int opaquePixels(const QImage& image, const QRect& area) {
    int count = 0;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            count += qAlpha(image.pixel(x, y)) == 255 ? 1 : 0;
    return count;
}

struct SizedPicture {
    const char* name;
    std::function<QPixmap(qreal)> make;
    QSize size;
};

const SizedPicture kPictures[] = {
    {"front panel", frontPanelPicture, kFrontPanelSize},
    {"oxy", oxyPicture, {18, 15}},
    {"bpk", bpkPicture, {35, 12}},
    {"display logo", displayLogo, {124, 58}},
    {"splash", splashPicture, {260, 116}},
    {"contacts", contactsPicture, {260, 116}},
    {"syringe", [](qreal s) { return syringePicture(1, s); }, {40, 40}},
    {"knob", [](qreal s) { return knobPicture(1, s); }, {32, 32}},
    {"globe", [](qreal s) { return contactsAnimation(0, s); }, {17, 17}},
};

TEST(Pictures, HaveTheirSizesAtEveryScaleAndAreNotBlank) {
    for (const SizedPicture& picture : kPictures) {
        for (const qreal scale : {1.0, 2.0, 1.5}) {
            SCOPED_TRACE(std::string(picture.name) + " at " + std::to_string(scale));
            const QPixmap pixmap = picture.make(scale);
            EXPECT_EQ(pixmap.size(), (QSizeF(picture.size) * scale).toSize());
            EXPECT_DOUBLE_EQ(pixmap.devicePixelRatio(), scale);
            EXPECT_GT(opaquePixels(imageOf(pixmap), pixmap.rect()), 0);
        }
    }
}

TEST(Pictures, UnusableScaleFallsBackToOne) {
    EXPECT_EQ(oxyPicture(0.0).size(), QSize(18, 15));
    EXPECT_EQ(oxyPicture(-2.0).size(), QSize(18, 15));
}

TEST(Pictures, FrontPanelShowsKeysUnderTheSpotsAndGlassUnderTheDisplay) {
    const QImage panel = imageOf(frontPanelPicture());
    for (const QRect& spot : {kLumineSpot, kPowerSpot, kReloadSpot, kSaveSpot})
        EXPECT_EQ(opaquePixels(panel, spot), spot.width() * spot.height());
    EXPECT_EQ(opaquePixels(panel, kIndicatorRect), kIndicatorRect.width() * kIndicatorRect.height());
    EXPECT_EQ(QColor(panel.pixel(kIndicatorRect.center())), QColor(0xa4, 0xa0, 0xa0));
}

TEST(Pictures, EverySyringeAndKnobStepDiffersFromTheOneBefore) {
    for (int step = 2; step <= kSyringeSteps; ++step)
        EXPECT_NE(imageOf(syringePicture(step)), imageOf(syringePicture(step - 1)))
            << "syringe step " << step;
    for (int step = 2; step <= kKnobSteps; ++step)
        EXPECT_NE(imageOf(knobPicture(step)), imageOf(knobPicture(step - 1))) << "knob step " << step;
    EXPECT_NE(imageOf(syringePicture(1)), imageOf(syringePicture(15)));
    EXPECT_NE(imageOf(syringePicture(15)), imageOf(syringePicture(30)));
    EXPECT_NE(imageOf(syringePicture(1)), imageOf(syringePicture(30)));
    EXPECT_NE(imageOf(knobPicture(1)), imageOf(knobPicture(11)));
}

TEST(Pictures, KnobSlotIsHorizontalAtTheFirstStepAndVerticalAtTheLast) {
    // The slot is the darkest thing on the cap: it crosses the centre row at step 1, the centre column at 11.
    const auto darkAt = [](const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 40; };
    const QImage first = imageOf(knobPicture(1));
    const QImage last = imageOf(knobPicture(kKnobSteps));
    EXPECT_TRUE(darkAt(first, 10, 16) && darkAt(first, 22, 16));
    EXPECT_FALSE(darkAt(first, 16, 10) || darkAt(first, 16, 22));
    EXPECT_TRUE(darkAt(last, 16, 10) && darkAt(last, 16, 22));
    EXPECT_FALSE(darkAt(last, 10, 16) || darkAt(last, 22, 16));
}

TEST(Pictures, OutOfRangeStepsAreClamped) {
    struct Case {
        std::function<QPixmap(int)> make;
        int outside;
        int clampedTo;
    };
    const Case cases[] = {
        {[](int n) { return syringePicture(n); }, 0, 1},
        {[](int n) { return syringePicture(n); }, -7, 1},
        {[](int n) { return syringePicture(n); }, 31, 30},
        {[](int n) { return knobPicture(n); }, 0, 1},
        {[](int n) { return knobPicture(n); }, 42, 11},
        {[](int n) { return contactsAnimation(n); }, -1, 0},
        {[](int n) { return contactsAnimation(n); }, 32, 31},
    };
    for (const Case& c : cases)
        EXPECT_EQ(imageOf(c.make(c.outside)), imageOf(c.make(c.clampedTo))) << c.outside;
}

TEST(Pictures, PromptLettersChooseTheSequence) {
    EXPECT_EQ(imageOf(promptPicture(u'F', 12)), imageOf(syringePicture(12)));
    EXPECT_EQ(imageOf(promptPicture(u'f', 12)), imageOf(syringePicture(12)));
    EXPECT_EQ(imageOf(promptPicture(u'H', 5)), imageOf(knobPicture(5)));
    EXPECT_TRUE(promptPicture(u'X', 1).isNull());
}

TEST(Pictures, GlobeTurns) {
    EXPECT_NE(imageOf(contactsAnimation(0)), imageOf(contactsAnimation(1)));
    EXPECT_NE(imageOf(contactsAnimation(0)), imageOf(contactsAnimation(16)));
}

TEST(Icons, TrayListsExistForTheFiveStatesOnly) {
    for (int state = 0; state < kTrayStates; ++state) {
        SCOPED_TRACE(state);
        const QList<QIcon> frames = trayImageList(state);
        ASSERT_FALSE(frames.isEmpty());
        for (const QIcon& frame : frames) {
            EXPECT_EQ(frame.pixmap(QSize(16, 16), 1.0).size(), QSize(16, 16));
            EXPECT_EQ(frame.pixmap(QSize(32, 32), 1.0).size(), QSize(32, 32));
        }
    }
    EXPECT_TRUE(trayImageList(-1).isEmpty());
    EXPECT_TRUE(trayImageList(kTrayStates).isEmpty());
}

TEST(Icons, AnimatedTrayStatesChangeFromFrameToFrame) {
    for (const int state : {2, 3, 4}) {
        const QList<QIcon> frames = trayImageList(state);
        ASSERT_GE(frames.size(), 2) << state;
        for (int i = 1; i < frames.size(); ++i)
            EXPECT_NE(frames[i].pixmap(QSize(32, 32), 1.0).toImage(),
                      frames[i - 1].pixmap(QSize(32, 32), 1.0).toImage())
                << "state " << state << " frame " << i;
    }
    // Each state is told apart by its look, not only by its timing.
    EXPECT_NE(trayImageList(0)[0].pixmap(QSize(16, 16), 1.0).toImage(),
              trayImageList(1)[0].pixmap(QSize(16, 16), 1.0).toImage());
}

TEST(Icons, EveryToolbarIconIsDistinctAndGreyWhenDisabled) {
    const QStringList names{"open",        "save",     "connect",  "disconnect", "upperpoint", "calibration",
                            "measurement", "toxicity", "clear",    "copy",       "savepanel",  "print",
                            "table",       "comport",  "settings", "help"};
    EXPECT_EQ(toolbarIconNames(), names);
    QList<QImage> seen;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QIcon icon = toolbarIcon(name);
        ASSERT_FALSE(icon.isNull());
        const QImage normal = icon.pixmap(QSize(24, 24), 1.0).toImage();
        EXPECT_EQ(normal.size(), QSize(24, 24));
        EXPECT_GT(opaquePixels(normal.convertToFormat(QImage::Format_ARGB32), normal.rect()), 0);
        EXPECT_NE(icon.pixmap(QSize(24, 24), 1.0, QIcon::Disabled).toImage(), normal);
        EXPECT_FALSE(seen.contains(normal));
        seen.append(normal);
        EXPECT_EQ(icon.pixmap(QSize(24, 24), 2.0).size(), QSize(48, 48));
    }
    EXPECT_TRUE(toolbarIcon(QStringLiteral("nonsense")).isNull());
}

TEST(Icons, ApplicationIconPaintsAtAnySize) {
    const QIcon icon = applicationIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int side : {16, 32, 48, 256})
        EXPECT_EQ(icon.pixmap(QSize(side, side), 1.0).size(), QSize(side, side));
}

// Not a check: LORIMET_PICTURES_DIR=folder writes every picture there as PNG, for looking at them.
TEST(Pictures, DumpForInspection) {
    const QString folder = qEnvironmentVariable("LORIMET_PICTURES_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "set LORIMET_PICTURES_DIR to write the pictures out";
    QDir().mkpath(folder);
    const QDir dir(folder);
    for (const qreal scale : {1.0, 3.0}) {
        const QString suffix = scale == 1.0 ? QString() : QStringLiteral("@3x");
        frontPanelPicture(scale).save(dir.filePath("panel" + suffix + ".png"));
        oxyPicture(scale).save(dir.filePath("oxy" + suffix + ".png"));
        bpkPicture(scale).save(dir.filePath("bpk" + suffix + ".png"));
        displayLogo(scale).save(dir.filePath("logo" + suffix + ".png"));
        splashPicture(scale).save(dir.filePath("splash" + suffix + ".png"));
        contactsPicture(scale).save(dir.filePath("contacts" + suffix + ".png"));
        for (int step = 1; step <= kSyringeSteps; ++step)
            syringePicture(step, scale).save(dir.filePath(QStringLiteral("F%1%2.png").arg(step).arg(suffix)));
        for (int step = 1; step <= kKnobSteps; ++step)
            knobPicture(step, scale).save(dir.filePath(QStringLiteral("H%1%2.png").arg(step).arg(suffix)));
        for (int i = 0; i < kContactsFrames; ++i)
            contactsAnimation(i, scale).save(
                dir.filePath(QStringLiteral("globe%1%2.png").arg(i).arg(suffix)));
    }
    for (int state = 0; state < kTrayStates; ++state) {
        const QList<QIcon> frames = trayImageList(state);
        for (int i = 0; i < frames.size(); ++i)
            for (const int side : {16, 32, 96})
                frames[i]
                    .pixmap(QSize(side, side), 1.0)
                    .save(dir.filePath(QStringLiteral("tray%1_%2_%3.png").arg(state).arg(i).arg(side)));
    }
    for (const QString& name : toolbarIconNames())
        for (const int side : {24, 96}) {
            toolbarIcon(name)
                .pixmap(QSize(side, side), 1.0)
                .save(dir.filePath(QStringLiteral("tool_%1_%2.png").arg(name).arg(side)));
            toolbarIcon(name)
                .pixmap(QSize(side, side), 1.0, QIcon::Disabled)
                .save(dir.filePath(QStringLiteral("tool_%1_%2_off.png").arg(name).arg(side)));
        }
    for (const int side : {16, 32, 128})
        applicationIcon()
            .pixmap(QSize(side, side), 1.0)
            .save(dir.filePath(QStringLiteral("app_%1.png").arg(side)));
}

} // namespace
} // namespace lorimet
