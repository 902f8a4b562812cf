// The zsh completion function of a program, from its completion model: the same words in the
// same places as its bash completion.
#include <string>

#include "completion_model.h"

namespace {

std::string ZshCase(const std::string &pattern, const std::string &action) {
  return pattern.empty() ? std::string() : "    " + pattern + ")\n      " + action + " ;;\n";
}

std::string ZshArgumentCases(const CompletionModel &model) {
  return "  case $prev in\n" +
         ZshCase(CasePattern(model, ArgumentKind::kType),
                 "compadd -- " + Joined(model.types, ' ') + "\n      return") +
         ZshCase(CasePattern(model, ArgumentKind::kFormat),
                 "compadd -- " + Joined(model.formats, ' ') + "\n      return") +
         ZshCase(CasePattern(model, ArgumentKind::kUuid),
                 "compadd -- " + Joined(model.uuids, ' ') + "\n      return") +
         ZshCase(CasePattern(model, ArgumentKind::kFile), "_files\n      return") +
         ZshCase(CasePattern(model, ArgumentKind::kNumber), ": a number\n      return 1") +
         "  esac\n";
}

std::string ZshCommandAnywhere(const CompletionModel &model) {
  const std::vector<std::string> options = AllForms(model);
  const std::vector<std::string> withArgument = FormsWithArgument(model);
  return "  if [[ $cur == -* ]]; then\n"
         "    compadd -- " +
         Joined(options, ' ') +
         "\n"
         "    return\n"
         "  fi\n"
         "  # One command word per run: none is offered once the line holds one.\n"
         "  for ((i = 2; i < CURRENT; i++)); do\n"
         "    case ${words[i]} in\n"
         "      " +
         Joined(withArgument, '|') +
         ") ((i++)) ;;\n"
         "      -*) ;;\n"
         "      *) ((${subcommands[(Ie)${words[i]}]})) && return 1 ;;\n"
         "    esac\n"
         "  done\n"
         "  compadd -a subcommands\n";
}

std::string ZshCommandFirst(const CompletionModel &model) {
  std::string text =
      "  if ((CURRENT == 2)); then\n"
      "    if [[ $cur == -* ]]; then\n"
      "      compadd -- --help\n"
      "    else\n"
      "      compadd -- " +
      Joined(model.leadingWords, ' ') +
      " $subcommands\n"
      "    fi\n"
      "    return\n"
      "  fi\n"
      "  local -a optionwords\n"
      "  case ${words[2]} in\n"
      "    help)\n"
      "      ((CURRENT == 3)) && compadd -a subcommands\n"
      "      return ;;\n";
  for (const auto &[command, forms] : model.commandOptions) {
    text += "    " + command + ") optionwords=(" + Joined(forms, ' ') + ") ;;\n";
  }
  return text +
         "    *) return 1 ;;\n"
         "  esac\n"
         "  [[ $cur == -* ]] && compadd -a optionwords\n";
}

}  // namespace

std::string ZshCompletion(const CompletionModel &model) {
  const std::string function = CompletionFunctionName(model.program);
  return "#compdef " + model.program + "\n# zsh completion for " + model.program +
         ", generated from " + model.tables + ".\n" + function +
         "() {\n"
         "  local cur=${words[CURRENT]} prev=${words[CURRENT - 1]} i\n"
         "  local -a subcommands=(" +
         Joined(model.commands, ' ') +
         ")\n"
         "  # --type=DI is one word: complete what follows the '='.\n"
         "  if [[ $cur == -*=* ]]; then\n"
         "    prev=${cur%%=*}\n"
         "    cur=${cur#*=}\n"
         "    compset -P '*='\n"
         "  fi\n" +
         ZshArgumentCases(model) +
         (model.commandOptions.empty() ? ZshCommandAnywhere(model) : ZshCommandFirst(model)) +
         "}\n"
         "# Called as the function autoloaded from $fpath, complete; sourced, register.\n"
         "if [[ ${funcstack[1]} == _" +
         model.program +
         " ]]; then\n"
         "  " +
         function +
         " \"$@\"\n"
         "else\n"
         "  compdef " +
         function + " " + model.program +
         "\n"
         "fi\n";
}
