// The fake's script language: one directive per line, then key=value words (README.md).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "fake_state.h"

namespace fake {
namespace {

// The words of one line after the directive: key=value, or a bare key (value "").
using Words = std::map<std::string, std::string>;

class LineError {
 public:
  explicit LineError(std::string message) : message(std::move(message)) {}
  std::string message;
};

// Splits a line into words; a value may be double-quoted, with \" \\ \n \t and \xHH.
std::vector<std::string> Split(const std::string &line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
      continue;
    }
    if (line[i] == '#') break;
    std::string word;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
      if (line[i] != '"') {
        word += line[i++];
        continue;
      }
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] != '\\' || i + 1 >= line.size()) {
          word += line[i];
          continue;
        }
        const char escaped = line[++i];
        if (escaped == 'n') {
          word += '\n';
        } else if (escaped == 't') {
          word += '\t';
        } else if (escaped == 'x' && i + 2 < line.size()) {
          word += static_cast<char>(std::strtoul(line.substr(i + 1, 2).c_str(), nullptr, 16));
          i += 2;
        } else {
          word += escaped;
        }
      }
      if (i >= line.size()) throw LineError("unterminated quoted value");
      ++i;  // the closing quote
    }
    words.push_back(word);
  }
  return words;
}

uint64_t Number(const std::string &text) {
  char *end = nullptr;
  const uint64_t value = std::strtoull(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0') throw LineError("not a number: " + text);
  return value;
}

OlvaUUID Uuid(const std::string &text, const State &state) {
  OlvaUUID uuid{};
  if (text == "OLVA_UUID_SELF") {
    uuid.bytes[3] = 0x02;
  } else if (text == "self") {
    uuid = state.self;
  } else if (text != "OLVA_UUID_NULL") {
    uint8_t *b = uuid.bytes;
    if (std::sscanf(text.c_str(),
                    "%02hhx%02hhx%02hhx%02hhx-%02hhx%02hhx-%02hhx%02hhx-%02hhx%02hhx-"
                    "%02hhx%02hhx%02hhx%02hhx%02hhx%02hhx",
                    &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &b[8], &b[9], &b[10],
                    &b[11], &b[12], &b[13], &b[14], &b[15]) != 16) {
      throw LineError("not a uuid: " + text);
    }
  }
  return uuid;
}

std::vector<uint8_t> HexBytes(const std::string &hex) {
  if (hex.size() % 2 != 0) throw LineError("odd number of hex digits");
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < hex.size(); i += 2) bytes.push_back(Number("0x" + hex.substr(i, 2)));
  return bytes;
}

// Reads the optional words a directive knows; any other word is an error.
class Reader {
 public:
  Reader(const Words &words, const State &state) : words_(words), state_(state) {}
  void RefuseUnusedWords() const {
    for (const auto &[key, value] : words_) {
      if (!used_.contains(key)) throw LineError("unknown word: " + key);
    }
  }
  bool Has(const std::string &key) {
    used_.insert(key);
    return words_.contains(key);
  }
  std::string Text(const std::string &key, const std::string &fallback = "") {
    return Has(key) ? words_.at(key) : fallback;
  }
  uint64_t NumOr(const std::string &key, uint64_t fallback) {
    return Has(key) ? Number(words_.at(key)) : fallback;
  }
  template <typename T>
  void Num(const std::string &key, T &target) {
    if (Has(key)) target = static_cast<T>(Number(words_.at(key)));
  }
  template <typename T>
  void Num(const std::string &key, std::optional<T> &target) {
    if (Has(key)) target = static_cast<T>(Number(words_.at(key)));
  }
  OlvaUUID Id(const std::string &key, const OlvaUUID &fallback) {
    return Has(key) ? Uuid(words_.at(key), state_) : fallback;
  }

 private:
  const Words &words_;
  const State &state_;
  std::set<std::string> used_;
};

void PutUint32(std::vector<uint8_t> &bytes, uint32_t value) {
  const auto *p = reinterpret_cast<const uint8_t *>(&value);
  bytes.insert(bytes.end(), p, p + sizeof value);
}

StoredEntry MakeEntry(Reader &r, const State &state, std::vector<uint8_t> payload) {
  StoredEntry entry;
  entry.bytes.assign(sizeof(TarneEntry), 0);
  auto *header = reinterpret_cast<TarneEntry *>(entry.bytes.data());
  header->uuid = r.Id("uuid", OlvaUUID{});
  header->owner = r.Id("owner", state.self);
  r.Num("type", header->type);
  r.Num("rev", header->revision);
  r.Num("flag", header->flag);
  r.Num("minhost", header->minHostVersion);
  header->valueLen = static_cast<uint32_t>(payload.size());
  entry.bytes.insert(entry.bytes.end(), payload.begin(), payload.end());
  entry.cluster = r.Id("cluster", OlvaUUID{});
  entry.vanishes = r.Has("vanishes");
  return entry;
}

void AddEntries(Reader &r, State &state) {
  std::vector<uint8_t> payload;
  if (r.Has("payload-hex")) payload = HexBytes(r.Text("payload-hex"));
  if (r.Has("payload-text")) {
    const std::string text = r.Text("payload-text");
    payload.assign(text.begin(), text.end());
  }
  if (r.Has("payload-size")) {
    payload.resize(r.NumOr("payload-size", 0));
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>('a' + i % 26);
  }
  const uint64_t copies = r.NumOr("repeat", 1);
  const StoredEntry first = MakeEntry(r, state, payload);
  for (uint64_t i = 0; i < copies; ++i) {
    StoredEntry copy = first;
    auto *header = reinterpret_cast<TarneEntry *>(copy.bytes.data());
    // Copies differ in the last four bytes of their uuid, counted up big-endian.
    uint32_t tail = 0;
    for (int b = 12; b < 16; ++b) tail = tail << 8 | header->uuid.bytes[b];
    tail += static_cast<uint32_t>(i);
    for (int b = 15; b >= 12; --b, tail >>= 8) header->uuid.bytes[b] = static_cast<uint8_t>(tail);
    state.entries.push_back(std::move(copy));
  }
}

// The membership entry: type 14, its payload in the fake's expression encoding.
void AddMembership(Reader &r, State &state) {
  std::vector<OlvaUUID> members;
  std::stringstream list(r.Text("members"));
  for (std::string member; std::getline(list, member, ',');) {
    if (!member.empty()) members.push_back(Uuid(member, state));
  }
  std::vector<uint8_t> payload;
  PutUint32(payload, static_cast<uint32_t>(r.NumOr("elements", 3)));
  PutUint32(payload, static_cast<uint32_t>(r.NumOr("a", 0)));
  PutUint32(payload, static_cast<uint32_t>(r.NumOr("b", 0)));
  PutUint32(payload, static_cast<uint32_t>(members.size()));
  for (const OlvaUUID &member : members) {
    payload.insert(payload.end(), member.bytes, member.bytes + sizeof member.bytes);
  }
  StoredEntry entry = MakeEntry(r, state, payload);
  reinterpret_cast<TarneEntry *>(entry.bytes.data())->type = 14;
  state.entries.push_back(std::move(entry));
}

void AddRequestRule(Reader &r, RequestRules &rules) {
  RequestRule rule;
  r.Num("nth", rule.nth);
  r.Num("refuse", rule.refuse);
  r.Num("complete", rule.complete);
  rules.rules.push_back(rule);
}

void Apply(const std::string &directive, Reader &r, State &state) {
  if (directive == "init") {
    r.Num("status", state.initStatus);
  } else if (directive == "clusters") {
    r.Num("count", state.clusterCount);
    r.Num("status", state.clustersStatus);
  } else if (directive == "self") {
    state.self = r.Id("uuid", state.self);
    r.Num("status", state.selfStatus);
  } else if (directive == "entry") {
    AddEntries(r, state);
  } else if (directive == "membership") {
    AddMembership(r, state);
  } else if (directive == "find") {
    r.Num("status", state.findStatus);
    r.Num("end", state.findEnd);
  } else if (directive == "foreach") {
    r.Num("after", state.foreachAfter);
    r.Num("status", state.foreachStatus);
  } else if (directive == "wait") {
    r.Num("status", state.waitStatus);
  } else if (directive == "waitmembership") {
    r.Num("status", state.membershipWaitStatus);
  } else if (directive == "add") {
    AddRequestRule(r, state.add);
  } else if (directive == "update") {
    AddRequestRule(r, state.update);
  } else if (directive == "delete") {
    AddRequestRule(r, state.remove);
  } else if (directive == "remotefind") {
    r.Num("refuse", state.remoteFindRefuse);
    r.Num("end", state.remoteFindEnd);
    if (state.remoteFindEnd == TARNE_STATUS_SUCCESS) throw LineError("a search cannot end with 0");
  } else if (directive == "findrf") {
    r.Num("status", state.findRfStatus);
  } else if (directive == "expr") {
    if (r.Has("valid")) state.exprValid = r.NumOr("valid", 1) != 0;
  } else if (directive == "scan") {
    r.Num("outer", state.scanOuterStatus);
    r.Num("inner", state.scanInnerStatus);
  } else if (directive == "convert") {
    ConvertStep step;
    r.Num("status", step.status);
    r.Num("capacity", step.capacity);
    step.text = r.Text("text");
    for (uint64_t n = r.NumOr("repeat", 1); n > 0; --n) state.convertSteps.push_back(step);
  } else if (directive == "delay") {
    r.Num("ms", state.delayMs);
  } else {
    throw LineError("unknown directive: " + directive);
  }
}

}  // namespace

bool ParseScript(const std::string &text, State &state, std::string &error) {
  std::istringstream lines(text);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    try {
      const std::vector<std::string> words = Split(line);
      if (words.empty()) continue;
      Words keyed;
      for (size_t i = 1; i < words.size(); ++i) {
        const size_t eq = words[i].find('=');
        keyed[words[i].substr(0, eq)] = eq == std::string::npos ? "" : words[i].substr(eq + 1);
      }
      Reader reader(keyed, state);
      Apply(words[0], reader, state);
      reader.RefuseUnusedWords();
    } catch (const LineError &e) {
      error = "line " + std::to_string(number) + ": " + e.message;
      return false;
    }
  }
  return true;
}

}  // namespace fake
