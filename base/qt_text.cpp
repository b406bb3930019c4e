#include "base/qt_text.h"

#include <QList>

#include <optional>

#include "base/cp932.h"

namespace calvane {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

std::string ToCp932(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  if (std::optional<std::string> whole =
          Utf8ToCp932({utf8.constData(), static_cast<std::size_t>(utf8.size())})) {
    return *whole;
  }
  // Character by character, so that only the ones without a Shift-JIS form are replaced.
  std::string bytes;
  const QList<uint> code_points = text.toUcs4();
  for (const uint code_point : code_points) {
    const char32_t one_point = code_point;
    const QByteArray one = QString::fromUcs4(&one_point, 1).toUtf8();
    const std::optional<std::string> converted =
        Utf8ToCp932({one.constData(), static_cast<std::size_t>(one.size())});
    if (converted) {
      bytes += *converted;
    } else {
      bytes.push_back(kUnrepresentableByte);
    }
  }
  return bytes;
}

QString FromCp932(std::string_view bytes) {
  if (std::optional<std::string> whole = Cp932ToUtf8(bytes)) {
    return QString::fromUtf8(whole->data(), static_cast<qsizetype>(whole->size()));
  }
  QString text;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t length =
        IsLeadByte(static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
    const std::optional<std::string> one = Cp932ToUtf8(bytes.substr(i, length));
    if (one) {
      text += QString::fromUtf8(one->data(), static_cast<qsizetype>(one->size()));
      i += length;
    } else {
      // Only the byte that cannot start a character is replaced; the next one starts afresh.
      text += QChar(static_cast<char16_t>(kReplacement));
      ++i;
    }
  }
  return text;
}

}  // namespace calvane
