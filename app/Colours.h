#pragma once

#include <QColor>

namespace lorimet {

// Colours are kept as the configuration file writes them: 0x00BBGGRR, red in the low byte.
inline QColor colourFromSetting(quint32 value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

inline quint32 settingFromColour(const QColor& colour) {
    return static_cast<quint32>(colour.red()) | (static_cast<quint32>(colour.green()) << 8) |
           (static_cast<quint32>(colour.blue()) << 16);
}

} // namespace lorimet
