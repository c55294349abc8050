#include "platform/win32/cp932.h"

#include <iconv.h>

#include <cerrno>

#include "base/byte_order.h"

namespace vox_win32 {
namespace {

bool IsAscii(std::string_view text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

// One converter per thread and direction: iconv descriptors carry state and
// must not be shared between threads.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != (iconv_t)-1) iconv_close(cd_);
  }
  // skip_unknown: a byte that starts no convertible sequence is left out
  // instead of failing the whole text.
  bool Run(std::string_view text, std::string* out, bool skip_unknown = false) {
    if (cd_ == (iconv_t)-1) return false;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    out->assign(text.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    size_t in_left = text.size();
    char* dst = out->data();
    size_t out_left = out->size();
    while (in_left > 0) {
      if (iconv(cd_, &in, &in_left, &dst, &out_left) == (size_t)-1) {
        if (errno == E2BIG) {
          size_t used = dst - out->data();
          out->resize(out->size() * 2);
          dst = out->data() + used;
          out_left = out->size() - used;
        } else if (skip_unknown) {
          ++in;
          --in_left;
        } else {
          return false;
        }
      }
    }
    out->resize(dst - out->data());
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

bool Cp932ToUtf8(std::string_view text, std::string* out) {
  if (IsAscii(text)) {
    out->assign(text);
    return true;
  }
  thread_local Converter converter("UTF-8", "CP932");
  return converter.Run(text, out);
}

bool Utf8ToCp932(std::string_view text, std::string* out) {
  if (IsAscii(text)) {
    out->assign(text);
    return true;
  }
  thread_local Converter converter("CP932", "UTF-8");
  return converter.Run(text, out);
}

std::string Utf8ToCp932Lossy(std::string_view text) {
  std::string out;
  if (IsAscii(text)) return std::string(text);
  thread_local Converter converter("CP932", "UTF-8");
  if (!converter.Run(text, &out, true)) out.clear();
  return out;
}

uint32_t Cp932CodeToUnicode(uint32_t code) {
  if (code > 0xFFFF) return 0;
  char bytes[2];
  size_t length = 0;
  if (code > 0xFF) bytes[length++] = (char)(code >> 8);
  bytes[length++] = (char)(code & 0xFF);
  thread_local Converter converter("UTF-32LE", "CP932");
  std::string out;
  if (!converter.Run(std::string_view(bytes, length), &out) || out.size() != 4) return 0;
  return ReadLe32(reinterpret_cast<const uint8_t*>(out.data()));
}

int CompareNoCaseCp932(std::string_view a, std::string_view b) {
  size_t i = 0;
  while (i < a.size() && i < b.size()) {
    unsigned char ca = (unsigned char)a[i];
    unsigned char cb = (unsigned char)b[i];
    if (IsCp932LeadByte(ca) && i + 1 < a.size()) {
      // Two-byte characters compare byte for byte, lead and trail alike.
      if (ca != cb) return ca - cb;
      if (i + 1 >= b.size()) return 1;
      unsigned char ta = (unsigned char)a[i + 1], tb = (unsigned char)b[i + 1];
      if (ta != tb) return ta - tb;
      i += 2;
      continue;
    }
    if (ca >= 'a' && ca <= 'z') ca -= 32;
    if (cb >= 'a' && cb <= 'z') cb -= 32;
    if (ca != cb) return ca - cb;
    ++i;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace vox_win32
