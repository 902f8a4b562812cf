#include "cli/main_line.h"

int main(int argc, char **argv) {
  return RunTool(argc, argv);
}
