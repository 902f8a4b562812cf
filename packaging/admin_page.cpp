// The items of tarne-admin(8), from tarne-admin's command table: each command's synopsis,
// and the options its paragraph must explain.
#include <cctype>
#include <string_view>

#include "admin_commands.h"
#include "operator_files.h"

namespace {

constexpr std::string_view kSummaryIndent = "      ";  // the usage's summary lines

// The --names a synopsis line shows, but --directory, which every command takes.
void CollectOptions(std::string_view line, std::vector<std::string> *mentions) {
  for (size_t at = line.find("--"); at != std::string_view::npos; at = line.find("--", at)) {
    size_t end = at + 2;
    while (end < line.size() &&
           (std::isalnum(static_cast<unsigned char>(line[end])) != 0 || line[end] == '-')) {
      ++end;
    }
    const std::string_view name = line.substr(at, end - at);
    if (name != "--directory") mentions->push_back(Roff_Escape(name));
    at = end;
  }
}

}  // namespace

std::vector<ManItem> AdminManItems() {
  std::vector<ManItem> items;
  for (const olva::admin::Command &command : olva::admin::kCommands) {
    ManItem item{"command", command.name, "", {}};
    std::string synopsis;
    std::string_view usage = command.usage;
    while (!usage.empty()) {
      const size_t end = usage.find('\n');
      std::string_view line = usage.substr(0, end);
      usage = end == std::string_view::npos ? std::string_view() : usage.substr(end + 1);
      // The usage's one-line summary; the page's own paragraph says more.
      if (line.substr(0, kSummaryIndent.size()) == kSummaryIndent) continue;
      CollectOptions(line, &item.mentions);
      synopsis += (synopsis.empty() ? "\\fBtarne\\-admin\\fR " : "") + Roff_Escape(line) + "\n";
    }
    item.heading = ".SS " + Roff_Escape(command.name) + "\n.nf\n" + synopsis + ".fi\n.PP\n";
    items.push_back(std::move(item));
  }
  return items;
}
