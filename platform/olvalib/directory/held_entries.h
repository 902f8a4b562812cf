// Entries the library hands to an iteration's visitor. The visitor may pass such an entry to
// an update request, whose completion gets the same pointer back, so an entry lives until
// the visitor has returned and every request that was given it has completed.
#ifndef OLVALIB_DIRECTORY_HELD_ENTRIES_H
#define OLVALIB_DIRECTORY_HELD_ENTRIES_H

#include <cstdint>
#include <span>

#include "client/tarne_client.h"

namespace olva::dir {

// A copy of the row, held once; nothing when memory runs out.
TarneEntry *HoldEntry(std::span<const uint8_t> header, std::span<const uint8_t> value);
// Holds the entry once more if it is one of the library's; false for a caller's buffer.
bool RetainIfHeld(const TarneEntry *entry);
// Drops one hold; the last one frees the entry.
void ReleaseHeld(const TarneEntry *entry);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_HELD_ENTRIES_H
