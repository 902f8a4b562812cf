// A second process writing to the directory through the library, for the tests that need
// concurrent writers or a writer killed in the middle.
//   olvalib_test_writer TAG COUNT    adds COUNT entries, exits 0 when every one was stored
//   olvalib_test_writer TAG forever  updates entries until killed; says "writing" once started
#include <semaphore.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"

namespace {

// Entry `number` of writer `tag` holds 9 + number % 500 bytes, all equal, so that a reader
// can tell a whole entry from a damaged one.
constexpr uint8_t kWriterType = 21;
OlvaUUID WriterUuid(uint8_t tag, uint32_t number) {
  return OlvaUUID{{0x77, tag, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, uint8_t(number >> 24),
                   uint8_t(number >> 16), uint8_t(number >> 8), uint8_t(number)}};
}

sem_t slots;  // 900 requests in flight at most, as the tool keeps
std::atomic<uint32_t> failures{0};

int32_t Done(void *, TarneEntry *entry, uint32_t, OlvaUUID, PEK_ReturnStatus status) {
  failures += status != TARNE_STATUS_SUCCESS;
  std::free(entry);
  sem_post(&slots);
  return 0;
}

void Issue(uint8_t tag, uint32_t number, uint32_t round, bool update) {
  const uint32_t length = 9 + number % 500;
  auto *entry = static_cast<TarneEntry *>(std::calloc(1, sizeof(TarneEntry) + length));
  entry->uuid = WriterUuid(tag, number);
  entry->owner = WriterUuid(tag, 0xffffffff);
  entry->type = kWriterType;
  entry->revision = 1;
  entry->valueLen = length;
  std::memset(TarneEntry_Payload(entry), static_cast<uint8_t>(number * 7 + round), length);
  sem_wait(&slots);
  const PEK_ReturnStatus status = update ? TARNE_UpdateEntryForCluster(entry, Done, nullptr, {})
                                         : TARNE_AddEntryForCluster(entry, Done, nullptr, {});
  if (status != TARNE_STATUS_SUCCESS) Done(nullptr, entry, 0, {}, status);
}

}  // namespace

int main(int argc, char **argv) {
  int32_t handle = -1;
  if (argc != 3 || TARNE_Initialize(1, 0, &handle) != TARNE_STATUS_SUCCESS) return 2;
  const auto tag = static_cast<uint8_t>(std::strtoul(argv[1], nullptr, 0));
  sem_init(&slots, 0, 900);
  if (std::strcmp(argv[2], "forever") == 0) {
    for (uint32_t round = 1;; ++round) {
      for (uint32_t number = 0; number < 500; ++number) Issue(tag, number, round, true);
      if (round == 2) {  // the first round has committed
        (void)std::puts("writing");
        (void)std::fflush(stdout);
      }
    }
  }
  const auto count = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 0));
  for (uint32_t number = 0; number < count; ++number) Issue(tag, number, 0, false);
  for (unsigned i = 0; i < 900; ++i) sem_wait(&slots);
  TARNE_Deinitialize(handle);
  return failures == 0 ? 0 : 1;
}
