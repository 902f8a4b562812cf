#include "record/uuid.h"

#include <cstdio>
#include <cstring>

bool ParseUUID(const char *text, OlvaUUID *uuid) {
  if (std::strcmp(text, TARNE_UUID_SELF_NAME) == 0) {
    *uuid = kTarneUuidSelf;
    return true;
  }
  if (std::strcmp(text, TARNE_UUID_NULL_NAME) == 0) {
    *uuid = kTarneUuidNull;
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
