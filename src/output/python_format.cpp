// The python format's entry printer: one dictionary per entry, each followed by a comma,
// so that the listing is a list literal whatever entry comes first or last.
#include "output/entry_text_builder.h"
#include "output/formats.h"
#include "output/keyed_entry.h"

void Python_PrintEntry(const char * /*prefix*/, int /*isFirst*/, const TarneEntry *entry,
                       const char *content, uint32_t /*contentLength*/, const char *errorStr) {
  EntryTextBuilder &text = EntryTextBuilder::ForThisThread();
  // Content is always a quoted string here, object texts included.
  KeyedEntry_Append<kPrettyPieces>(text, *entry, content != nullptr ? content : "null", false,
                                   errorStr);
  text.Append("\"\n},\n");
  EntryText_Write(text);
}
