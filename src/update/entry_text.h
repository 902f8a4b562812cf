// The "(owner=... )" description of an entry that the add and delete messages share.
#ifndef TARNE_UPDATE_ENTRY_TEXT_H
#define TARNE_UPDATE_ENTRY_TEXT_H

#include <cstdint>

#include "client/tarne_client.h"
#include "record/uuid.h"
#include "tables/entry_types.h"

// A string literal, so that the messages built from it keep their format checks. There is no
// blank between the owner UUID and "(Health:".
#define ENTRY_TEXT_FORMAT                                          \
  "(owner=" UUID_TEXT_FORMAT "(Health: %s) uuid=" UUID_TEXT_FORMAT \
  " type=%s rev=%lu minHostVer=%u )"
#define ENTRY_TEXT_ARGS(e)                                                       \
  UUID_TEXT_ARGS((e)->owner), Health_Name((e)->flag), UUID_TEXT_ARGS((e)->uuid), \
      EntryType_Name((e)->type), static_cast<unsigned long>((e)->revision),      \
      EntryType_ShownMinHostVersion(*(e))

#endif  // TARNE_UPDATE_ENTRY_TEXT_H
