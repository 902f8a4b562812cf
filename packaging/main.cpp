// Writes the operator files that the build installs beside the programs:
//   operator_files man-tool|man-admin VERSION TEMPLATE OUTPUT
//   operator_files completion bash|zsh tool|admin OUTPUT
// Fails, naming the difference, when a template has drifted from the tables.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "completion_model.h"
#include "operator_files.h"

namespace {

bool ReadFile(const char *path, std::string *text) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = buffer.str();
  return static_cast<bool>(in);
}

bool WriteFile(const char *path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

int Fail(const char *what, const std::string &detail) {
  static_cast<void>(std::fprintf(stderr, "operator_files: %s: %s\n", what, detail.c_str()));
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  const char *usage =
      "usage: operator_files man-tool|man-admin VERSION TEMPLATE OUTPUT\n"
      "       operator_files completion bash|zsh tool|admin OUTPUT\n";
  std::string text;
  std::string error;
  if (argc == 5 && std::strcmp(argv[1], "completion") == 0) {
    const bool bash = std::strcmp(argv[2], "bash") == 0;
    const bool zsh = std::strcmp(argv[2], "zsh") == 0;
    const bool forTool = std::strcmp(argv[3], "tool") == 0;
    const bool forAdmin = std::strcmp(argv[3], "admin") == 0;
    if ((bash || zsh) && (forTool || forAdmin)) {
      CompletionModel model;
      if (!(forTool ? ToolCompletionModel(&model, &error) : AdminCompletionModel(&model, &error))) {
        return Fail("completion", error);
      }
      text = bash ? BashCompletion(model) : ZshCompletion(model);
      return WriteFile(argv[4], text) ? 0 : Fail("cannot write", argv[4]);
    }
  }
  const bool tool = argc == 5 && std::strcmp(argv[1], "man-tool") == 0;
  const bool admin = argc == 5 && std::strcmp(argv[1], "man-admin") == 0;
  if (!tool && !admin) {
    static_cast<void>(std::fputs(usage, stderr));
    return 2;
  }
  std::string pageTemplate;
  if (!ReadFile(argv[3], &pageTemplate)) return Fail("cannot read", argv[3]);
  const bool expanded =
      tool ? ManPage_Expand(pageTemplate, ToolManItems(), ToolManVariables(argv[2]), &text, &error)
           : ManPage_Expand(pageTemplate, AdminManItems(), CommonManVariables(argv[2]), &text,
                            &error);
  if (!expanded) return Fail(argv[3], error);
  return WriteFile(argv[4], text) ? 0 : Fail("cannot write", argv[4]);
}
