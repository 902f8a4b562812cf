// What a shell completion offers for one program, read from that program's tables, and the
// scripts for bash and zsh written from it. One model per program, so that both shells offer
// the same words.
#ifndef TARNE_PACKAGING_COMPLETION_MODEL_H
#define TARNE_PACKAGING_COMPLETION_MODEL_H

#include <map>
#include <string>
#include <string_view>
#include <vector>

// What an option's argument completes to.
enum class ArgumentKind { kFlag, kNumber, kUuid, kType, kFormat, kFile };

struct CompletionOption {
  std::vector<std::string> forms;  // "-t", "--type"
  ArgumentKind argument;
};

struct CompletionModel {
  std::string program;  // "tarne-tool"
  std::string tables;   // what it was generated from, for the script's first comment
  std::vector<std::string> commands;
  // Empty: the command word may come anywhere and every option is offered anywhere
  // (tarne-tool). Otherwise the command is the first word and these are the option forms
  // offered after it, by command (tarne-admin).
  std::map<std::string, std::vector<std::string>> commandOptions;
  // Words the first position offers beside the commands; "help" among them takes a command
  // name after it.
  std::vector<std::string> leadingWords;
  std::vector<CompletionOption> options;  // every option, each form once
  std::vector<std::string> types;
  std::vector<std::string> formats;
  std::vector<std::string> uuids;  // the reserved names a UUID argument may be
};

// The models of the two programs; false and *error when a table holds something the scripts
// cannot offer (a word that needs quoting, an argument placeholder of no known kind).
bool ToolCompletionModel(CompletionModel *model, std::string *error);
bool AdminCompletionModel(CompletionModel *model, std::string *error);

// What both scripts write alike: the shell function's name ("_tarne_tool"), the words joined
// by a separator, the case pattern of the option forms whose argument is of a kind ("" when
// none is).
std::string CompletionFunctionName(const std::string &program);
std::string Joined(const std::vector<std::string> &words, char separator);
std::string CasePattern(const CompletionModel &model, ArgumentKind kind);
// Every option form; those of options that take an argument.
std::vector<std::string> AllForms(const CompletionModel &model);
std::vector<std::string> FormsWithArgument(const CompletionModel &model);

// The scripts. The bash one registers itself with `complete`; the zsh one is a `#compdef`
// function file for a folder on $fpath, which also registers itself when sourced.
std::string BashCompletion(const CompletionModel &model);
std::string ZshCompletion(const CompletionModel &model);

#endif  // TARNE_PACKAGING_COMPLETION_MODEL_H
