#include "platform/win32/wildcard.h"

#include <vector>

#include "platform/win32/cp932.h"

namespace vox_win32 {
namespace {

enum class Token { kLiteral, kStar, kStarBeforeDot, kQuestion, kDotOrEnd, kFinalDot };

struct Item {
  Token token;
  std::string_view text;  // the character, for literals
};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? (char)(c - 32) : c; }

bool SameChar(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() == 2) return a == b;
  return Upper(a[0]) == Upper(b[0]);
}

std::vector<Item> Tokenise(std::string_view pattern) {
  std::vector<Item> items;
  for (size_t i = 0; i < pattern.size();) {
    size_t n = Cp932CharLength(pattern, i);
    std::string_view c = pattern.substr(i, n);
    char next = i + n < pattern.size() ? pattern[i + n] : '\0';
    Token t = Token::kLiteral;
    if (n == 1 && c[0] == '*')
      t = next == '.' ? Token::kStarBeforeDot : Token::kStar;
    else if (n == 1 && c[0] == '?')
      t = Token::kQuestion;
    else if (n == 1 && c[0] == '.' && (next == '*' || next == '?'))
      t = Token::kDotOrEnd;
    else if (n == 1 && c[0] == '.' && i + 1 == pattern.size())
      t = Token::kFinalDot;
    items.push_back({t, c});
    i += n;
  }
  return items;
}

class Matcher {
 public:
  Matcher(std::string_view pattern, std::string_view name) : items_(Tokenise(pattern)) {
    for (size_t i = 0; i < name.size();) {
      size_t n = Cp932CharLength(name, i);
      chars_.push_back(name.substr(i, n));
      if (n == 1 && name[i] == '.') last_dot_ = chars_.size() - 1;
      i += n;
    }
    memo_.assign((items_.size() + 1) * (chars_.size() + 1), -1);
  }

  bool Match(size_t p, size_t c) {
    int8_t& m = memo_[p * (chars_.size() + 1) + c];
    if (m < 0) m = Compute(p, c) ? 1 : 0;
    return m == 1;
  }

 private:
  bool AtDot(size_t c) const { return c < chars_.size() && chars_[c] == "."; }

  bool Compute(size_t p, size_t c) {
    size_t end = chars_.size();
    if (p == items_.size()) return c == end;
    const Item& it = items_[p];
    switch (it.token) {
      case Token::kStar:
        for (size_t k = c; k <= end; ++k)
          if (Match(p + 1, k)) return true;
        return false;
      case Token::kStarBeforeDot: {
        // Any run that does not pass the name's last dot.
        size_t limit = (last_dot_ != npos && last_dot_ >= c) ? last_dot_ : end;
        for (size_t k = c; k <= limit; ++k)
          if (Match(p + 1, k)) return true;
        return false;
      }
      case Token::kQuestion:
        if (c == end || AtDot(c)) return Match(p + 1, c);
        return Match(p + 1, c + 1);
      case Token::kDotOrEnd:
        if (c == end) return Match(p + 1, c);
        return AtDot(c) && Match(p + 1, c + 1);
      case Token::kFinalDot:
        return c == end || (AtDot(c) && c + 1 == end);
      case Token::kLiteral:
        return c < end && SameChar(it.text, chars_[c]) && Match(p + 1, c + 1);
    }
    return false;
  }

  static constexpr size_t npos = (size_t)-1;
  std::vector<Item> items_;
  std::vector<std::string_view> chars_;
  size_t last_dot_ = npos;
  std::vector<int8_t> memo_;
};

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  Matcher m(pattern, name);
  return m.Match(0, 0);
}

}  // namespace vox_win32
