// The fake's script language: one directive per line, then key=value words (README.md).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <sstream>

#include "fake_state.h"

namespace fake {
namespace {

struct LineError {
  std::string message;
};

// Splits a line into words at blanks, up to a '#'.
std::vector<std::string> Split(const std::string &line) {
  std::istringstream words(line.substr(0, line.find('#')));
  return {std::istream_iterator<std::string>(words), {}};
}

uint64_t Number(const std::string &text) {
  char *end = nullptr;
  const uint64_t value = std::strtoull(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0') throw LineError{"not a number: " + text};
  return value;
}

OlvaUUID Uuid(const std::string &text, const State &state) {
  if (text == "self") return state.self;
  OlvaUUID uuid{};
  uint8_t *b = uuid.bytes;
  if (std::sscanf(
          text.c_str(),
          "%2hhx%2hhx%2hhx%2hhx-%2hhx%2hhx-%2hhx%2hhx-%2hhx%2hhx-%2hhx%2hhx%2hhx%2hhx%2hhx%2hhx",
          &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &b[8], &b[9], &b[10], &b[11],
          &b[12], &b[13], &b[14], &b[15]) != 16) {
    throw LineError{"not a uuid: " + text};
  }
  return uuid;
}

// The key=value words of one line (a bare key has the value ""); each directive takes the
// words it knows, and a word left over is an error.
class Words {
 public:
  explicit Words(const std::vector<std::string> &words) {
    for (size_t i = 1; i < words.size(); ++i) {
      const size_t eq = words[i].find('=');
      words_[words[i].substr(0, eq)] = eq == std::string::npos ? "" : words[i].substr(eq + 1);
    }
  }
  void RefuseLeftOver() const {
    if (!words_.empty()) throw LineError{"unknown word: " + words_.begin()->first};
  }
  std::optional<std::string> Take(const std::string &key) {
    const auto found = words_.find(key);
    if (found == words_.end()) return std::nullopt;
    std::string value = found->second;
    words_.erase(found);
    return value;
  }
  // Sets target (a number or an optional number) when the word is there.
  template <typename T>
  void Num(const std::string &key, T &target) {
    if (auto value = Take(key)) target = static_cast<T>(Number(*value));
  }

 private:
  std::map<std::string, std::string> words_;
};

// Adds `repeat` copies of one entry, whose uuids count up in their last four bytes.
void AddEntries(Words &w, State &state, std::vector<uint8_t> payload, uint8_t type = 0) {
  if (auto size = w.Take("payload-size")) {
    payload.resize(Number(*size));
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>('a' + i % 26);
  }
  StoredEntry entry{std::vector<uint8_t>(sizeof(TarneEntry)), w.Take("vanishes").has_value()};
  entry.bytes.insert(entry.bytes.end(), payload.begin(), payload.end());
  auto *header = reinterpret_cast<TarneEntry *>(entry.bytes.data());
  const auto uuid = w.Take("uuid"), owner = w.Take("owner");
  if (uuid) header->uuid = Uuid(*uuid, state);
  header->owner = owner ? Uuid(*owner, state) : state.self;
  header->type = type;
  w.Num("type", header->type);
  w.Num("rev", header->revision);
  header->valueLen = static_cast<uint32_t>(payload.size());
  uint64_t copies = 1;
  w.Num("repeat", copies);
  uint32_t tail = 0;
  for (int b = 12; b < 16; ++b) tail = tail << 8 | header->uuid.bytes[b];
  for (uint64_t i = 0; i < copies; ++i, ++tail) {
    for (int b = 15, t = 0; b >= 12; --b, t += 8) header->uuid.bytes[b] = uint8_t(tail >> t);
    state.entries.push_back(entry);
  }
}

// The membership entry: type 14, its payload in the fake's expression encoding.
void AddMembership(Words &w, State &state) {
  std::vector<OlvaUUID> members;
  std::stringstream list(w.Take("members").value_or(""));
  for (std::string member; std::getline(list, member, ',');) members.push_back(Uuid(member, state));
  uint32_t elements = 3;
  w.Num("elements", elements);
  const uint32_t head[] = {elements, 0, 0, static_cast<uint32_t>(members.size())};
  std::vector<uint8_t> payload(sizeof head + members.size() * sizeof(OlvaUUID));
  std::memcpy(payload.data(), head, sizeof head);
  std::memcpy(payload.data() + sizeof head, members.data(), members.size() * sizeof(OlvaUUID));
  AddEntries(w, state, payload, 14);
}

void Apply(const std::string &directive, Words &w, State &state) {
  if (directive == "clusters") {
    w.Num("status", state.clustersStatus);
  } else if (directive == "self") {
    if (auto uuid = w.Take("uuid")) state.self = Uuid(*uuid, state);
    w.Num("status", state.selfStatus);
  } else if (directive == "entry") {
    AddEntries(w, state, {});
  } else if (directive == "membership") {
    AddMembership(w, state);
  } else if (directive == "foreach") {
    w.Num("after", state.foreachAfter);
    w.Num("status", state.foreachStatus);
  } else if (directive == "add" || directive == "update" || directive == "delete") {
    RequestRule rule;
    w.Num("nth", rule.nth);
    w.Num("refuse", rule.refuse);
    w.Num("complete", rule.complete);
    (directive == "add"      ? state.add
     : directive == "update" ? state.update
                             : state.remove)
        .rules.push_back(rule);
  } else if (directive == "remotefind") {
    w.Num("refuse", state.remoteFindRefuse);
    w.Num("end", state.remoteFindEnd);
    if (state.remoteFindEnd == TARNE_STATUS_SUCCESS) throw LineError{"a search cannot end with 0"};
  } else if (directive == "findrf") {
    w.Num("status", state.findRfStatus);
  } else if (directive == "expr") {
    w.Num("valid", state.exprValid);
  } else if (directive == "scan") {
    w.Num("inner", state.scanInnerStatus);
  } else if (directive == "convert") {
    ConvertStep step{TARNE_STATUS_SUCCESS, std::nullopt, w.Take("text").value_or("")};
    w.Num("status", step.status);
    w.Num("capacity", step.capacity);
    uint64_t repeat = 1;
    w.Num("repeat", repeat);
    state.convertSteps.insert(state.convertSteps.end(), repeat, step);
  } else if (directive == "delay") {
    w.Num("ms", state.delayMs);
  } else {
    throw LineError{"unknown directive: " + directive};
  }
}

}  // namespace

std::string ParseScript(const std::string &text, State &state) {
  std::istringstream lines(text);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    try {
      ++number;
      const std::vector<std::string> words = Split(line);
      if (words.empty()) continue;
      Words keyed(words);
      Apply(words[0], keyed, state);
      keyed.RefuseLeftOver();
    } catch (const LineError &e) {
      return "line " + std::to_string(number) + ": " + e.message;
    }
  }
  return "";
}

}  // namespace fake
