#include "output/keyed_entry.h"

#include "tables/entry_types.h"

template <const KeyedEntryPieces &kPieces>
void KeyedEntry_Append(EntryTextBuilder &text, const TarneEntry &entry, std::string_view content,
                       bool objectForm, const char *errorStr) {
  constexpr const KeyedEntryPieces &pieces = kPieces;
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
    text.Append(content);
    text.Append(pieces.errorStrAfterObject);
  } else {
    text.Append(pieces.contentString);
    text.AppendEscaped(content);
    text.Append(pieces.errorStrAfterString);
  }
  text.AppendText(errorStr, "(null)");
}

template void KeyedEntry_Append<kPrettyPieces>(EntryTextBuilder &, const TarneEntry &,
                                               std::string_view, bool, const char *);
template void KeyedEntry_Append<kCompactPieces>(EntryTextBuilder &, const TarneEntry &,
                                                std::string_view, bool, const char *);
