// platform_text.cpp -- Shift-JIS (code page 932) and UTF-8 conversion.

#include <cerrno>
#include <mutex>

#include "platform/platform_local.h"

namespace platform {

namespace {

std::string Convert(TextConverter& conv, std::string_view text) {
  std::string out;
  if (text.empty()) return out;
  std::lock_guard<std::mutex> lock(conv.mutex);
  if (conv.cd == iconv_t(-1)) {
    conv.cd = iconv_open(conv.to, conv.from);
    if (conv.cd == iconv_t(-1)) return std::string(text);  // no converter: bytes unchanged
  }
  iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
  out.resize(text.size() * 3 + 8);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* dst = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(conv.cd, &in, &inLeft, &dst, &outLeft) != size_t(-1)) break;
    if (errno == E2BIG) {
      size_t used = size_t(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      outLeft = out.size() - used;
      continue;
    }
    // An invalid or truncated sequence: one byte becomes "?".
    if (outLeft == 0) {
      size_t used = size_t(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      outLeft = out.size() - used;
    }
    *dst++ = '?';
    outLeft--;
    in++;
    inLeft--;
    iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(size_t(dst - out.data()));
  return out;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view text) { return Convert(State().toUtf8, text); }

std::string Utf8ToCp932(std::string_view text) { return Convert(State().toCp932, text); }

}  // namespace platform
