// How far one range read of a listing on etcd reaches. etcd 3.4 walks every key from a range
// request's start to its end, whatever its limit, so a listing that asked each time for the
// rest of its range would walk the square of its rows. Each read instead ends where the rows
// read so far say that its limit will be reached. A row key's columns are lower-case hex
// digits, so past their common prefix two keys are base-16 numbers; the distance the rows of a
// read covered, over their count, is the distance one row takes. (Measured in bytes, the
// distance would count the values between '9' and 'a' and past 'f' that no key holds, and a
// bound would fall among them and find no rows.)
#ifndef OLVALIB_DIRECTORY_ETCD_KEY_SPAN_H
#define OLVALIB_DIRECTORY_ETCD_KEY_SPAN_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace olva::dir::etcd {

// rows rows took distance, counted in the sixteen hex digits of a key from at on.
struct KeyDensity {
  size_t at = 0;
  uint64_t distance = 0;
  uint32_t rows = 0;  // 0: nothing measured
  bool Known() const { return rows != 0; }
};

// The density of rows rows found from the key from to the key to (from < to).
KeyDensity MeasureDensity(const std::string &from, const std::string &to, uint32_t rows);

// A key past from that rows rows after it reach at that density, written in hex digits, or
// nothing when that is past every key of the hex part (no bound).
std::string KeyAfterRows(const std::string &from, const KeyDensity &density, uint32_t rows);

}  // namespace olva::dir::etcd

#endif  // OLVALIB_DIRECTORY_ETCD_KEY_SPAN_H
