#pragma once
// The window's font: a Japanese proportional Gothic, so every text has glyphs.

#include <QFont>
#include <QString>
#include <QStringList>

namespace mirantos {

inline constexpr int WindowFontPixels = 12; // the window and its controls
inline constexpr int LargeLabelPixels = 13; // Label12 and Label13

// Families tried in order; the first one installed is used.
QStringList UiFontCandidates();

// The first installed candidate, or an empty text when none is installed.
QString UiFontFamily();

// The font at `pixelSize` pixels. With no candidate installed it keeps the
// application's family and lets Qt's fallback find the Japanese glyphs.
QFont UiFont(int pixelSize);

} // namespace mirantos
