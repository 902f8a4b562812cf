// The eleven keys of an entry as the json and python formats write them. Both build the
// text from one table of the constant pieces between the values; python uses the pretty
// pieces with a closing of its own.
#ifndef TARNE_OUTPUT_KEYED_ENTRY_H
#define TARNE_OUTPUT_KEYED_ENTRY_H

#include <string_view>

#include "client/tarne_client.h"
#include "output/entry_text_builder.h"

struct KeyedEntryPieces {
  std::string_view open, owner, health, revision, type, flag, minHostVersion, md5sum, valueLen,
      contentString, contentObject, errorStrAfterString, errorStrAfterObject;
};

// Each key on its own line, indented by three blanks (json without -c, and python).
inline constexpr KeyedEntryPieces kPrettyPieces = {
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
};

// The whole object on one line without blanks (json -c).
inline constexpr KeyedEntryPieces kCompactPieces = {
    "{\"uuid\":\"",       "\",\"owner\":\"",   "\",\"health\":\"",         "\",\"revision\":\"",
    "\",\"type\":\"",     "\",\"flag\":\"",    "\",\"minHostVersion\":\"", "\",\"md5sum\":\"",
    "\",\"valueLen\":\"", "\",\"content\":\"", "\",\"content\":",          "\",\"errorStr\":\"",
    ",\"errorStr\":\"",
};

// Appends from the opening brace to the errorStr value ("(null)" when absent), without the
// closing quote and brace. The content is written unchanged when objectForm is set, else
// escaped as a quoted string. One instance per table (kPrettyPieces, kCompactPieces), so
// that each piece's length is known where it is copied.
template <const KeyedEntryPieces &kPieces>
void KeyedEntry_Append(EntryTextBuilder &text, const TarneEntry &entry, std::string_view content,
                       bool objectForm, const char *errorStr);

#endif  // TARNE_OUTPUT_KEYED_ENTRY_H
