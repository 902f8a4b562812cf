// The question asked before deleting with neither an entry UUID nor a type.
#ifndef TARNE_UPDATE_DELETE_CONFIRM_H
#define TARNE_UPDATE_DELETE_CONFIRM_H

#include <cstdio>

enum class DeleteConfirmation { kConfirmed, kNoInput, kRefused };

// Asks on err and reads one answer from in; writes "Invalid input" when nothing came.
DeleteConfirmation Delete_ConfirmAll(FILE *in, FILE *err);

#endif  // TARNE_UPDATE_DELETE_CONFIRM_H
