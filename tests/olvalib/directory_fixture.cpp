#include "directory_fixture.h"

#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "directory/directory_location.h"
#include "directory/directory_schema.h"

namespace olva::test {

OlvaUUID Uuid(uint8_t tag, uint16_t number) {
  OlvaUUID uuid{};
  uuid.bytes[0] = tag;
  uuid.bytes[6] = 0x40;
  uuid.bytes[14] = static_cast<uint8_t>(number >> 8);
  uuid.bytes[15] = static_cast<uint8_t>(number);
  return uuid;
}

bool SameUuid(const OlvaUUID &a, const OlvaUUID &b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

std::vector<uint8_t> MakeEntry(const OlvaUUID &uuid, const OlvaUUID &owner, uint8_t type,
                               uint64_t revision, const std::string &payload) {
  std::vector<uint8_t> bytes(sizeof(TarneEntry) + payload.size());
  TarneEntry header{};
  header.uuid = uuid;
  header.owner = owner;
  header.revision = revision;
  header.type = type;
  header.valueLen = static_cast<uint32_t>(payload.size());
  std::memcpy(bytes.data(), &header, sizeof header);
  std::memcpy(bytes.data() + sizeof header, payload.data(), payload.size());
  return bytes;
}

std::string PayloadOf(const TarneEntry *entry) {
  return std::string(reinterpret_cast<const char *>(TarneEntry_Payload(entry)), entry->valueLen);
}

TarneQuery QueryAll() {
  TarneQuery query{};
  query.flags = TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_REVISION |
                TARNE_QUERY_ANY_TYPE;
  return query;
}

int32_t Completions::Callback(void *context, TarneEntry *entry, uint32_t length, OlvaUUID cluster,
                              PEK_ReturnStatus status) {
  auto *self = static_cast<Completions *>(context);
  // Notified under the lock: the waiter may destroy the object as soon as it sees the count.
  std::lock_guard lock(self->mutex_);
  self->seen_.push_back({entry, length, cluster, status, std::this_thread::get_id()});
  self->arrived_.notify_all();
  return 0;
}

bool Completions::WaitFor(size_t count) {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, std::chrono::seconds(20), [&] { return seen_.size() >= count; });
}

std::vector<Completions::Seen> Completions::Snapshot() {
  std::lock_guard lock(mutex_);
  return seen_;
}

void DirectoryTest::SetUp() {
  char folder[] = "/tmp/olvalib-test-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  folder_ = folder;
  path_ = folder_ + "/directory.db";
  dir::DirectoryInfo info;
  info.self = kSelf;
  info.clusters = Clusters();
  std::string error;
  ASSERT_EQ(dir::CreateDirectory(path_, info, false, &error), TARNE_STATUS_SUCCESS) << error;
  setenv(dir::kDirectoryVariable, path_.c_str(), 1);
  ASSERT_EQ(TARNE_Initialize(1, 0, &handle_), TARNE_STATUS_SUCCESS);
}

void DirectoryTest::TearDown() {
  if (handle_ != -1) TARNE_Deinitialize(handle_);
  handle_ = -1;
  unsetenv(dir::kDirectoryVariable);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void DirectoryTest::Reopen() {
  ASSERT_EQ(TARNE_Deinitialize(handle_), TARNE_STATUS_SUCCESS);
  handle_ = -1;
  ASSERT_EQ(TARNE_Initialize(1, 0, &handle_), TARNE_STATUS_SUCCESS);
}

PEK_ReturnStatus DirectoryTest::Apply(PEK_ReturnStatus (*operation)(TarneEntry *,
                                                                    TarneUpdateCompletion, void *,
                                                                    OlvaUUID),
                                      std::vector<uint8_t> &entry, const OlvaUUID &cluster) {
  Completions completions;
  const PEK_ReturnStatus queued =
      operation(AsEntry(entry), &Completions::Callback, &completions, cluster);
  if (queued != TARNE_STATUS_SUCCESS) return queued;
  EXPECT_TRUE(completions.WaitFor(1));
  return completions.Snapshot().at(0).status;
}

PEK_ReturnStatus DirectoryTest::Add(std::vector<uint8_t> &entry, const OlvaUUID &cluster) {
  return Apply(TARNE_AddEntryForCluster, entry, cluster);
}
PEK_ReturnStatus DirectoryTest::Update(std::vector<uint8_t> &entry, const OlvaUUID &cluster) {
  return Apply(TARNE_UpdateEntryForCluster, entry, cluster);
}
PEK_ReturnStatus DirectoryTest::Delete(std::vector<uint8_t> &entry, const OlvaUUID &cluster) {
  return Apply(TARNE_DeleteEntryForCluster, entry, cluster);
}

void DirectoryTest::Put(const OlvaUUID &uuid, const OlvaUUID &owner, uint8_t type,
                        uint64_t revision, const OlvaUUID &cluster) {
  std::vector<uint8_t> entry =
      MakeEntry(uuid, owner, type, revision,
                "entry " + std::to_string(uuid.bytes[0]) + "/" + std::to_string(uuid.bytes[15]) +
                    " rev " + std::to_string(revision));
  ASSERT_EQ(Add(entry, cluster), TARNE_STATUS_SUCCESS);
}

std::vector<TarneEntry> DirectoryTest::ListAll(const TarneQuery &query, uint32_t bufferSize) {
  std::vector<uint8_t> buffer(bufferSize);
  auto *entry = reinterpret_cast<TarneEntry *>(buffer.data());
  std::vector<TarneEntry> headers;
  PEK_ReturnStatus status = TARNE_FindEntryForCluster(&query, 0, entry, bufferSize, 0);
  while (status == TARNE_STATUS_SUCCESS) {
    headers.push_back(*entry);
    if (headers.size() > 100000) break;  // a cursor that never moves on
    status = TARNE_FindEntryForCluster(&query, 1, entry, bufferSize, 0);
  }
  EXPECT_EQ(status, TARNE_STATUS_NOT_FOUND);
  return headers;
}

}  // namespace olva::test
