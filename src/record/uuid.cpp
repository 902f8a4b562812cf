#include "record/uuid.h"

#include <cstdio>
#include <cstring>

bool ParseUUID(const char *text, OlvaUUID *uuid) {
  if (std::strcmp(text, kUuidSelfName) == 0) {
    *uuid = kUuidSelf;
    return true;
  }
  if (std::strcmp(text, kUuidNullName) == 0) {
    *uuid = kUuidNull;
    return true;
  }
  uint8_t *b = uuid->bytes;
  const int converted = std::sscanf(
      text,
      "%02hhx%02hhx%02hhx%02hhx-%02hhx%02hhx-%02hhx%02hhx-%02hhx%02hhx-%02hhx%02hhx%02hhx%02hhx%"
      "02hhx%02hhx",
      &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &b[8], &b[9], &b[10], &b[11], &b[12],
      &b[13], &b[14], &b[15]);
  return converted == 16;
}

bool Uuid_Equal(const OlvaUUID &a, const OlvaUUID &b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

bool Uuid_IsNull(const OlvaUUID &uuid) {
  return Uuid_Equal(uuid, kUuidNull);
}

TarneQuery MakeExactQuery(const TarneEntry &header, OlvaUUID cluster) {
  TarneQuery query{};
  query.owner = header.owner;
  query.uuid = header.uuid;
  query.cluster = cluster;
  query.revision = header.revision;
  query.type = header.type & 0x7f;
  query.flags = 0;
  return query;
}
