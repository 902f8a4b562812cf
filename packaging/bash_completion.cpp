// The bash completion script of a program, from its completion model.
#include <string>

#include "completion_model.h"

namespace {

std::string WordsCase(const std::string &pattern, const std::vector<std::string> &words) {
  return pattern.empty() ? std::string()
                         : "    " + pattern + ")\n      mapfile -t COMPREPLY < <(compgen -W '" +
                               Joined(words, ' ') + "' -- \"$cur\")\n      return 0 ;;\n";
}

// The option arguments: completed from what their kind offers, and nothing else then.
std::string BashArgumentCases(const CompletionModel &model) {
  std::string text = "  case $prev in\n";
  text += WordsCase(CasePattern(model, ArgumentKind::kType), model.types);
  text += WordsCase(CasePattern(model, ArgumentKind::kFormat), model.formats);
  text += WordsCase(CasePattern(model, ArgumentKind::kUuid), model.uuids);
  const std::string files = CasePattern(model, ArgumentKind::kFile);
  if (!files.empty()) {
    text += "    " + files +
            ")\n      compopt -o filenames 2>/dev/null\n"
            "      mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n      return 0 ;;\n";
  }
  const std::string numbers = CasePattern(model, ArgumentKind::kNumber);
  if (!numbers.empty()) text += "    " + numbers + ")\n      : a number\n      return 0 ;;\n";
  return text + "  esac\n";
}

// tarne-tool: options anywhere, one command word anywhere.
std::string BashCommandAnywhere(const CompletionModel &model) {
  const std::vector<std::string> options = AllForms(model);
  const std::vector<std::string> withArgument = FormsWithArgument(model);
  return "  if [[ $cur == -* ]]; then\n"
         "    mapfile -t COMPREPLY < <(compgen -W '" +
         Joined(options, ' ') +
         "' -- \"$cur\")\n"
         "    return 0\n"
         "  fi\n"
         "  # One command word per run: none is offered once the line holds one.\n"
         "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
         "    case ${COMP_WORDS[i]} in\n"
         "      " +
         Joined(withArgument, '|') +
         ") ((i++)) ;;\n"
         "      -*) ;;\n"
         "      *) [[ \" $commands \" == *\" ${COMP_WORDS[i]} \"* ]] && return 0 ;;\n"
         "    esac\n"
         "  done\n"
         "  mapfile -t COMPREPLY < <(compgen -W \"$commands\" -- \"$cur\")\n";
}

// tarne-admin: the command first, then its own options.
std::string BashCommandFirst(const CompletionModel &model) {
  std::string text =
      "  if ((COMP_CWORD == 1)); then\n"
      "    if [[ $cur == -* ]]; then\n"
      "      mapfile -t COMPREPLY < <(compgen -W '--help' -- \"$cur\")\n"
      "    else\n"
      "      mapfile -t COMPREPLY < <(compgen -W \"" +
      Joined(model.leadingWords, ' ') +
      " $commands\" -- \"$cur\")\n"
      "    fi\n"
      "    return 0\n"
      "  fi\n"
      "  local options\n"
      "  case ${COMP_WORDS[1]} in\n"
      "    help)\n"
      "      ((COMP_CWORD == 2)) && mapfile -t COMPREPLY < <(compgen -W \"$commands\" -- "
      "\"$cur\")\n"
      "      return 0 ;;\n";
  for (const auto &[command, forms] : model.commandOptions) {
    text += "    " + command + ") options='" + Joined(forms, ' ') + "' ;;\n";
  }
  return text +
         "    *) return 0 ;;\n"
         "  esac\n"
         "  [[ $cur == -* ]] && mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\")\n";
}

}  // namespace

std::string BashCompletion(const CompletionModel &model) {
  const std::string function = CompletionFunctionName(model.program);
  return "# bash completion for " + model.program + ", generated from " + model.tables + ".\n" +
         function +
         "() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev='' i\n"
         "  local commands='" +
         Joined(model.commands, ' ') +
         "'\n"
         "  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
         "  # While '=' breaks words, --type=DI arrives as '--type' '=' 'DI'.\n"
         "  if [[ $cur == = ]]; then\n"
         "    cur=''\n"
         "  elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then\n"
         "    prev=${COMP_WORDS[COMP_CWORD - 2]}\n"
         "  fi\n"
         "  COMPREPLY=()\n" +
         BashArgumentCases(model) +
         (model.commandOptions.empty() ? BashCommandAnywhere(model) : BashCommandFirst(model)) +
         "}\n"
         "complete -F " +
         function + " " + model.program + "\n";
}
