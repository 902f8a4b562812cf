#include "update/delete_confirm.h"

#include <strings.h>

DeleteConfirmation Delete_ConfirmAll(FILE *in, FILE *err) {
  (void)std::fputs(
      "This is not a recommended operation."
      "This will delete all entries in TARNE and can destabilize OLVA"
      "Only way to recover from this is to reboot the host."
      "Enter 'yes' only if you know what you are doing!"
      "Are you sure you want to proceed? yes/no: \n",
      err);
  // Room for "yes" alone: a longer answer is judged by its first three characters.
  char answer[4] = {};
  if (std::fgets(answer, sizeof answer, in) == nullptr) {
    (void)std::fputs("Invalid input\n", err);
    return DeleteConfirmation::kNoInput;
  }
  return strncasecmp(answer, "yes", 3) == 0 ? DeleteConfirmation::kConfirmed
                                            : DeleteConfirmation::kRefused;
}
