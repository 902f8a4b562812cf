#include "cli/command_line.h"

#include <getopt.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "cli/commands.h"
#include "output/message.h"
#include "record/uuid.h"
#include "tables/entry_types.h"

namespace {

constexpr uint8_t kQueryDefaultFlags =
    TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_REVISION | TARNE_QUERY_ANY_TYPE;

struct ParseState {
  Settings *settings;
  bool formatGiven = false;
};

enum class Verdict { kAccepted, kRefused, kHelp };

using OptionHandler = Verdict (*)(const char *argument, ParseState &state);

struct OptionSpec {
  char shortName;
  const char *longName;
  bool takesArgument;
  OptionHandler handler;
  const char *refusal;        // printed with the argument; nullptr when nothing can be refused
  bool refusalOnStdout;       // "INVALID FORMAT" is the one refusal written to standard output
  uint8_t usagePosition;      // the option's place in the usage text; 0: not listed (-a)
  const char *usageArgument;  // what "=" is followed by in the usage text
  std::array<const char *, 2> usage;  // description lines, unused ones null
};

// strtoul-style conversion: blanks, sign, stop at the first non-digit; only overflow fails.
bool ConvertUnsigned(const char *text, unsigned long *value) {
  errno = 0;
  *value = std::strtoul(text, nullptr, 10);
  return errno == 0;
}

Verdict OnCluster(const char *argument, ParseState &state) {
  return ParseUUID(argument, &state.settings->query.cluster) ? Verdict::kAccepted
                                                             : Verdict::kRefused;
}

Verdict OnOwner(const char *argument, ParseState &state) {
  Query_ClearFlag(state.settings->query, TARNE_QUERY_ANY_OWNER);
  return ParseUUID(argument, &state.settings->query.owner) ? Verdict::kAccepted : Verdict::kRefused;
}

Verdict OnUuid(const char *argument, ParseState &state) {
  Query_ClearFlag(state.settings->query, TARNE_QUERY_ANY_UUID);
  return ParseUUID(argument, &state.settings->query.uuid) ? Verdict::kAccepted : Verdict::kRefused;
}

Verdict OnType(const char *argument, ParseState &state) {
  TarneQuery &query = state.settings->query;
  Query_ClearFlag(query, TARNE_QUERY_ANY_TYPE);
  unsigned long number = 0;
  const bool converted = ConvertUnsigned(argument, &number);
  if (number == 0 || !converted) {
    const std::optional<uint8_t> type = EntryType_FromName(argument);
    if (!type) return Verdict::kRefused;
    query.type = *type;
    return Verdict::kAccepted;
  }
  if (number > static_cast<unsigned long>(kEntryTypeCount)) return Verdict::kRefused;
  query.type = static_cast<uint8_t>(number);
  return Verdict::kAccepted;
}

Verdict OnRevision(const char *argument, ParseState &state) {
  TarneQuery &query = state.settings->query;
  Query_ClearFlag(query, TARNE_QUERY_ANY_REVISION);
  errno = 0;
  const unsigned long long revision = std::strtoull(argument, nullptr, 10);
  if (errno != 0) return Verdict::kRefused;
  if (revision == ULLONG_MAX) {
    query.flags |= TARNE_QUERY_LATEST_REVISION;
    query.revision = 0;
  } else {
    query.revision = revision;
  }
  return Verdict::kAccepted;
}

Verdict OnTimeout(const char *argument, ParseState &state) {
  unsigned long value = 0;
  if (!ConvertUnsigned(argument, &value)) return Verdict::kRefused;
  state.settings->timeout = static_cast<uint32_t>(value);
  return Verdict::kAccepted;
}

constexpr std::array<const char *, 3> kFormatNames = {"simple", "json", "python"};

Verdict OnFormat(const char *argument, ParseState &state) {
  state.formatGiven = true;
  for (size_t i = 0; i < kFormatNames.size(); ++i) {
    if (std::strcmp(argument, kFormatNames[i]) == 0) {
      state.settings->formatNumber = static_cast<uint8_t>(i + 1);
      return Verdict::kAccepted;
    }
  }
  return Verdict::kRefused;
}

Verdict OnDumpFile(const char *argument, ParseState &state) {
  state.settings->dumpFile = argument;
  return Verdict::kAccepted;
}

Verdict OnPrintDumpHeader(const char *, ParseState &state) {
  state.settings->printDumpHeader = true;
  return Verdict::kAccepted;
}

Verdict OnCompactOutput(const char *, ParseState &state) {
  state.settings->compactOutput = true;
  return Verdict::kAccepted;
}

Verdict OnAllClusters(const char *, ParseState &state) {
  state.settings->query.flags |= TARNE_QUERY_ALL_CLUSTERS;
  return Verdict::kAccepted;
}

Verdict OnVerbosity(const char *argument, ParseState &state) {
  unsigned long value = 0;
  if (!ConvertUnsigned(argument, &value)) return Verdict::kRefused;
  state.settings->verbosity = static_cast<int32_t>(static_cast<uint32_t>(value));
  return Verdict::kAccepted;
}

Verdict OnMangle(const char *, ParseState &state) {
  state.settings->mangle = true;
  return Verdict::kAccepted;
}

Verdict OnHelp(const char *, ParseState &) {
  return Verdict::kHelp;
}

// The one table of options; getopt_long's arrays and the usage text are built from it. The
// rows keep getopt_long's order (its diagnostics list ambiguous long options in it).
constexpr std::array<OptionSpec, 14> kOptions = {{
    {'l',
     "cluster",
     true,
     OnCluster,
     "Failed to parse cluster UUID %s\n",
     false,
     1,
     "<uuid>",
     {"Cluster uuid"}},
    {'f',
     "format",
     true,
     OnFormat,
     "INVALID FORMAT\n",
     true,
     7,
     "<fmt>",
     {"Output format (fmt should be one of", "json/python/simple. Default is 'simple'"}},
    {'o',
     "owner",
     true,
     OnOwner,
     "Failed to parse owner UUID %s\n",
     false,
     2,
     "<uuid>",
     {"Entry owner"}},
    {'u',
     "uuid",
     true,
     OnUuid,
     "Failed to parse entry UUID %s\n",
     false,
     3,
     "<uuid>",
     {"Entry uuid"}},
    {'t',
     "type",
     true,
     OnType,
     "Unrecognized type value %s\n",
     false,
     4,
     "<int>|<name>",
     {"Entry type"}},
    {'r',
     "rev",
     true,
     OnRevision,
     "Failed to parse revision %s\n",
     false,
     5,
     "<int>",
     {"Entry revision (-1 for latest)"}},
    {'i',
     "timeout",
     true,
     OnTimeout,
     "Failed to parse wait timeout %s\n",
     false,
     6,
     "<int>",
     {"Max time for wait (0 for infinite wait)"}},
    {'v',
     "verbose",
     true,
     OnVerbosity,
     "Invalid verbosity: %s\n",
     false,
     11,
     "<int>",
     {"Verbosity level"}},
    {'h', "help", false, OnHelp, nullptr, false, 13, nullptr, {"Print this help text"}},
    {'m',
     "mangle",
     false,
     OnMangle,
     nullptr,
     false,
     12,
     nullptr,
     {"Mangle / obfuscate human readable strings"}},
    {'d',
     "dumpfile",
     true,
     OnDumpFile,
     nullptr,
     false,
     8,
     "<file>",
     {"Filename to read the tarne dump from."}},
    {'p',
     "print-dump-hdr",
     false,
     OnPrintDumpHeader,
     nullptr,
     false,
     9,
     nullptr,
     {"When TARNE dump is read off the file, should", "the dump file header be printed as well"}},
    {'c',
     "compact-output",
     false,
     OnCompactOutput,
     nullptr,
     false,
     10,
     nullptr,
     {"Print entry in compact format"}},
    {'a', "all-clusters", false, OnAllClusters, nullptr, false, 0, nullptr, {}},
}};

// Each listed option has a place of its own, 1 to the number listed.
constexpr bool UsagePositionsAreDistinct() {
  std::array<int, kOptions.size() + 1> seen{};
  for (const OptionSpec &option : kOptions) {
    if (option.usagePosition > kOptions.size()) return false;
    if (option.usagePosition != 0 && seen[option.usagePosition]++ != 0) return false;
  }
  return true;
}
static_assert(UsagePositionsAreDistinct());

constexpr std::array<CommandLineOption, kOptions.size()> OptionsInUsageOrder() {
  std::array<CommandLineOption, kOptions.size()> ordered{};
  size_t next = 0;
  // Position 0 (not listed) comes after every listed position.
  for (size_t position = 1; position <= kOptions.size() + 1; ++position) {
    for (const OptionSpec &option : kOptions) {
      const size_t place = option.usagePosition != 0 ? option.usagePosition : kOptions.size() + 1;
      if (place != position) continue;
      ordered[next++] = {option.shortName, option.longName,
                         option.takesArgument ? option.usageArgument : nullptr,
                         option.usagePosition != 0, option.usage};
    }
  }
  return ordered;
}
constexpr std::array<CommandLineOption, kOptions.size()> kOptionsInUsageOrder =
    OptionsInUsageOrder();

// "   <head><blanks><first line>\n", the head padded to `width` but followed by one blank at
// least; later lines indented to the first line's column.
void AppendUsageEntry(std::string &text, const std::string &head, size_t width,
                      std::span<const char *const> lines) {
  text += "   ";
  text += head;
  text.append(head.size() < width ? width - head.size() : 1, ' ');
  text += lines[0];
  text += '\n';
  for (const char *line : lines.subspan(1)) {
    if (line == nullptr) break;
    text.append(3 + width, ' ');
    text += line;
    text += '\n';
  }
}

std::string UsageText(const char *programName) {
  constexpr size_t kCommandWidth = 18;
  constexpr size_t kOptionWidth = 22;
  std::string text = "usage: ";
  text += programName != nullptr ? programName : "(null)";
  text += " <cmd> <options>\ncommands:\n";
  for (const CommandInfo &command : Commands_Table()) {
    AppendUsageEntry(text, command.usageName, kCommandWidth, command.usage);
  }
  text += "options:\n";
  for (const CommandLineOption &option : kOptionsInUsageOrder) {
    if (!option.listed) break;  // the unlisted ones come last
    std::string head = {'-', option.shortName, '/', '-', '-'};
    head += option.longName;
    if (option.argument != nullptr) {
      head += '=';
      head += option.argument;
    }
    head += ':';
    AppendUsageEntry(text, head, kOptionWidth, option.usage);
  }
  text += '\n';
  return text;
}

const OptionSpec *FindOption(int shortName) {
  for (const OptionSpec &option : kOptions) {
    if (option.shortName == shortName) return &option;
  }
  return nullptr;
}

std::string ShortOptionString() {
  std::string text;
  for (const OptionSpec &option : kOptions) {
    text += option.shortName;
    if (option.takesArgument) text += ':';
  }
  return text;
}

std::array<option, kOptions.size() + 1> LongOptions() {
  std::array<option, kOptions.size() + 1> longOptions{};
  for (size_t i = 0; i < kOptions.size(); ++i) {
    longOptions[i] = {kOptions[i].longName,
                      kOptions[i].takesArgument ? required_argument : no_argument, nullptr,
                      kOptions[i].shortName};
  }
  return longOptions;  // ends with the all-zero element getopt_long expects
}

void ResetSettings(Settings *settings) {
  *settings = Settings{};
  settings->query.owner = kTarneUuidSelf;
  settings->query.flags = kQueryDefaultFlags;
}

CommandLineOutcome Refuse(const char *programName) {
  // What a refusal wrote to standard output ("INVALID FORMAT") comes before the usage text
  // where both streams meet.
  static_cast<void>(std::fflush(stdout));
  CommandLine_WriteUsage(stderr, programName);
  return {false, -1, nullptr};
}

// The command's own check, then the format rule.
CommandLineOutcome CheckCommand(const CommandInfo &command, ParseState &state,
                                const char *programName) {
  Settings &settings = *state.settings;
  bool formatChecked = !command.acceptsFormat;
  if (command.check != nullptr) {
    switch (command.check(settings)) {
      case CommandCheckResult::kPassed:
        break;
      case CommandCheckResult::kPassedWithoutFormatCheck:
        formatChecked = false;
        break;
      case CommandCheckResult::kRefused:
        return Refuse(programName);
    }
  }

  if (command.acceptsFormat) {
    if (!state.formatGiven) settings.formatNumber = kFormatSimple;
  } else if (formatChecked && state.formatGiven) {
    Message_Error("Parameter --format is only relevant for wait/find/async/readdump\n");
    return Refuse(programName);
  }
  return {true, 0, &command};
}

}  // namespace

void CommandLine_WriteUsage(FILE *stream, const char *programName) {
  const std::string text = UsageText(programName);
  static_cast<void>(std::fwrite(text.data(), 1, text.size(), stream));  // nothing to do if it fails
}

std::span<const CommandLineOption> CommandLine_Options() {
  return kOptionsInUsageOrder;
}

std::span<const char *const> CommandLine_FormatNames() {
  return kFormatNames;
}

CommandLineOutcome CommandLine_Parse(int argc, char **argv, Settings *settings) {
  ResetSettings(settings);
  const char *programName = argv[0];
  if (argc < 2) return Refuse(programName);

  ParseState state{settings};
  const std::string shortOptions = ShortOptionString();
  const auto longOptions = LongOptions();
  optind = 0;  // a full rescan, also when the parser runs more than once in a process
  for (;;) {
    const int letter = getopt_long(argc, argv, shortOptions.c_str(), longOptions.data(), nullptr);
    if (letter == -1) break;
    const OptionSpec *chosen = FindOption(letter);
    if (chosen == nullptr) return Refuse(programName);  // getopt_long has said why
    switch (chosen->handler(optarg, state)) {
      case Verdict::kAccepted:
        continue;
      case Verdict::kHelp:
        CommandLine_WriteUsage(stdout, programName);
        return {false, 0, nullptr};
      case Verdict::kRefused:
        static_cast<void>(
            std::fprintf(chosen->refusalOnStdout ? stdout : stderr, chosen->refusal, optarg));
        return Refuse(programName);
    }
  }

  if ((settings->query.flags & TARNE_QUERY_ALL_CLUSTERS) != 0 &&
      !TarneUuid_IsNull(settings->query.cluster)) {
    Message_Error("Invalid Arguments: only one of -a and -l arguments can be specified\n");
    return Refuse(programName);
  }
  if (optind != argc - 1) {
    Message_Error("Failed to parse arguments (optind=%u, argc=%u)\n", static_cast<unsigned>(optind),
                  static_cast<unsigned>(argc));
    return Refuse(programName);
  }
  const char *word = argv[optind];
  const CommandInfo *command = Commands_FindByWord(word);
  if (command == nullptr) {
    Message_Error("Unrecognized command: %s\n", word);
    return Refuse(programName);
  }
  settings->channelOnStderr = command->channelOnStderr;
  return CheckCommand(*command, state, programName);
}
