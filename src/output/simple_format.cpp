// The simple format's entry printer: one line per entry, for reading by eye.
#include <string_view>

#include "output/entry_layouts.h"
#include "output/entry_text_builder.h"
#include "output/formats.h"
#include "output/output.h"
#include "tables/entry_types.h"

namespace {}  // namespace

// Builds the text of kSimpleEntryLayout by hand; the layout itself prints it when the
// buffer cannot grow.
void Simple_PrintEntry(const char *prefix, int /*isFirst*/, const TarneEntry *entry,
                       const char *content, uint32_t /*contentLength*/, const char *errorStr) {
  const unsigned minHostVersion = EntryType_ShownMinHostVersion(*entry);
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
  text.AppendUnsigned(minHostVersion);
  text.Append("  [content = ");
  text.AppendText(content, "null");
  text.Append("], errorStr=");
  text.AppendText(errorStr, "(null)");
  text.Append("\n\n");
  if (!text.Failed()) {
    Output_Write(text.Text().data(), text.Text().size());
    return;
  }
  Output_Printf(kSimpleEntryLayout, prefix != nullptr ? prefix : "", UUID_TEXT_ARGS(entry->owner),
                Health_Name(entry->flag), UUID_TEXT_ARGS(entry->uuid), EntryType_Name(entry->type),
                static_cast<unsigned long>(entry->revision), minHostVersion,
                content != nullptr ? content : "null", errorStr != nullptr ? errorStr : "(null)");
}
