// The json format's entry printer: one object per entry, pretty or compact. Content that
// is itself an object text is embedded as a value, anything else as an escaped string.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "output/entry_layouts.h"
#include "output/entry_text_builder.h"
#include "output/formats.h"
#include "output/json_escape.h"
#include "output/output.h"
#include "settings/settings.h"
#include "tables/entry_types.h"

namespace {

// Only the outer braces are checked; nothing inside is validated.
bool IsObjectText(const char *content) {
  const std::size_t length = std::strlen(content);
  return length != 0 && content[0] == '{' && content[length - 1] == '}';
}

// The constant pieces between the fields, pretty and compact, in layout order.
struct Pieces {
  std::string_view open, owner, health, revision, type, flag, minHostVersion, md5sum, valueLen,
      contentString, contentObject, errorStrAfterString, errorStrAfterObject, close;
};

constexpr Pieces kPretty = {
    "{\n   \"uuid\": \"",
    "\", \n   \"owner\": \"",
    "\", \n   \"health\": \"",
    "\", \n   \"revision\": \"",
    "\",\n   \"type\": \"",
    "\",\n   \"flag\": \"",
    "\",\n   \"minHostVersion\": \"",
    "\",\n   \"md5sum\": \"",
    "\",\n   \"valueLen\": \"",
    "\",\n   \"content\": \"",
    "\",\n   \"content\": ",
    "\",\n   \"errorStr\": \"",
    ",\n   \"errorStr\": \"",
    "\"\n }\n",
};

constexpr Pieces kCompact = {
    "{\"uuid\":\"",
    "\",\"owner\":\"",
    "\",\"health\":\"",
    "\",\"revision\":\"",
    "\",\"type\":\"",
    "\",\"flag\":\"",
    "\",\"minHostVersion\":\"",
    "\",\"md5sum\":\"",
    "\",\"valueLen\":\"",
    "\",\"content\":\"",
    "\",\"content\":",
    "\",\"errorStr\":\"",
    ",\"errorStr\":\"",
    "\"}",
};

}  // namespace

// Builds the text of the kJson*Layout in force by hand; the layout itself prints it when
// the buffer cannot grow.
void Json_PrintEntry(const char * /*prefix*/, int isFirst, const TarneEntry *entry,
                     const char *content, uint32_t /*contentLength*/, const char *errorStr) {
  const bool objectForm = content != nullptr && IsObjectText(content);
  std::string_view contentText = "";
  if (objectForm) {
    contentText = content;
  } else if (content != nullptr && !Json_EscapeReusingBuffer(content, &contentText)) {
    static_cast<void>(std::fputs(kEscapeFailedText, stderr));  // nothing to do if it fails
    return;
  }

  const bool compact = CurrentSettings().compactOutput;
  const unsigned minHostVersion = EntryType_ShownMinHostVersion(*entry);
  const Pieces &pieces = compact ? kCompact : kPretty;
  EntryTextBuilder &text = EntryTextBuilder::ForThisThread();
  text.Append(isFirst != 0 ? " " : ",");
  text.Append(pieces.open);
  text.AppendUuid(entry->uuid);
  text.Append(pieces.owner);
  text.AppendUuid(entry->owner);
  text.Append(pieces.health);
  text.Append(Health_Name(entry->flag));
  text.Append(pieces.revision);
  text.AppendUnsigned(entry->revision);
  text.Append(pieces.type);
  text.Append(EntryType_Name(entry->type));
  text.Append(pieces.flag);
  text.AppendUnsigned(entry->flag);
  text.Append(pieces.minHostVersion);
  text.AppendUnsigned(minHostVersion);
  text.Append(pieces.md5sum);
  text.AppendHex(entry->md5sum);
  text.Append(pieces.valueLen);
  text.AppendSigned(static_cast<int32_t>(entry->valueLen));
  text.Append(objectForm ? pieces.contentObject : pieces.contentString);
  text.Append(contentText);
  text.Append(objectForm ? pieces.errorStrAfterObject : pieces.errorStrAfterString);
  text.AppendText(errorStr, "(null)");
  text.Append(pieces.close);
  if (!text.Failed()) {
    Output_Write(text.Text().data(), text.Text().size());
    return;
  }
  // contentText is NUL-terminated: the content itself, the escaped copy or "".
  Output_Printf(compact ? (objectForm ? kJsonCompactObjectLayout : kJsonCompactStringLayout)
                        : (objectForm ? kJsonPrettyObjectLayout : kJsonPrettyStringLayout),
                isFirst != 0 ? " " : ",", UUID_TEXT_ARGS(entry->uuid), UUID_TEXT_ARGS(entry->owner),
                Health_Name(entry->flag), static_cast<unsigned long>(entry->revision),
                EntryType_Name(entry->type), int{entry->flag}, minHostVersion,
                MD5_TEXT_ARGS(entry->md5sum), static_cast<int32_t>(entry->valueLen),
                contentText.data(), errorStr != nullptr ? errorStr : "(null)", compact ? "" : "\n");
}
