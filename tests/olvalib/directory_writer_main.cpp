// A second process writing to the directory through the library, for the tests that need
// concurrent writers or a writer killed in the middle.
//   olvalib_test_writer TAG COUNT    adds COUNT entries, exits 0 when every one was stored
//   olvalib_test_writer TAG forever  updates entries until killed; says "writing" once started
//   olvalib_test_writer TAG read     looks the directory up once, exits 0 when it could
#include <semaphore.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "writer_payload.h"

namespace {

constexpr unsigned kInFlight = 900;

struct Writer {
  sem_t slots;
  std::atomic<uint32_t> failures{0};
  std::atomic<uint32_t> completed{0};
};

int32_t Done(void *context, TarneEntry *entry, uint32_t, OlvaUUID, PEK_ReturnStatus status) {
  auto *writer = static_cast<Writer *>(context);
  if (status != TARNE_STATUS_SUCCESS) ++writer->failures;
  std::free(entry);
  ++writer->completed;
  sem_post(&writer->slots);
  return 0;
}

bool Issue(Writer &writer, uint8_t tag, uint32_t number, uint32_t round, bool update) {
  const std::vector<uint8_t> payload = olva::test::WriterPayload(number, round);
  auto *entry = static_cast<TarneEntry *>(std::malloc(sizeof(TarneEntry) + payload.size()));
  std::memset(entry, 0, sizeof(TarneEntry));
  entry->uuid = olva::test::WriterUuid(tag, number);
  entry->owner = olva::test::WriterUuid(tag, 0xffffffff);
  entry->type = olva::test::kWriterType;
  entry->revision = 1;
  entry->valueLen = static_cast<uint32_t>(payload.size());
  std::memcpy(TarneEntry_Payload(entry), payload.data(), payload.size());
  sem_wait(&writer.slots);
  const PEK_ReturnStatus status =
      update ? TARNE_UpdateEntryForCluster(entry, Done, &writer, OlvaUUID{})
             : TARNE_AddEntryForCluster(entry, Done, &writer, OlvaUUID{});
  if (status != TARNE_STATUS_SUCCESS) Done(&writer, entry, 0, OlvaUUID{}, status);
  return status == TARNE_STATUS_SUCCESS;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fputs("usage: olvalib_test_writer TAG COUNT|forever|read\n", stderr);
    return 2;
  }
  const auto tag = static_cast<uint8_t>(std::strtoul(argv[1], nullptr, 0));
  const bool forever = std::strcmp(argv[2], "forever") == 0;
  const uint32_t count = forever ? 0 : static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 0));
  int32_t handle = -1;
  if (TARNE_Initialize(1, 0, &handle) != TARNE_STATUS_SUCCESS) {
    std::fputs("olvalib_test_writer: cannot open the directory\n", stderr);
    return 1;
  }
  if (std::strcmp(argv[2], "read") == 0) {
    TarneQuery query{};
    query.flags = TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_REVISION |
                  TARNE_QUERY_ANY_TYPE;
    uint8_t buffer[1024];
    const PEK_ReturnStatus found =
        TARNE_FindEntryForCluster(&query, 0, reinterpret_cast<TarneEntry *>(buffer), 1024, 0);
    TARNE_Deinitialize(handle);
    return found == TARNE_STATUS_SUCCESS || found == TARNE_STATUS_NOT_FOUND ? 0 : 1;
  }
  Writer writer;
  sem_init(&writer.slots, 0, kInFlight);
  if (forever) {
    bool announced = false;
    for (uint32_t round = 1;; ++round) {
      for (uint32_t number = 0; number < 500; ++number) Issue(writer, tag, number, round, true);
      if (!announced && writer.completed > 0) {
        std::puts("writing");
        std::fflush(stdout);
        announced = true;
      }
    }
  }
  for (uint32_t number = 0; number < count; ++number) Issue(writer, tag, number, 0, false);
  for (unsigned i = 0; i < kInFlight; ++i) sem_wait(&writer.slots);
  TARNE_Deinitialize(handle);
  if (writer.failures != 0) {
    std::fprintf(stderr, "olvalib_test_writer: %u requests failed\n", writer.failures.load());
    return 1;
  }
  return 0;
}
