// The bash completion of tarne-tool, from the command, option, format and type tables. What
// an option's argument completes to follows from its placeholder in the usage text.
#include <cctype>
#include <string_view>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "operator_files.h"
#include "tables/entry_types.h"

namespace {

enum class ArgumentKind { kNone, kUuid, kType, kFormat, kFile };

bool KindOf(std::string_view placeholder, ArgumentKind *kind) {
  static constexpr struct {
    std::string_view placeholder;
    ArgumentKind kind;
  } kKinds[] = {{"<uuid>", ArgumentKind::kUuid},
                {"<int>|<name>", ArgumentKind::kType},
                {"<fmt>", ArgumentKind::kFormat},
                {"<file>", ArgumentKind::kFile},
                {"<int>", ArgumentKind::kNone}};
  for (const auto &entry : kKinds) {
    if (entry.placeholder == placeholder) {
      *kind = entry.kind;
      return true;
    }
  }
  return false;
}

// Words go into the script between single quotes and through compgen -W: nothing that
// would need quoting or split.
bool AppendWord(std::string *list, std::string_view word, std::string *error) {
  for (const char c : word) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_' && c != '-' && c != '/' &&
        c != '.') {
      *error = "a word the completion cannot offer: " + std::string(word);
      return false;
    }
  }
  if (!list->empty()) *list += ' ';
  *list += word;
  return true;
}

}  // namespace

bool ToolCompletion(std::string *script, std::string *error) {
  std::string commands;
  for (const CommandInfo &command : Commands_Table()) {
    if (!AppendWord(&commands, command.word, error)) return false;
  }
  std::string types;
  for (int type = 1; type <= kEntryTypeCount; ++type) {
    if (!AppendWord(&types, entryTypeNames[type], error)) return false;
  }
  std::string formats;
  for (const char *format : CommandLine_FormatNames()) {
    if (!AppendWord(&formats, format, error)) return false;
  }

  std::string options;
  // Per kind, the case pattern of the options whose argument is of that kind.
  std::string patterns[5];
  for (const CommandLineOption &option : CommandLine_Options()) {
    const std::string shortForm = std::string("-") + option.shortName;
    const std::string longForm = std::string("--") + option.longName;
    if (!AppendWord(&options, shortForm, error) || !AppendWord(&options, longForm, error)) {
      return false;
    }
    if (option.argument == nullptr) continue;
    ArgumentKind kind = ArgumentKind::kNone;
    if (!KindOf(option.argument, &kind)) {
      *error = "no completion for the argument " + std::string(option.argument) + " of " + longForm;
      return false;
    }
    std::string &pattern = patterns[static_cast<int>(kind)];
    if (!pattern.empty()) pattern += '|';
    pattern += shortForm;
    pattern += '|';
    pattern += longForm;
  }
  std::string withArgument;
  for (const std::string &pattern : patterns) {
    if (pattern.empty()) continue;
    if (!withArgument.empty()) withArgument += '|';
    withArgument += pattern;
  }
  const auto caseOf = [&](ArgumentKind kind, std::string_view action) {
    const std::string &pattern = patterns[static_cast<int>(kind)];
    return pattern.empty()
               ? std::string()
               : "    " + pattern + ")\n      " + std::string(action) + "\n      return 0 ;;\n";
  };

  *script =
      "# bash completion for tarne-tool, generated from its command, option, format and entry\n"
      "# type tables.\n"
      "_tarne_tool() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev='' i\n"
      "  local commands='" +
      commands +
      "'\n"
      "  local options='" +
      options +
      "'\n"
      "  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
      "  # While '=' breaks words, --type=DI arrives as '--type' '=' 'DI'.\n"
      "  if [[ $cur == = ]]; then\n"
      "    cur=''\n"
      "  elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then\n"
      "    prev=${COMP_WORDS[COMP_CWORD - 2]}\n"
      "  fi\n"
      "  COMPREPLY=()\n"
      "  case $prev in\n" +
      caseOf(ArgumentKind::kType,
             "mapfile -t COMPREPLY < <(compgen -W '" + types + "' -- \"$cur\")") +
      caseOf(ArgumentKind::kFormat,
             "mapfile -t COMPREPLY < <(compgen -W '" + formats + "' -- \"$cur\")") +
      caseOf(ArgumentKind::kUuid,
             "mapfile -t COMPREPLY < <(compgen -W 'OLVA_UUID_SELF OLVA_UUID_NULL' -- \"$cur\")") +
      caseOf(ArgumentKind::kFile,
             "compopt -o filenames 2>/dev/null\n      mapfile -t COMPREPLY < <(compgen -f -- "
             "\"$cur\")") +
      caseOf(ArgumentKind::kNone, ": a number") +
      "  esac\n"
      "  if [[ $cur == -* ]]; then\n"
      "    mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\")\n"
      "    return 0\n"
      "  fi\n"
      "  # One command word per run: none is offered once the line holds one.\n"
      "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      "    case ${COMP_WORDS[i]} in\n"
      "      " +
      withArgument +
      ") ((i++)) ;;\n"
      "      -*) ;;\n"
      "      *) [[ \" $commands \" == *\" ${COMP_WORDS[i]} \"* ]] && return 0 ;;\n"
      "    esac\n"
      "  done\n"
      "  mapfile -t COMPREPLY < <(compgen -W \"$commands\" -- \"$cur\")\n"
      "}\n"
      "complete -F _tarne_tool tarne-tool\n";
  return true;
}
