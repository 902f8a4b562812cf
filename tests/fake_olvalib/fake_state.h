// The fake library's state: what the script says, plus what the calls have counted.
#ifndef TARNE_TESTS_FAKE_OLVALIB_FAKE_STATE_H
#define TARNE_TESTS_FAKE_OLVALIB_FAKE_STATE_H

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "client/tarne_client.h"
#include "client/tarne_client_values.h"
#include "client/tarne_status_codes.h"

namespace fake {

struct StoredEntry {
  std::vector<uint8_t> bytes;  // the 64-byte header, then valueLen payload bytes
  bool vanishes = false;       // listed by searches, gone for an exact lookup (a re-read)
  const TarneEntry *Header() const { return reinterpret_cast<const TarneEntry *>(bytes.data()); }
};

// How the n-th add, update or delete request goes: refused at once, or completed later.
struct RequestRule {
  std::optional<uint32_t> nth;  // absent: every request without a rule of its own
  std::optional<PEK_ReturnStatus> refuse;
  PEK_ReturnStatus complete = TARNE_STATUS_SUCCESS;
};

struct RequestRules {
  std::vector<RequestRule> rules;
  uint32_t issued = 0;
};

// One scripted converter call; calls beyond the script render the payload themselves.
struct ConvertStep {
  PEK_ReturnStatus status = TARNE_STATUS_SUCCESS;  // 0: succeed with text
  std::optional<uint32_t> capacity;                // left in the capacity argument
  std::string text;
};

struct State {
  PEK_ReturnStatus clustersStatus = TARNE_STATUS_SUCCESS;
  PEK_ReturnStatus selfStatus = TARNE_STATUS_SUCCESS;
  OlvaUUID self{{0x11, 0x11, 0x11, 0x11, 0x22, 0x22, 0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x55, 0x55,
                 0x55, 0x55}};
  std::vector<StoredEntry> entries;
  std::optional<uint32_t> foreachAfter;  // visit this many, then return foreachStatus
  PEK_ReturnStatus foreachStatus = TARNE_STATUS_SUCCESS;
  RequestRules add, update, remove;
  std::optional<PEK_ReturnStatus> remoteFindRefuse;
  PEK_ReturnStatus remoteFindEnd = TARNE_STATUS_NOT_FOUND;
  std::optional<PEK_ReturnStatus> findRfStatus;
  std::optional<bool> exprValid;
  PEK_ReturnStatus scanInnerStatus = TARNE_STATUS_SUCCESS;
  std::deque<ConvertStep> convertSteps;
  uint32_t delayMs = 0;  // before each asynchronous delivery
};

// Parses a script; on failure returns the message naming the line, else "".
std::string ParseScript(const std::string &text, State &state);

// The process-wide state, loaded from TARNE_FAKE_SCRIPT on first use (a broken script ends
// the process with a message). Hold the lock while touching it, and never while calling
// back into the program: callbacks call the library again.
std::unique_lock<std::mutex> Lock();
State &Current();  // only under Lock()

void Log(const std::string &line);  // to the TARNE_FAKE_LOG file, when it is set
std::string HexText(const void *bytes, size_t length);
std::string UuidText(const OlvaUUID &uuid);

// Runs the task on the fake's worker thread, after delayMs, behind earlier tasks.
void RunLater(uint32_t delayMs, std::function<void()> task);
// Drops tasks not yet started and waits for the running one.
void StopWorker();

}  // namespace fake

#endif  // TARNE_TESTS_FAKE_OLVALIB_FAKE_STATE_H
