#pragma once

#include <QFont>
#include <QStringList>

namespace calvane {

// The user-interface font handed to every control of every window: "ＭＳ Ｐゴシック" at 12 pixels,
// normal weight, falling back to IPAPGothic (drawn to the same metrics) and then to
// Noto Sans CJK JP, proportional sans-serif.
QFont UiFont();
// The families of UiFont(), in order of preference.
QStringList UiFontFamilies();

}  // namespace calvane
