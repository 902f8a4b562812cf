// The json format's entry printer: one object per entry, pretty or compact. Content that
// is itself an object text is embedded as a value, anything else as an escaped string.
#include <string_view>

#include "output/entry_text_builder.h"
#include "output/formats.h"
#include "output/keyed_entry.h"
#include "settings/settings.h"

namespace {

// Only the outer braces are checked; nothing inside is validated.
bool IsObjectText(std::string_view content) {
  return !content.empty() && content.front() == '{' && content.back() == '}';
}

}  // namespace

void Json_PrintEntry(const char * /*prefix*/, int isFirst, const TarneEntry *entry,
                     const char *content, uint32_t /*contentLength*/, const char *errorStr) {
  const bool compact = CurrentSettings().compactOutput;
  EntryTextBuilder &text = EntryTextBuilder::ForThisThread();
  text.Append(isFirst != 0 ? " " : ",");
  const std::string_view shown = content != nullptr ? content : "";  // measured once
  const bool objectForm = IsObjectText(shown);
  if (compact) {
    KeyedEntry_Append<kCompactPieces>(text, *entry, shown, objectForm, errorStr);
  } else {
    KeyedEntry_Append<kPrettyPieces>(text, *entry, shown, objectForm, errorStr);
  }
  text.Append(compact ? "\"}" : "\"\n }\n");
  EntryText_Write(text);
}
