// A strict JSON validator for the tests: the whole text must be one JSON value (RFC 8259),
// strings well-formed UTF-8 without raw control characters.
#ifndef TESTS_CONVERTER_JSON_CHECKER_H
#define TESTS_CONVERTER_JSON_CHECKER_H

#include <cstddef>
#include <string_view>

namespace testing_json {

class Checker {
 public:
  explicit Checker(std::string_view text) : text_(text) {}

  bool Document() {
    SkipBlanks();
    if (!Value(0)) return false;
    SkipBlanks();
    return at_ == text_.size();
  }

 private:
  bool Value(int depth) {
    if (depth > 64 || at_ >= text_.size()) return false;
    switch (text_[at_]) {
      case '{':
        return Object(depth);
      case '[':
        return Array(depth);
      case '"':
        return String();
      case 't':
        return Word("true");
      case 'f':
        return Word("false");
      case 'n':
        return Word("null");
      default:
        return Number();
    }
  }

  bool Object(int depth) {
    ++at_;
    SkipBlanks();
    if (Take('}')) return true;
    do {
      SkipBlanks();
      if (at_ >= text_.size() || text_[at_] != '"' || !String()) return false;
      SkipBlanks();
      if (!Take(':')) return false;
      SkipBlanks();
      if (!Value(depth + 1)) return false;
      SkipBlanks();
    } while (Take(','));
    return Take('}');
  }

  bool Array(int depth) {
    ++at_;
    SkipBlanks();
    if (Take(']')) return true;
    do {
      SkipBlanks();
      if (!Value(depth + 1)) return false;
      SkipBlanks();
    } while (Take(','));
    return Take(']');
  }

  bool String() {
    ++at_;
    while (at_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[at_]);
      if (c == '"') {
        ++at_;
        return true;
      }
      if (c < 0x20) return false;
      if (c == '\\') {
        if (++at_ >= text_.size()) return false;
        const char e = text_[at_++];
        if (e == 'u') {
          for (int i = 0; i < 4; ++i, ++at_) {
            if (at_ >= text_.size() || !IsHex(text_[at_])) return false;
          }
        } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
          return false;
        }
        continue;
      }
      if (c < 0x80) {
        ++at_;
        continue;
      }
      if (!Utf8()) return false;
    }
    return false;
  }

  bool Utf8() {
    const auto lead = static_cast<unsigned char>(text_[at_]);
    int length = lead >= 0xc2 && lead <= 0xdf   ? 2
                 : lead >= 0xe0 && lead <= 0xef ? 3
                 : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                : 0;
    if (length == 0 || at_ + length > text_.size()) return false;
    unsigned code = lead & (0xff >> (length + 1));
    for (int i = 1; i < length; ++i) {
      const auto c = static_cast<unsigned char>(text_[at_ + i]);
      if ((c & 0xc0) != 0x80) return false;
      code = (code << 6) | (c & 0x3f);
    }
    const unsigned minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < minimum || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return false;
    at_ += length;
    return true;
  }

  bool Number() {
    Take('-');
    if (Take('0')) {
    } else if (!Digits()) {
      return false;
    }
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return true;
  }

  bool Digits() {
    const size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ != start;
  }

  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  bool Take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  void SkipBlanks() {
    while (at_ < text_.size() &&
           std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos)
      ++at_;
  }

  static bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  }

  std::string_view text_;
  size_t at_ = 0;
};

inline bool IsValidJson(std::string_view text) {
  return Checker(text).Document();
}

}  // namespace testing_json

#endif  // TESTS_CONVERTER_JSON_CHECKER_H
