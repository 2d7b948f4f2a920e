#pragma once

#include <QChar>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>

class QPainter;

// Every picture the program shows is painted here with QPainter, from geometry in logical pixels, so that it
// stays sharp on any screen and the executable carries no bitmaps. Each pixmap function takes the device
// pixel ratio of the screen it is meant for: the result holds logical size × scale physical pixels and
// reports the ratio, so a widget shows it at its logical size. Icons paint themselves at whatever size is
// asked of them. All of them need a QGuiApplication.

namespace lorimet {

// The analyser's front panel, kFrontPanelSize logical pixels. The main window lays its live widgets over it
// at fixed places: the display at kIndicatorRect (drawn here as an empty bezel) and the four clickable spots
// (kLumineSpot, kPowerSpot, kReloadSpot, kSaveSpot), where the panel shows the matching keys and their
// labels.
inline constexpr QSize kFrontPanelSize{240, 400};
inline constexpr QRect kIndicatorRect{50, 56, 133, 72};
inline constexpr QRect kLumineSpot{74, 224, 21, 14};
inline constexpr QRect kPowerSpot{140, 224, 21, 14};
inline constexpr QRect kReloadSpot{107, 291, 21, 14};
inline constexpr QRect kSaveSpot{107, 350, 21, 14};

QPixmap frontPanelPicture(qreal scale = 1.0);

// The symbol O₂ (18 × 15) and the letters БПК (35 × 12), in the display's ink on a transparent ground.
QPixmap oxyPicture(qreal scale = 1.0);
QPixmap bpkPicture(qreal scale = 1.0);

// What the display shows while no analyser is linked (124 × 58); transparent ground, so the backlight shows.
QPixmap displayLogo(qreal scale = 1.0);

// The start-up picture and the Contacts window's picture, 260 × 116 each.
QPixmap splashPicture(qreal scale = 1.0);
QPixmap contactsPicture(qreal scale = 1.0);

// The message window's animations. The syringe (40 × 40) at step 1..30: filled from a vial (1..10), turned
// to the horizontal (11..20), emptied (21..30). The switch knob (32 × 32) at step 1..11: slot horizontal
// (the «изм.» position) at 1, a quarter turn later vertical («под.») at 11. Steps outside the range are
// clamped to it.
inline constexpr int kSyringeSteps = 30;
inline constexpr int kKnobSteps = 11;
QPixmap syringePicture(int step, qreal scale = 1.0);
QPixmap knobPicture(int step, qreal scale = 1.0);
// 'F' is the syringe, 'H' the knob (either case); any other letter gives a null pixmap.
QPixmap promptPicture(QChar letter, int step, qreal scale = 1.0);

// The notification-area icon's frames for the operating state 0..4 (the icon steps through them every
// 450 ms): 0 not linked or preparing, 1 ready, 2 sample run, 3 calibration or waiting for the upper point,
// 4 linked but no lines. Any other state has no list: the result is empty and the icon should stay as it is.
inline constexpr int kTrayStates = 5;
QList<QIcon> trayImageList(int state);

// Line icons of the toolbar, designed on a 24-pixel grid: "open", "save", "connect", "disconnect",
// "upperpoint", "calibration", "measurement", "toxicity", "clear", "copy", "savepanel", "print", "table",
// "comport", "settings", "help". An unknown name gives a null icon. Disabled buttons get a grey version.
QIcon toolbarIcon(const QString& name);
QStringList toolbarIconNames();

// The program's icon: the window's and the tray menu's, and the desktop's icon files (lorimet-icon paints
// them at build time with this same drawing). paintApplicationIcon draws it on a grid of 32 × 32 units from
// the painter's origin: scale the painter to the size wanted.
QIcon applicationIcon();
void paintApplicationIcon(QPainter& painter);

// The Contacts window's small turning globe (17 × 17), frame 0..31 of one turn; clamped to that range.
inline constexpr int kContactsFrames = 32;
QPixmap contactsAnimation(int index, qreal scale = 1.0);

} // namespace lorimet
