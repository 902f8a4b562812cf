// The items and variables of tarne-tool(1), from the command, option, format and type tables.
#include <string_view>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "directory/directory_location.h"
#include "operator_files.h"
#include "tables/dump_header.h"
#include "tables/entry_types.h"

namespace {

// "<int>|<name>" as "\fIint\fR|\fIname\fR".
std::string RoffPlaceholder(std::string_view placeholder) {
  std::string text;
  for (const char c : placeholder) {
    if (c == '<') {
      text += "\\fI";
    } else if (c == '>') {
      text += "\\fR";
    } else {
      text += Roff_Escape(std::string_view(&c, 1));
    }
  }
  return text;
}

std::string BoldList(const char *const *names, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (!text.empty()) text += ", ";
    text += "\\fB" + Roff_Escape(names[i]) + "\\fR";
  }
  return text;
}

}  // namespace

ManVariables CommonManVariables(const std::string &version) {
  return {{"VERSION", Roff_Escape(version)},
          {"DEFAULT_DIRECTORY", Roff_Escape(olva::dir::kDefaultDirectoryPath)},
          {"DUMP_HEADER_PATH", Roff_Escape(kDumpHeaderPath)}};
}

std::vector<ManItem> ToolManItems() {
  std::vector<ManItem> items;
  for (const CommandInfo &command : Commands_Table()) {
    items.push_back({"command", command.word, ".TP\n.B " + Roff_Escape(command.word) + "\n", {}});
  }
  for (const CommandLineOption &option : CommandLine_Options()) {
    std::string heading = ".TP\n\\fB\\-";
    heading += option.shortName;
    heading += "\\fR, \\fB\\-\\-";
    heading += Roff_Escape(option.longName);
    heading += "\\fR";
    if (option.argument != nullptr) {
      heading += '=';
      heading += RoffPlaceholder(option.argument);
    }
    items.push_back({"option", std::string(1, option.shortName), heading + "\n", {}});
  }
  return items;
}

ManVariables ToolManVariables(const std::string &version) {
  ManVariables variables = CommonManVariables(version);
  variables["ENTRY_TYPE_COUNT"] = std::to_string(kEntryTypeCount);
  std::string types;
  for (int type = 1; type <= kEntryTypeCount; ++type) {
    if (type < 10) types += ' ';
    types += std::to_string(type);
    types += "  ";
    types += Roff_Escape(entryTypeNames[type]);
    if (type < kEntryTypeCount) types += '\n';
  }
  variables["ENTRY_TYPE_TABLE"] = types;
  const std::span<const char *const> formats = CommandLine_FormatNames();
  variables["FORMAT_NAMES"] = BoldList(formats.data(), formats.size());
  return variables;
}
