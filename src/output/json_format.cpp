// The json format's entry printer: one object per entry, pretty or compact. Content that
// is itself an object text is embedded as a value, anything else as an escaped string.
#include <cstdio>
#include <cstring>

#include "cli/settings.h"
#include "cli/uuid.h"
#include "output/entry_types.h"
#include "output/formats.h"
#include "output/json_escape.h"
#include "output/output.h"

namespace {

constexpr char kPrettyString[] =
    "%s{\n"
    "   \"uuid\": \"" UUID_TEXT_FORMAT
    "\", \n"
    "   \"owner\": \"" UUID_TEXT_FORMAT
    "\", \n"
    "   \"health\": \"%s\", \n"
    "   \"revision\": \"%lu\",\n"
    "   \"type\": \"%s\",\n"
    "   \"flag\": \"%d\",\n"
    "   \"minHostVersion\": \"%u\",\n"
    "   \"md5sum\": \"%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x\",\n"
    "   \"valueLen\": \"%d\",\n"
    "   \"content\": \"%s\",\n"
    "   \"errorStr\": \"%s\"\n"
    " }%s";

constexpr char kPrettyObject[] =
    "%s{\n"
    "   \"uuid\": \"" UUID_TEXT_FORMAT
    "\", \n"
    "   \"owner\": \"" UUID_TEXT_FORMAT
    "\", \n"
    "   \"health\": \"%s\", \n"
    "   \"revision\": \"%lu\",\n"
    "   \"type\": \"%s\",\n"
    "   \"flag\": \"%d\",\n"
    "   \"minHostVersion\": \"%u\",\n"
    "   \"md5sum\": \"%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x\",\n"
    "   \"valueLen\": \"%d\",\n"
    "   \"content\": %s,\n"
    "   \"errorStr\": \"%s\"\n"
    " }%s";

constexpr char kCompactString[] =
    "%s{\"uuid\":\"" UUID_TEXT_FORMAT
    "\","
    "\"owner\":\"" UUID_TEXT_FORMAT
    "\","
    "\"health\":\"%s\","
    "\"revision\":\"%lu\","
    "\"type\":\"%s\","
    "\"flag\":\"%d\","
    "\"minHostVersion\":\"%u\","
    "\"md5sum\":\"%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x\","
    "\"valueLen\":\"%d\","
    "\"content\":\"%s\","
    "\"errorStr\":\"%s\"}%s";

constexpr char kCompactObject[] =
    "%s{\"uuid\":\"" UUID_TEXT_FORMAT
    "\","
    "\"owner\":\"" UUID_TEXT_FORMAT
    "\","
    "\"health\":\"%s\","
    "\"revision\":\"%lu\","
    "\"type\":\"%s\","
    "\"flag\":\"%d\","
    "\"minHostVersion\":\"%u\","
    "\"md5sum\":\"%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x\","
    "\"valueLen\":\"%d\","
    "\"content\":%s,"
    "\"errorStr\":\"%s\"}%s";

constexpr uint8_t kHasMinHostVersion = 0x80;

// The digest bytes, in stored order.
#define MD5_TEXT_ARGS(m)                                                                   \
  (m)[0], (m)[1], (m)[2], (m)[3], (m)[4], (m)[5], (m)[6], (m)[7], (m)[8], (m)[9], (m)[10], \
      (m)[11], (m)[12], (m)[13], (m)[14], (m)[15]

// Only the outer braces are checked; nothing inside is validated.
bool IsObjectText(const char *content) {
  const std::size_t length = std::strlen(content);
  return length != 0 && content[0] == '{' && content[length - 1] == '}';
}

}  // namespace

void Json_PrintEntry(const char * /*prefix*/, int isFirst, const TarneEntry *entry,
                     const char *content, uint32_t /*contentLength*/, const char *errorStr) {
  const bool objectForm = content != nullptr && IsObjectText(content);
  EscapedContent escaped;
  const char *contentText = "";
  if (objectForm) {
    contentText = content;
  } else if (content != nullptr) {
    escaped = Json_EscapeContent(content);
    if (escaped.Text() == nullptr) {
      static_cast<void>(std::fputs(kEscapeFailedText, stderr));  // nothing to do if it fails
      return;
    }
    contentText = escaped.Text();
  }

  const bool compact = CurrentSettings().compactOutput;
  const unsigned minHostVersion =
      (entry->type & kHasMinHostVersion) != 0 ? entry->minHostVersion : 0u;
  Output_Printf(compact ? (objectForm ? kCompactObject : kCompactString)
                        : (objectForm ? kPrettyObject : kPrettyString),
                isFirst != 0 ? " " : ",", UUID_TEXT_ARGS(entry->uuid), UUID_TEXT_ARGS(entry->owner),
                Health_Name(entry->flag), static_cast<unsigned long>(entry->revision),
                EntryType_Name(entry->type), int{entry->flag}, minHostVersion,
                MD5_TEXT_ARGS(entry->md5sum), static_cast<int32_t>(entry->valueLen), contentText,
                errorStr != nullptr ? errorStr : "(null)", compact ? "" : "\n");
}
