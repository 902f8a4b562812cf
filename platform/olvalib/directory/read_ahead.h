// The matches that follow a thread's last lookup, read in the same read transaction as that
// lookup. Every read transaction costs file-lock system calls; reading ahead spares a
// listing one per match. A page serves only the next lookups of the same query, only until
// this process commits a change, and only while the listing goes on: a listing that pauses
// for a short while, or whose page is a second old, reads again and sees other processes'
// changes. The while counts from the end of the page's read, however long the read took, so
// that a slow read still serves its page (else each match would cost a read).
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
// The longest pause between two lookups that a page serves, and its longest life.
inline constexpr std::chrono::milliseconds kReadAheadLifetime{100};
inline constexpr std::chrono::milliseconds kReadAheadMaxAge{1000};

// What a page was read under; a page serves only lookups under the same.
struct ReadAheadStamp {
  uint64_t generation = 0;                   // of the library's opening
  uint64_t commits = 0;                      // of this process's writer
  std::chrono::steady_clock::time_point at;  // of the lookup; of the page: when its read ended
};

class ReadAhead {
 public:
  // Starts a page for the query, of at most size; rows are added in match order.
  void Begin(const TarneQuery &query, const ReadAheadStamp &stamp, PageSize size);
  // False once the page is full.
  bool Add(const RowView &row);
  // Marks that the page holds every remaining match.
  void MarkEnd() { complete_ = true; }
  // Marks the first count rows as handed out, once the read ended at readEnd.
  void Served(size_t count, std::chrono::steady_clock::time_point readEnd) {
    served_ = count;
    stamp_.at = readEnd;
    usedAt_ = readEnd;
  }

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
  size_t served_ = 0;                             // rows handed out so far
  std::chrono::steady_clock::time_point usedAt_;  // of the last lookup it served
};

// This thread's page.
ReadAhead &ThreadReadAhead();

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_READ_AHEAD_H
