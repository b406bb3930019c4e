#include "base/qt_ui_font.h"

#include "base/base_messages.h"
#include "base/qt_prompter.h"

namespace calvane {

QStringList UiFontFamilies() {
  return {DisplayText(text::kUiFontFace), DisplayText(text::kUiFontFallback1),
          DisplayText(text::kUiFontFallback2)};
}

QFont UiFont() {
  QFont font;
  font.setFamilies(UiFontFamilies());
  font.setPixelSize(text::kUiFontPixelSize);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  font.setUnderline(false);
  font.setStrikeOut(false);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace calvane
