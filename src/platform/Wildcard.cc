#include "platform/Wildcard.h"

#include <vector>

#include "text/Ascii.h"

namespace spekolar::platform {

namespace {

// Pattern elements after the translation Windows applies before matching.
enum class Wild { kLiteral, kStar, kDosStar, kDosQm, kDosDot };
struct Element {
  Wild kind;
  char ch;
};

std::vector<Element> TranslatePattern(std::string_view pattern) {
  std::vector<Element> elements;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    bool atEnd = i + 1 == pattern.size();
    if (c == '?') {
      elements.push_back({Wild::kDosQm, c});
    } else if (c == '*') {
      elements.push_back({next == '.' ? Wild::kDosStar : Wild::kStar, c});
    } else if (c == '.' && (atEnd || next == '*' || next == '?')) {
      elements.push_back({Wild::kDosDot, c});
    } else {
      elements.push_back({Wild::kLiteral, c});
    }
  }
  return elements;
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  std::vector<Element> p = TranslatePattern(pattern);
  const size_t np = p.size();
  const size_t nn = name.size();
  size_t lastDot = name.rfind('.');
  // reach[j] after processing element i: whether the first i elements can
  // match the first j characters of the name.
  std::vector<char> reach(nn + 1, 0);
  reach[0] = 1;
  for (size_t i = 0; i < np; ++i) {
    std::vector<char> next(nn + 1, 0);
    const Element& e = p[i];
    for (size_t j = 0; j <= nn; ++j) {
      if (!reach[j]) continue;
      switch (e.kind) {
        case Wild::kLiteral:
          if (j < nn && ascii::Lower(name[j]) == ascii::Lower(e.ch)) next[j + 1] = 1;
          break;
        case Wild::kStar:
          for (size_t k = j; k <= nn; ++k) next[k] = 1;
          break;
        case Wild::kDosStar:
          // Any run that does not take the name's last dot.
          for (size_t k = j; k <= nn; ++k) {
            next[k] = 1;
            if (k < nn && k == lastDot) break;
          }
          break;
        case Wild::kDosQm:
          if (j < nn && name[j] != '.') {
            next[j + 1] = 1;
          } else {
            next[j] = 1;  // at a dot or the end, '?' matches nothing
          }
          break;
        case Wild::kDosDot:
          if (j == nn) next[j] = 1;
          else if (name[j] == '.') next[j + 1] = 1;
          break;
      }
    }
    reach.swap(next);
  }
  return reach[nn] != 0;
}

}  // namespace spekolar::platform
