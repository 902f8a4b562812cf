// The python format's entry printer: one dictionary per entry, each followed by a comma,
// so that the listing is a list literal whatever entry comes first or last.
#include <cstdio>
#include <string_view>

#include "output/entry_layouts.h"
#include "output/entry_text_builder.h"
#include "output/formats.h"
#include "output/json_escape.h"
#include "output/output.h"
#include "tables/entry_types.h"

namespace {}  // namespace

// Builds the text of kPythonEntryLayout by hand; the layout itself prints it when the
// buffer cannot grow.
void Python_PrintEntry(const char * /*prefix*/, int /*isFirst*/, const TarneEntry *entry,
                       const char *content, uint32_t /*contentLength*/, const char *errorStr) {
  // Content is always a quoted string here, object texts included.
  std::string_view contentText = "null";
  if (content != nullptr && !Json_EscapeReusingBuffer(content, &contentText)) {
    static_cast<void>(std::fputs(kEscapeFailedText, stderr));  // nothing to do if it fails
    return;
  }

  const unsigned minHostVersion = EntryType_ShownMinHostVersion(*entry);
  EntryTextBuilder &text = EntryTextBuilder::ForThisThread();
  text.Append("{\n   \"uuid\": \"");
  text.AppendUuid(entry->uuid);
  text.Append("\", \n   \"owner\": \"");
  text.AppendUuid(entry->owner);
  text.Append("\", \n   \"health\": \"");
  text.Append(Health_Name(entry->flag));
  text.Append("\", \n   \"revision\": \"");
  text.AppendUnsigned(entry->revision);
  text.Append("\",\n   \"type\": \"");
  text.Append(EntryType_Name(entry->type));
  text.Append("\",\n   \"flag\": \"");
  text.AppendUnsigned(entry->flag);
  text.Append("\",\n   \"minHostVersion\": \"");
  text.AppendUnsigned(minHostVersion);
  text.Append("\",\n   \"md5sum\": \"");
  text.AppendHex(entry->md5sum);
  text.Append("\",\n   \"valueLen\": \"");
  text.AppendSigned(static_cast<int32_t>(entry->valueLen));
  text.Append("\",\n   \"content\": \"");
  text.Append(contentText);
  text.Append("\",\n   \"errorStr\": \"");
  text.AppendText(errorStr, "(null)");
  text.Append("\"\n},\n");
  if (!text.Failed()) {
    Output_Write(text.Text().data(), text.Text().size());
    return;
  }
  // contentText is NUL-terminated: the content itself or the escaped copy.
  Output_Printf(kPythonEntryLayout, UUID_TEXT_ARGS(entry->uuid), UUID_TEXT_ARGS(entry->owner),
                Health_Name(entry->flag), static_cast<unsigned long>(entry->revision),
                EntryType_Name(entry->type), int{entry->flag}, minHostVersion,
                MD5_TEXT_ARGS(entry->md5sum), static_cast<int32_t>(entry->valueLen),
                contentText.data(), errorStr != nullptr ? errorStr : "(null)");
}
