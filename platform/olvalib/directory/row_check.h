// What `tarne-admin check` asks of every stored row, whichever backend holds it.
#ifndef OLVALIB_DIRECTORY_ROW_CHECK_H
#define OLVALIB_DIRECTORY_ROW_CHECK_H

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "client/tarne_client.h"
#include "entry_key.h"

namespace olva::dir {

// A row's 64-byte header must say what its key says, and its sub-cluster must be one of the
// directory's: a lookup hands out the header as it is stored. Each problem goes to problem.
void CheckRow(const EntryKey &key, std::span<const uint8_t> header, uint64_t valueLength,
              const std::vector<OlvaUUID> &clusters,
              const std::function<void(std::string)> &problem);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_ROW_CHECK_H
