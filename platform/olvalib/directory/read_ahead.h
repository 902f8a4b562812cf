// The matches that follow a thread's last lookup, read in the same read transaction as that
// lookup. Every read transaction costs file-lock system calls; reading ahead spares a
// listing one per match. A page serves only the next lookups of the same query, only until
// this process commits a change, and only for a short while, so that a listing sees other
// processes' changes within that while.
#ifndef OLVALIB_DIRECTORY_READ_AHEAD_H
#define OLVALIB_DIRECTORY_READ_AHEAD_H

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "client/tarne_client.h"
#include "directory_store.h"
#include "entry_key.h"

namespace olva::dir {

inline constexpr uint32_t kReadAheadRows = 64;
inline constexpr size_t kReadAheadBytes = 256u << 10;
inline constexpr std::chrono::milliseconds kReadAheadLifetime{100};

// What a page was read under; a page serves only lookups under the same.
struct ReadAheadStamp {
  uint64_t generation = 0;  // of the library's opening
  uint64_t commits = 0;     // of this process's writer
  std::chrono::steady_clock::time_point readAt;
};

class ReadAhead {
 public:
  // Starts a page for the query, of at most size; rows are added in match order.
  void Begin(const TarneQuery &query, const ReadAheadStamp &stamp, PageSize size);
  // False once the page is full.
  bool Add(const RowView &row);
  // Marks that the page holds every remaining match.
  void MarkEnd() { complete_ = true; }
  // Marks the first row as handed out.
  void Served(size_t count) { served_ = count; }

  enum class Outcome : uint8_t { kMiss, kRow, kNoMore };
  // The match after the cursor when the page can tell it: kRow with *row set, or kNoMore.
  Outcome Next(const TarneQuery &query, const EntryKey &cursor, const ReadAheadStamp &now,
               RowView *row);

  void Forget() { valid_ = false; }

 private:
  struct Row {
    EntryKey key;
    size_t offset;  // into bytes_: the header, then the value
    size_t valueSize;
  };

  bool valid_ = false;
  bool complete_ = false;
  TarneQuery query_{};
  ReadAheadStamp stamp_;
  PageSize size_{kReadAheadRows, kReadAheadBytes};
  std::vector<Row> rows_;
  std::vector<uint8_t> bytes_;
  size_t served_ = 0;  // rows handed out so far
};

// This thread's page.
ReadAhead &ThreadReadAhead();

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_READ_AHEAD_H
