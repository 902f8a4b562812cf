// The simple format's entry printer: one line per entry, for reading by eye.
#include "cli/uuid.h"
#include "output/entry_types.h"
#include "output/formats.h"
#include "output/output.h"

namespace {

constexpr char kEntryLine[] = "%sowner=" UUID_TEXT_FORMAT "(Health: %s) uuid=" UUID_TEXT_FORMAT
                              " type=%s rev=%lu minHostVer=%u  [content = %s], errorStr=%s\n\n";

constexpr uint8_t kHasMinHostVersion = 0x80;

}  // namespace

void Simple_PrintEntry(const char *prefix, int /*isFirst*/, const TarneEntry *entry,
                       const char *content, uint32_t /*contentLength*/, const char *errorStr) {
  const unsigned minHostVersion =
      (entry->type & kHasMinHostVersion) != 0 ? entry->minHostVersion : 0u;
  Output_Printf(kEntryLine, prefix != nullptr ? prefix : "", UUID_TEXT_ARGS(entry->owner),
                Health_Name(entry->flag), UUID_TEXT_ARGS(entry->uuid), EntryType_Name(entry->type),
                static_cast<unsigned long>(entry->revision), minHostVersion,
                content != nullptr ? content : "null", errorStr != nullptr ? errorStr : "(null)");
}
