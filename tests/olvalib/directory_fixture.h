// A fresh directory in a temporary folder, opened through the library, and helpers that
// build entries and queries and wait for update completions.
#ifndef TARNE_TESTS_OLVALIB_DIRECTORY_FIXTURE_H
#define TARNE_TESTS_OLVALIB_DIRECTORY_FIXTURE_H

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"

namespace olva::test {

// Distinct UUIDs by tag (byte 0) and number (bytes 14 and 15).
OlvaUUID Uuid(uint8_t tag, uint16_t number = 0);

inline const OlvaUUID kSelf = Uuid(0x5e);
inline const OlvaUUID kClusterA = Uuid(0xca);
inline const OlvaUUID kClusterB = Uuid(0xcb);
inline const OlvaUUID kSelfMarker{{0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
inline const OlvaUUID kNoCluster{};

// A whole entry record: header, then payload.
std::vector<uint8_t> MakeEntry(const OlvaUUID &uuid, const OlvaUUID &owner, uint8_t type,
                               uint64_t revision, const std::string &payload);
inline TarneEntry *AsEntry(std::vector<uint8_t> &bytes) {
  return reinterpret_cast<TarneEntry *>(bytes.data());
}
std::string PayloadOf(const TarneEntry *entry);

// All wildcards set except those the test clears.
TarneQuery QueryAll();

// Counts completions and keeps what they reported.
class Completions {
 public:
  struct Seen {
    TarneEntry *entry;
    uint32_t length;
    OlvaUUID cluster;
    PEK_ReturnStatus status;
    std::thread::id thread;
  };
  static int32_t Callback(void *context, TarneEntry *entry, uint32_t length, OlvaUUID cluster,
                          PEK_ReturnStatus status);
  // Waits until count completions arrived in all; false after 20 s.
  bool WaitFor(size_t count);
  std::vector<Seen> Snapshot();

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Seen> seen_;
};

class DirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  virtual std::vector<OlvaUUID> Clusters() const { return {kClusterA}; }

  const std::string &Path() const { return path_; }
  void Reopen();

  // Applies one request through the library and returns its completion status.
  PEK_ReturnStatus Add(std::vector<uint8_t> &entry, const OlvaUUID &cluster = kNoCluster);
  PEK_ReturnStatus Update(std::vector<uint8_t> &entry, const OlvaUUID &cluster = kNoCluster);
  PEK_ReturnStatus Delete(std::vector<uint8_t> &entry, const OlvaUUID &cluster = kNoCluster);
  // Adds an entry with a payload naming its key; fails the test unless it is stored.
  void Put(const OlvaUUID &uuid, const OlvaUUID &owner, uint8_t type, uint64_t revision,
           const OlvaUUID &cluster = kNoCluster);

  // The headers of every match, through first and next lookups into a buffer of that size.
  std::vector<TarneEntry> ListAll(const TarneQuery &query, uint32_t bufferSize = 1024);

  int32_t handle_ = -1;

 private:
  PEK_ReturnStatus Apply(PEK_ReturnStatus (*operation)(TarneEntry *, TarneUpdateCompletion, void *,
                                                       OlvaUUID),
                         std::vector<uint8_t> &entry, const OlvaUUID &cluster);

  std::string folder_;
  std::string path_;
};

class TwoClusterTest : public DirectoryTest {
 protected:
  std::vector<OlvaUUID> Clusters() const override { return {kClusterA, kClusterB}; }
};

bool SameUuid(const OlvaUUID &a, const OlvaUUID &b);

}  // namespace olva::test

#endif  // TARNE_TESTS_OLVALIB_DIRECTORY_FIXTURE_H
