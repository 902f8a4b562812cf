// Values that both sides of the client library boundary give the same meaning to: the two
// reserved UUIDs and the names a caller types for them, and the field kind codes of the
// schema directory. Kept beside tarne_client.h so that the declarations there stay exactly
// as they are pinned.
#ifndef TARNE_CLIENT_TARNE_CLIENT_VALUES_H
#define TARNE_CLIENT_TARNE_CLIENT_VALUES_H

#include <stdbool.h>
#include <string.h>

#include "client/tarne_client.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Names accepted wherever a UUID is typed. */
#define TARNE_UUID_SELF_NAME "OLVA_UUID_SELF"
#define TARNE_UUID_NULL_NAME "OLVA_UUID_NULL"

/* As an owner, the self marker stands for the node's own UUID; the library resolves it. */
// clang-format off
#define TARNE_UUID_SELF_INITIALIZER {{0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}
#define TARNE_UUID_NULL_INITIALIZER {{0}}
// clang-format on

static inline bool TarneUuid_Equal(OlvaUUID a, OlvaUUID b) {
  return memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

/* TarneFieldDescriptor.kind: how a field lies in the content record. */
typedef enum TarneFieldKind {
  TARNE_KIND_INT64 = 0,            /* 8 bytes */
  TARNE_KIND_INT32 = 1,            /* 4 bytes */
  TARNE_KIND_FLAG = 2,             /* 1 byte: yes/no */
  TARNE_KIND_LIST = 3,             /* 16 bytes: u64 count, u64 offset of count UUIDs */
  TARNE_KIND_UUID = 4,             /* 16 bytes */
  TARNE_KIND_IPV6 = 10,            /* 16 bytes */
  TARNE_KIND_IPV4 = 11,            /* 4 bytes */
  TARNE_KIND_TRAILING_STRING = 21, /* from its offset to the first NUL or the payload's end */
  TARNE_KIND_STRING = 22,          /* 8 bytes: u64 offset of a NUL-terminated string */
  TARNE_KIND_TEXT = 23,            /* 8 bytes; a string kind distinct from STRING */
  TARNE_KIND_INT64_ALT = 24,       /* 8 bytes; a 64-bit kind distinct from INT64 */
  TARNE_KIND_ADDRESS_LIST = 29,    /* 16 bytes: u64 count, u64 offset of 16-byte addresses */
} TarneFieldKind;

#ifdef __cplusplus
}

inline constexpr OlvaUUID kTarneUuidSelf = TARNE_UUID_SELF_INITIALIZER;
inline constexpr OlvaUUID kTarneUuidNull = TARNE_UUID_NULL_INITIALIZER;

inline bool TarneUuid_IsNull(OlvaUUID uuid) {
  return TarneUuid_Equal(uuid, kTarneUuidNull);
}
#endif

#endif /* TARNE_CLIENT_TARNE_CLIENT_VALUES_H */
