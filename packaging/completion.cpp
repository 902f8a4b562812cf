// The completion models of tarne-tool (its command, option, format and type tables) and of
// tarne-admin (its command table's synopsis lines and the type table). What an option's
// argument completes to follows from its placeholder in the usage text.
#include <cctype>
#include <string_view>

#include "admin_commands.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "completion_model.h"
#include "record/uuid.h"
#include "tables/entry_types.h"

namespace {

struct PlaceholderKind {
  std::string_view placeholder;
  ArgumentKind kind;
};

// tarne-tool's usage text writes "<uuid>"; tarne-admin's synopsis writes "UUID".
constexpr PlaceholderKind kToolPlaceholders[] = {{"<uuid>", ArgumentKind::kUuid},
                                                 {"<int>|<name>", ArgumentKind::kType},
                                                 {"<fmt>", ArgumentKind::kFormat},
                                                 {"<file>", ArgumentKind::kFile},
                                                 {"<int>", ArgumentKind::kNumber}};
constexpr PlaceholderKind kAdminPlaceholders[] = {
    {"UUID", ArgumentKind::kUuid}, {"TYPE", ArgumentKind::kType}, {"FORMAT", ArgumentKind::kFormat},
    {"PATH", ArgumentKind::kFile}, {"FILE", ArgumentKind::kFile}, {"N", ArgumentKind::kNumber}};

template <size_t N>
bool KindOf(const PlaceholderKind (&kinds)[N], std::string_view placeholder, ArgumentKind *kind) {
  for (const PlaceholderKind &entry : kinds) {
    if (entry.placeholder == placeholder) {
      *kind = entry.kind;
      return true;
    }
  }
  return false;
}

// Words go into the scripts between single quotes and through compgen -W or compadd: nothing
// that would need quoting or split.
bool CheckWord(std::string_view word, std::string *error) {
  for (const char c : word) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_' && c != '-' && c != '/' &&
        c != '.') {
      *error = "a word the completion cannot offer: " + std::string(word);
      return false;
    }
  }
  return !word.empty() || (*error = "an empty word", false);
}

bool AddWord(std::vector<std::string> *words, std::string_view word, std::string *error) {
  if (!CheckWord(word, error)) return false;
  words->emplace_back(word);
  return true;
}

bool AddTypes(CompletionModel *model, std::string *error) {
  for (int type = 1; type <= kEntryTypeCount; ++type) {
    if (!AddWord(&model->types, entryTypeNames[type], error)) return false;
  }
  return AddWord(&model->uuids, TARNE_UUID_SELF_NAME, error) &&
         AddWord(&model->uuids, TARNE_UUID_NULL_NAME, error);
}

// Records --NAME with its kind, once; the same name with two kinds is a table mistake.
bool AddAdminOption(CompletionModel *model, const std::string &form, ArgumentKind kind,
                    std::string *error) {
  for (const CompletionOption &option : model->options) {
    if (option.forms.front() != form) continue;
    if (option.argument == kind) return true;
    *error = "the option " + form + " takes arguments of two kinds";
    return false;
  }
  if (!CheckWord(form, error)) return false;
  model->options.push_back({{form}, kind});
  return true;
}

// The --options of one synopsis line, each with the placeholder after it: "--self UUID",
// "--force", "[--file PATH | NAME=VALUE...]".
bool ScanSynopsisLine(std::string_view line, CompletionModel *model,
                      std::vector<std::string> *offered, std::string *error) {
  for (size_t at = line.find("--"); at != std::string_view::npos; at = line.find("--", at)) {
    size_t end = at + 2;
    while (end < line.size() &&
           (std::isalnum(static_cast<unsigned char>(line[end])) != 0 || line[end] == '-')) {
      ++end;
    }
    const std::string form(line.substr(at, end - at));
    ArgumentKind kind = ArgumentKind::kFlag;
    if (end < line.size() && line[end] == ' ') {
      size_t wordEnd = end + 1;
      while (wordEnd < line.size() && line[wordEnd] != ' ' && line[wordEnd] != ']') ++wordEnd;
      const std::string_view placeholder = line.substr(end + 1, wordEnd - end - 1);
      // An upper-case word after the option is its argument; anything else starts a new item.
      if (!placeholder.empty() && std::isupper(static_cast<unsigned char>(placeholder[0])) != 0 &&
          !KindOf(kAdminPlaceholders, placeholder, &kind)) {
        *error = "no completion for the argument " + std::string(placeholder) + " of " + form;
        return false;
      }
    }
    if (!AddAdminOption(model, form, kind, error)) return false;
    bool known = false;
    for (const std::string &word : *offered) known = known || word == form;
    if (!known) offered->push_back(form);
    at = end;
  }
  return true;
}

}  // namespace

bool ToolCompletionModel(CompletionModel *model, std::string *error) {
  *model = CompletionModel{};
  model->program = "tarne-tool";
  model->tables = "its command, option, format and entry type tables";
  for (const CommandInfo &command : Commands_Table()) {
    if (!AddWord(&model->commands, command.word, error)) return false;
  }
  for (const char *format : CommandLine_FormatNames()) {
    if (!AddWord(&model->formats, format, error)) return false;
  }
  if (!AddTypes(model, error)) return false;
  for (const CommandLineOption &option : CommandLine_Options()) {
    CompletionOption entry{
        {std::string("-") + option.shortName, std::string("--") + option.longName},
        ArgumentKind::kFlag};
    if (!CheckWord(entry.forms[0], error) || !CheckWord(entry.forms[1], error)) return false;
    if (option.argument != nullptr &&
        !KindOf(kToolPlaceholders, option.argument, &entry.argument)) {
      *error = "no completion for the argument " + std::string(option.argument) + " of " +
               entry.forms[1];
      return false;
    }
    model->options.push_back(std::move(entry));
  }
  return true;
}

bool AdminCompletionModel(CompletionModel *model, std::string *error) {
  *model = CompletionModel{};
  model->program = "tarne-admin";
  model->tables = "its command table and the entry type table";
  model->leadingWords = {"help"};
  if (!AddTypes(model, error)) return false;
  for (const olva::admin::Command &command : olva::admin::kCommands) {
    if (!AddWord(&model->commands, command.name, error)) return false;
    std::vector<std::string> &offered = model->commandOptions[command.name];
    std::string_view usage = command.usage;
    // The synopsis lines; the summary below them is indented by six blanks.
    while (!usage.empty() && usage.substr(0, 6) != "      ") {
      const size_t end = usage.find('\n');
      if (!ScanSynopsisLine(usage.substr(0, end), model, &offered, error)) return false;
      usage = end == std::string_view::npos ? std::string_view() : usage.substr(end + 1);
    }
    // Every command takes --directory and --help, whether its synopsis shows them or not.
    for (const char *form : {"--directory", "--help"}) {
      bool known = false;
      for (const std::string &word : offered) known = known || word == form;
      if (!known) offered.emplace_back(form);
    }
  }
  return AddAdminOption(model, "--directory", ArgumentKind::kFile, error) &&
         AddAdminOption(model, "--help", ArgumentKind::kFlag, error);
}

std::string CompletionFunctionName(const std::string &program) {
  std::string name = "_" + program;
  for (char &c : name) {
    if (c == '-') c = '_';
  }
  return name;
}

std::string Joined(const std::vector<std::string> &words, char separator) {
  std::string text;
  for (const std::string &word : words) {
    if (!text.empty()) text += separator;
    text += word;
  }
  return text;
}

std::string CasePattern(const CompletionModel &model, ArgumentKind kind) {
  std::vector<std::string> forms;
  for (const CompletionOption &option : model.options) {
    if (option.argument == kind)
      forms.insert(forms.end(), option.forms.begin(), option.forms.end());
  }
  return Joined(forms, '|');
}

std::vector<std::string> AllForms(const CompletionModel &model) {
  std::vector<std::string> forms;
  for (const CompletionOption &option : model.options) {
    forms.insert(forms.end(), option.forms.begin(), option.forms.end());
  }
  return forms;
}

std::vector<std::string> FormsWithArgument(const CompletionModel &model) {
  std::vector<std::string> forms;
  for (const CompletionOption &option : model.options) {
    if (option.argument != ArgumentKind::kFlag) {
      forms.insert(forms.end(), option.forms.begin(), option.forms.end());
    }
  }
  return forms;
}
