#include "tools/assetgen/text_cp932.h"

#include <iconv.h>

#include <cstdio>
#include <vector>

bool Utf8ToCp932(const std::string& utf8, std::string* out) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == (iconv_t)-1) {
    std::perror("iconv_open CP932");
    return false;
  }
  std::vector<char> buffer(utf8.size() * 2 + 16);
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* dst = buffer.data();
  size_t out_left = buffer.size();
  const size_t r = iconv(cd, &in, &in_left, &dst, &out_left);
  iconv_close(cd);
  if (r == (size_t)-1 || in_left != 0) {
    std::fprintf(stderr, "assetgen: cannot convert \"%s\" to code page 932\n", utf8.c_str());
    return false;
  }
  out->assign(buffer.data(), dst);
  return true;
}

bool WriteCp932Text(const std::string& path, const std::string& utf8) {
  std::string bytes;
  if (!Utf8ToCp932(utf8, &bytes)) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    return false;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}
