// Reads the payload of the entry that `add` writes: the whole of an input stream.
#ifndef TARNE_UPDATE_ADD_INPUT_H
#define TARNE_UPDATE_ADD_INPUT_H

#include <cstdint>
#include <cstdio>

#include "client/tarne_client.h"

inline constexpr uint32_t kAddInitialCapacity = 1024;
// The payload length is 32-bit and the capacity doubles from 1024: the last capacity that
// can be reached without wrapping is 2 GiB, and an input that fills it is refused.
inline constexpr uint32_t kAddMaxCapacity = 0x80000000u;

// Reads `in` to its end into a new heap entry: the 64-byte header all zero except
// `valueLen`, then the payload. The buffer starts at 64 + 1024 bytes and its payload capacity
// doubles whenever a read fills it; a short read (end of input or a read error, not told
// apart) ends the payload. maxCapacity is a power-of-two multiple of 1024 (tests pass a small
// one); input of maxCapacity bytes or more is refused.
//
// Returns 0 with *entry set (the caller frees it), "Out of memory" after writing "Failed to
// allocate memory for entry" or "Failed to re-allocate memory for entry" to err, or "Limit
// exceeded" after writing why to err. On failure *entry is null.
PEK_ReturnStatus AddInput_Read(FILE *in, FILE *err, uint32_t maxCapacity, TarneEntry **entry);

#endif  // TARNE_UPDATE_ADD_INPUT_H
