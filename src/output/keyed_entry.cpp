#include "output/keyed_entry.h"

#include "tables/entry_types.h"

void KeyedEntry_Append(EntryTextBuilder &text, const KeyedEntryPieces &pieces,
                       const TarneEntry &entry, const char *content, bool objectForm,
                       const char *errorStr) {
  text.Append(pieces.open);
  text.AppendUuid(entry.uuid);
  text.Append(pieces.owner);
  text.AppendUuid(entry.owner);
  text.Append(pieces.health);
  text.Append(Health_Name(entry.flag));
  text.Append(pieces.revision);
  text.AppendUnsigned(entry.revision);
  text.Append(pieces.type);
  text.Append(EntryType_Name(entry.type));
  text.Append(pieces.flag);
  text.AppendUnsigned(entry.flag);
  text.Append(pieces.minHostVersion);
  text.AppendUnsigned(EntryType_ShownMinHostVersion(entry));
  text.Append(pieces.md5sum);
  text.AppendHex(entry.md5sum);
  text.Append(pieces.valueLen);
  text.AppendSigned(static_cast<int32_t>(entry.valueLen));
  if (objectForm) {
    text.Append(pieces.contentObject);
    text.AppendText(content, "");
    text.Append(pieces.errorStrAfterObject);
  } else {
    text.Append(pieces.contentString);
    text.AppendEscaped(content);
    text.Append(pieces.errorStrAfterString);
  }
  text.AppendText(errorStr, "(null)");
}
