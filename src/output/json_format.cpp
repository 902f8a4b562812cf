// The json format's entry printer: one object per entry, pretty or compact. Content that
// is itself an object text is embedded as a value, anything else as an escaped string.
#include <cstring>

#include "output/entry_text_builder.h"
#include "output/formats.h"
#include "output/keyed_entry.h"
#include "settings/settings.h"

namespace {

// Only the outer braces are checked; nothing inside is validated.
bool IsObjectText(const char *content) {
  const std::size_t length = std::strlen(content);
  return length != 0 && content[0] == '{' && content[length - 1] == '}';
}

}  // namespace

void Json_PrintEntry(const char * /*prefix*/, int isFirst, const TarneEntry *entry,
                     const char *content, uint32_t /*contentLength*/, const char *errorStr) {
  const bool compact = CurrentSettings().compactOutput;
  EntryTextBuilder &text = EntryTextBuilder::ForThisThread();
  text.Append(isFirst != 0 ? " " : ",");
  KeyedEntry_Append(text, compact ? kCompactPieces : kPrettyPieces, *entry,
                    content != nullptr ? content : "", content != nullptr && IsObjectText(content),
                    errorStr);
  text.Append(compact ? "\"}" : "\"\n }\n");
  EntryText_Write(text);
}
