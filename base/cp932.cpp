#include "base/cp932.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace calvane {
namespace {

// An iconv descriptor from one encoding to another for the thread that uses it (descriptors
// carry shift state and are not shared between threads): opened at the thread's first conversion
// in that direction and closed when the thread ends.
class Descriptor {
 public:
  Descriptor(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
  ~Descriptor() {
    if (Opened()) ::iconv_close(cd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  bool Opened() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // The descriptor in its initial shift state, whatever an earlier conversion left.
  iconv_t Reset() {
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    return cd_;
  }

 private:
  iconv_t cd_;
};

// Converts `input` with `descriptor`. nullopt on any unconvertible or incomplete sequence.
std::optional<std::string> Convert(Descriptor& descriptor, std::string_view input) {
  // Bytes below 0x80 are the same characters in both encodings: such a text (a calculation
  // log's numbers and most of its labels) is copied without a descriptor.
  if (std::all_of(input.begin(), input.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return std::string(input);
  }
  if (!descriptor.Opened()) return std::nullopt;
  iconv_t cd = descriptor.Reset();
  std::string out;
  out.resize(input.size() * 2 + 16);
  char* in_ptr = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  std::size_t used = 0;
  bool ok = true;
  while (in_left > 0) {
    char* out_ptr = out.data() + used;
    std::size_t out_left = out.size() - used;
    std::size_t r = ::iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    used = out.size() - out_left;
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      ok = false;  // EILSEQ or EINVAL: not representable or cut short
      break;
    }
  }
  if (ok) {
    // Flush any pending shift state (none for these encodings, but harmless).
    for (;;) {
      char* out_ptr = out.data() + used;
      std::size_t out_left = out.size() - used;
      std::size_t r = ::iconv(cd, nullptr, nullptr, &out_ptr, &out_left);
      used = out.size() - out_left;
      if (r == static_cast<std::size_t>(-1) && errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      break;
    }
  }
  if (!ok) return std::nullopt;
  out.resize(used);
  return out;
}

}  // namespace

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  thread_local Descriptor to_cp932("CP932", "UTF-8");
  return Convert(to_cp932, utf8);
}

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
  thread_local Descriptor to_utf8("UTF-8", "CP932");
  return Convert(to_utf8, cp932);
}

std::string Cp932(std::string_view utf8) {
  std::optional<std::string> converted = Utf8ToCp932(utf8);
  if (!converted) {
    std::fprintf(stderr, "Cp932: the program's own text cannot be converted to CP932\n");
    std::abort();
  }
  return *converted;
}

}  // namespace calvane
