// The printf layouts of the three entry printers. They are the contract of the listings:
// the printers build the same text by hand for speed, fall back to these layouts when their
// buffer cannot grow, and the unit tests check the one against the other.
#ifndef TARNE_OUTPUT_ENTRY_LAYOUTS_H
#define TARNE_OUTPUT_ENTRY_LAYOUTS_H

#include "record/uuid.h"

// The digest bytes, in stored order.
#define MD5_TEXT_FORMAT "%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x"
#define MD5_TEXT_ARGS(m)                                                                   \
  (m)[0], (m)[1], (m)[2], (m)[3], (m)[4], (m)[5], (m)[6], (m)[7], (m)[8], (m)[9], (m)[10], \
      (m)[11], (m)[12], (m)[13], (m)[14], (m)[15]

// Simple: prefix, owner, health name, uuid, type name, revision (unsigned long),
// minHostVersion (unsigned), content, errorStr.
inline constexpr char kSimpleEntryLayout[] =
    "%sowner=" UUID_TEXT_FORMAT "(Health: %s) uuid=" UUID_TEXT_FORMAT
    " type=%s rev=%lu minHostVer=%u  [content = %s], errorStr=%s\n\n";

// Json and python: separator (json only), uuid, owner, health name, revision (unsigned long),
// type name, flag (int), minHostVersion (unsigned), digest, valueLen (int32_t), content,
// errorStr, trailer (json only).
#define TARNE_PRETTY_FIELDS(CONTENT)  \
  "   \"uuid\": \"" UUID_TEXT_FORMAT  \
  "\", \n"                            \
  "   \"owner\": \"" UUID_TEXT_FORMAT \
  "\", \n"                            \
  "   \"health\": \"%s\", \n"         \
  "   \"revision\": \"%lu\",\n"       \
  "   \"type\": \"%s\",\n"            \
  "   \"flag\": \"%d\",\n"            \
  "   \"minHostVersion\": \"%u\",\n"  \
  "   \"md5sum\": \"" MD5_TEXT_FORMAT \
  "\",\n"                             \
  "   \"valueLen\": \"%d\",\n"        \
  "   \"content\": " CONTENT          \
  ",\n"                               \
  "   \"errorStr\": \"%s\"\n"

#define TARNE_COMPACT_FIELDS(CONTENT) \
  "\"uuid\":\"" UUID_TEXT_FORMAT      \
  "\","                               \
  "\"owner\":\"" UUID_TEXT_FORMAT     \
  "\","                               \
  "\"health\":\"%s\","                \
  "\"revision\":\"%lu\","             \
  "\"type\":\"%s\","                  \
  "\"flag\":\"%d\","                  \
  "\"minHostVersion\":\"%u\","        \
  "\"md5sum\":\"" MD5_TEXT_FORMAT     \
  "\","                               \
  "\"valueLen\":\"%d\","              \
  "\"content\":" CONTENT              \
  ","                                 \
  "\"errorStr\":\"%s\""

inline constexpr char kJsonPrettyStringLayout[] = "%s{\n" TARNE_PRETTY_FIELDS("\"%s\"") " }%s";
inline constexpr char kJsonPrettyObjectLayout[] = "%s{\n" TARNE_PRETTY_FIELDS("%s") " }%s";
inline constexpr char kJsonCompactStringLayout[] = "%s{" TARNE_COMPACT_FIELDS("\"%s\"") "}%s";
inline constexpr char kJsonCompactObjectLayout[] = "%s{" TARNE_COMPACT_FIELDS("%s") "}%s";
inline constexpr char kPythonEntryLayout[] = "{\n" TARNE_PRETTY_FIELDS("\"%s\"") "},\n";

#undef TARNE_PRETTY_FIELDS
#undef TARNE_COMPACT_FIELDS

#endif  // TARNE_OUTPUT_ENTRY_LAYOUTS_H
