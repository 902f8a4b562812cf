#include "man_page.h"

#include <cstddef>

namespace {

constexpr std::string_view kMarker = ".\\\" @";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The paragraph after marker line `at`: up to the next marker or section heading.
std::string_view ParagraphAfter(const std::vector<std::string_view> &lines, size_t at,
                                std::string *storage) {
  storage->clear();
  for (size_t i = at + 1; i < lines.size(); ++i) {
    if (StartsWith(lines[i], kMarker) || StartsWith(lines[i], ".SH")) break;
    *storage += lines[i];
    *storage += '\n';
  }
  return *storage;
}

bool Substitute(std::string_view line, const std::map<std::string, std::string> &variables,
                std::string *out, std::string *error) {
  for (size_t at = 0; at < line.size();) {
    const size_t open = line.find('@', at);
    if (open == std::string_view::npos) {
      *out += line.substr(at);
      break;
    }
    const size_t close = line.find('@', open + 1);
    if (close == std::string_view::npos) {
      *error = "unclosed @ in: " + std::string(line);
      return false;
    }
    const auto found = variables.find(std::string(line.substr(open + 1, close - open - 1)));
    if (found == variables.end()) {
      *error = "unknown variable " + std::string(line.substr(open, close - open + 1));
      return false;
    }
    *out += line.substr(at, open - at);
    *out += found->second;
    at = close + 1;
  }
  *out += '\n';
  return true;
}

}  // namespace

std::string Roff_Escape(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '\\') {
      escaped += "\\e";
    } else if (c == '-') {
      escaped += "\\-";
    } else {
      escaped += c;
    }
  }
  // A line that begins with a dot or an apostrophe would be a request.
  if (!escaped.empty() && (escaped[0] == '.' || escaped[0] == '\'')) escaped.insert(0, "\\&");
  return escaped;
}

bool ManPage_Expand(std::string_view pageTemplate, const std::vector<ManItem> &items,
                    const std::map<std::string, std::string> &variables, std::string *page,
                    std::string *error) {
  std::vector<std::string_view> lines;
  for (size_t at = 0; at < pageTemplate.size();) {
    const size_t end = pageTemplate.find('\n', at);
    const size_t stop = end == std::string_view::npos ? pageTemplate.size() : end;
    lines.push_back(pageTemplate.substr(at, stop - at));
    at = stop + 1;
  }

  size_t next = 0;  // the item the next marker must name
  std::string paragraph;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (!StartsWith(line, kMarker)) {
      // The template's own comments stay out of the page.
      if (StartsWith(line, ".\\\"")) continue;
      if (!Substitute(line, variables, page, error)) return false;
      continue;
    }
    const std::string_view marker = line.substr(kMarker.size());
    const size_t blank = marker.find(' ');
    const std::string_view kind = marker.substr(0, blank);
    const std::string_view key = blank == std::string_view::npos ? "" : marker.substr(blank + 1);
    if (next >= items.size() || items[next].kind != kind || items[next].key != key) {
      *error =
          "the template's " + std::string(kind) + " " + std::string(key) +
          (next < items.size() ? " where the table has " + items[next].kind + " " + items[next].key
                               : " beyond the table's items");
      return false;
    }
    const ManItem &item = items[next++];
    const std::string_view text = ParagraphAfter(lines, i, &paragraph);
    for (const std::string &mention : item.mentions) {
      if (text.find(mention) == std::string_view::npos) {
        *error = "the paragraph of " + item.kind + " " + item.key + " does not explain " + mention;
        return false;
      }
    }
    *page += item.heading;
  }
  if (next != items.size()) {
    *error = "the template has no paragraph for " + items[next].kind + " " + items[next].key;
    return false;
  }
  return true;
}
