// The client library boundary: every operation of libolvalib.so and libgravlibs.so that
// the tool calls, the callback shapes they call back, and the records that cross them.
// Any library that provides these symbols with these types can stand in.
#ifndef TARNE_CLIENT_TARNE_CLIENT_H
#define TARNE_CLIENT_TARNE_CLIENT_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t PEK_ReturnStatus; /* 0 = success, 0x0BAD0000 + row */

typedef struct OlvaUUID {
  uint8_t bytes[16];
} OlvaUUID; /* 16 bytes, passed by value */

typedef struct TarneEntry { /* 64-byte header, then valueLen payload bytes */
  OlvaUUID uuid;            /*  0 */
  OlvaUUID owner;           /* 16 */
  uint64_t revision;        /* 32 */
  uint8_t type;             /* 40: bits 0-6 type, bit 7 hasMinHostVersion */
  uint8_t flag;             /* 41: bit 1 = healthy */
  uint8_t minHostVersion;   /* 42 */
  uint8_t reserved;         /* 43 */
  uint8_t md5sum[16];       /* 44 */
  uint32_t valueLen;        /* 60 */
  /* 64: payload, reached as (uint8_t *)entry + 64 (TarneEntry_Payload) */
} TarneEntry;

typedef struct TarneQuery { /* 64 bytes */
  OlvaUUID owner;           /*  0 */
  OlvaUUID uuid;            /* 16 */
  OlvaUUID cluster;         /* 32 */
  uint64_t revision;        /* 48 */
  uint8_t type;             /* 56 */
  uint8_t flags;            /* 57: TARNE_QUERY_* below */
  uint8_t reserved[6];      /* 58 */
} TarneQuery;

enum {
  TARNE_QUERY_ANY_OWNER = 0x01,
  TARNE_QUERY_ANY_UUID = 0x02,
  TARNE_QUERY_ANY_REVISION = 0x04,
  TARNE_QUERY_LATEST_REVISION = 0x08,
  TARNE_QUERY_ANY_TYPE = 0x10,
  TARNE_QUERY_ALL_CLUSTERS = 0x40,
};

#pragma pack(push, 1)
typedef struct TarneRemoteFindRequest { /* 33 bytes, packed */
  OlvaUUID owner;                       /*  0 */
  uint8_t type;                         /* 16: always 47 */
  OlvaUUID uuid;                        /* 17 */
} TarneRemoteFindRequest;
#pragma pack(pop)

/* Schema directory handed to the content converter. */
typedef struct TarneFieldDescriptor { /* 64 bytes */
  uint64_t kind;
  uint64_t offset;
  uint64_t reserved0;
  const char *name;
  uint64_t reserved1[4];
} TarneFieldDescriptor;

typedef struct TarneSchemaDirEntry { /* 16 bytes */
  const char *name;
  const TarneFieldDescriptor *fields; /* NULL for a style */
} TarneSchemaDirEntry;

/* Callback shapes. Every callback returns 0. */
typedef int32_t (*TarneEntryVisitor)(void *context, const TarneEntry *entry, uint32_t entryLength,
                                     OlvaUUID cluster);
typedef int32_t (*TarneUpdateCompletion)(void *context, TarneEntry *entry, uint32_t entryLength,
                                         OlvaUUID cluster, PEK_ReturnStatus status);
typedef int32_t (*TarneRemoteFindCallback)(void *context, const TarneEntry *header, void *unused,
                                           PEK_ReturnStatus status);

/* libolvalib.so */
PEK_ReturnStatus TARNE_Initialize(int32_t mode /* 1 */, int32_t flags /* 0 */, int32_t *handle);
PEK_ReturnStatus TARNE_Deinitialize(int32_t handle);
PEK_ReturnStatus TARNE_GetNumServerContexts(uint32_t *count);
PEK_ReturnStatus TARNE_GetSelfUUID(OlvaUUID *self);
PEK_ReturnStatus TARNE_FindEntryForCluster(const TarneQuery *query,
                                           int32_t next /* 0 first, 1 next */, TarneEntry *buffer,
                                           uint32_t bufferSize, int32_t flags /* 0 */);
PEK_ReturnStatus TARNE_ForEachEntryForCluster(const TarneQuery *query, TarneEntryVisitor visitor,
                                              void *context, int32_t a /* 0 */, int32_t b /* 0 */,
                                              int32_t c /* 0 */);
PEK_ReturnStatus TARNE_WaitForEntryForCluster(const TarneQuery *query, uint32_t timeout,
                                              int32_t flags /* 0 */);
PEK_ReturnStatus TARNE_WaitForMembershipForCluster(uint32_t timeout, OlvaUUID cluster);
PEK_ReturnStatus TARNE_AddEntryForCluster(TarneEntry *entry, TarneUpdateCompletion done,
                                          void *context, OlvaUUID cluster);
PEK_ReturnStatus TARNE_UpdateEntryForCluster(TarneEntry *entry, TarneUpdateCompletion done,
                                             void *context, OlvaUUID cluster);
PEK_ReturnStatus TARNE_DeleteEntryForCluster(TarneEntry *entry, TarneUpdateCompletion done,
                                             void *context, OlvaUUID cluster);
PEK_ReturnStatus TARNE_RemoteFindEntry(const TarneRemoteFindRequest *request, uint32_t timeout,
                                       TarneRemoteFindCallback callback, void *context);
PEK_ReturnStatus TARNE_FindEntryRF(const TarneQuery *query, int32_t next /* 0 */,
                                   TarneEntry *buffer, uint32_t bufferSize);

bool OlvaExprScanner_IsValidExpr(const void *bytes, uint32_t length);
/* "%E": uint32_t *elementCount, const void **nested
   "%u": uint32_t *value
   "%U": uint32_t *uuidCount, const OlvaUUID **uuids        (neither address is freed by the caller)
 */
PEK_ReturnStatus OlvaExprScanner_GetArgs(const void *expression, uint32_t *position,
                                         const char *format, ...);

PEK_ReturnStatus OlvaExprConv_BinToText(const void *payload, uint32_t length, int32_t one /* 1 */,
                                        char *text, uint32_t *capacity,
                                        const TarneSchemaDirEntry *directory,
                                        const char *schemaName, int32_t structuredContent);
PEK_ReturnStatus OlvaExprConv_BinToTextObfuscated(const void *payload, uint32_t length, int32_t one,
                                                  char *text, uint32_t *capacity,
                                                  const TarneSchemaDirEntry *directory,
                                                  const char *schemaName,
                                                  int32_t structuredContent);

/* libgravlibs.so */
int Str_Snprintf(char *buffer, size_t size, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

/* Exported by the tarne-tool executable itself (plain, unmangled dynamic symbols). */
const char *PEK_ReturnStatusToString(PEK_ReturnStatus status);
void Panic(const char *format, ...) __attribute__((noreturn, format(printf, 1, 2)));

#ifdef __cplusplus
} /* extern "C" */

#include <cstddef>

static_assert(sizeof(OlvaUUID) == 16);
static_assert(sizeof(TarneEntry) == 64);
static_assert(offsetof(TarneEntry, uuid) == 0);
static_assert(offsetof(TarneEntry, owner) == 16);
static_assert(offsetof(TarneEntry, revision) == 32);
static_assert(offsetof(TarneEntry, type) == 40);
static_assert(offsetof(TarneEntry, flag) == 41);
static_assert(offsetof(TarneEntry, minHostVersion) == 42);
static_assert(offsetof(TarneEntry, reserved) == 43);
static_assert(offsetof(TarneEntry, md5sum) == 44);
static_assert(offsetof(TarneEntry, valueLen) == 60);
static_assert(sizeof(TarneQuery) == 64);
static_assert(offsetof(TarneQuery, owner) == 0);
static_assert(offsetof(TarneQuery, uuid) == 16);
static_assert(offsetof(TarneQuery, cluster) == 32);
static_assert(offsetof(TarneQuery, revision) == 48);
static_assert(offsetof(TarneQuery, type) == 56);
static_assert(offsetof(TarneQuery, flags) == 57);
static_assert(offsetof(TarneQuery, reserved) == 58);
static_assert(sizeof(TarneRemoteFindRequest) == 33);
static_assert(offsetof(TarneRemoteFindRequest, owner) == 0);
static_assert(offsetof(TarneRemoteFindRequest, type) == 16);
static_assert(offsetof(TarneRemoteFindRequest, uuid) == 17);
static_assert(sizeof(TarneFieldDescriptor) == 64);
static_assert(offsetof(TarneFieldDescriptor, kind) == 0);
static_assert(offsetof(TarneFieldDescriptor, offset) == 8);
static_assert(offsetof(TarneFieldDescriptor, reserved0) == 16);
static_assert(offsetof(TarneFieldDescriptor, name) == 24);
static_assert(offsetof(TarneFieldDescriptor, reserved1) == 32);
static_assert(sizeof(TarneSchemaDirEntry) == 16);
static_assert(offsetof(TarneSchemaDirEntry, name) == 0);
static_assert(offsetof(TarneSchemaDirEntry, fields) == 8);

/* The payload follows the 64-byte header. */
inline uint8_t *TarneEntry_Payload(TarneEntry *entry) {
  return reinterpret_cast<uint8_t *>(entry) + sizeof(TarneEntry);
}
inline const uint8_t *TarneEntry_Payload(const TarneEntry *entry) {
  return reinterpret_cast<const uint8_t *>(entry) + sizeof(TarneEntry);
}
#endif

#endif /* TARNE_CLIENT_TARNE_CLIENT_H */
