// The simple format's entry printer: one line per entry, for reading by eye.
#include <string_view>

#include "output/entry_text_builder.h"
#include "output/formats.h"
#include "tables/entry_types.h"

void Simple_PrintEntry(const char *prefix, int /*isFirst*/, const TarneEntry *entry,
                       const char *content, uint32_t /*contentLength*/, const char *errorStr) {
  EntryTextBuilder &text = EntryTextBuilder::ForThisThread();
  text.AppendText(prefix, "");
  text.Append("owner=");
  text.AppendUuid(entry->owner);
  text.Append("(Health: ");
  text.Append(Health_Name(entry->flag));
  text.Append(") uuid=");
  text.AppendUuid(entry->uuid);
  text.Append(" type=");
  text.Append(EntryType_Name(entry->type));
  text.Append(" rev=");
  text.AppendUnsigned(entry->revision);
  text.Append(" minHostVer=");
  text.AppendUnsigned(EntryType_ShownMinHostVersion(*entry));
  text.Append("  [content = ");
  text.AppendText(content, "null");
  text.Append("], errorStr=");
  text.AppendText(errorStr, "(null)");
  text.Append("\n\n");
  EntryText_Write(text);
}
