#include "cli/not_available.h"

#include <cstdio>

int32_t Command_NotAvailable(const char *word) {
  std::fprintf(stderr, "%s: not available in this build\n", word);
  return -1;
}
