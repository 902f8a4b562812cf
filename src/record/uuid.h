// UUID text (the reserved names too) and the exact query for an entry header.
#ifndef TARNE_RECORD_UUID_H
#define TARNE_RECORD_UUID_H

#include "client/tarne_client.h"
#include "client/tarne_client_values.h"

// The printf pattern of the text form, over bytes 0 to 15; UUID_TEXT_ARGS spreads them.
#define UUID_TEXT_FORMAT                                                                     \
  "%02hhx%02hhx%02hhx%02hhx-%02hhx%02hhx-%02hhx%02hhx-%02hhx%02hhx-%02hhx%02hhx%02hhx%02hhx" \
  "%02hhx%02hhx"
#define UUID_TEXT_ARGS(u)                                                                   \
  (u).bytes[0], (u).bytes[1], (u).bytes[2], (u).bytes[3], (u).bytes[4], (u).bytes[5],       \
      (u).bytes[6], (u).bytes[7], (u).bytes[8], (u).bytes[9], (u).bytes[10], (u).bytes[11], \
      (u).bytes[12], (u).bytes[13], (u).bytes[14], (u).bytes[15]

bool ParseUUID(const char *text, OlvaUUID *uuid);

inline void Query_ClearFlag(TarneQuery &query, uint8_t flag) {
  query.flags &= static_cast<uint8_t>(~flag);
}

TarneQuery MakeExactQuery(const TarneEntry &header, OlvaUUID cluster);

#endif  // TARNE_RECORD_UUID_H
