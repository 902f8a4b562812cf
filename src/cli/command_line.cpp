#include "cli/command_line.h"

#include <getopt.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "record/uuid.h"
#include "tables/entry_types.h"
#include "update/delete_confirm.h"

namespace {

constexpr const char *kUsageText =
    "usage: %s <cmd> <options>\n"
    "commands:\n"
    "   add               Adds an entry from stdin. On successful exit the\n"
    "                     entry is guaranteed to be in the directory\n"
    "   delete            Deletes matching entries. On successful exit the \n"
    "                     entry will be deleted from the directory\n"
    "   dump              Dumps first matching entry to stdout\n"
    "   find              Finds matching entries\n"
    "   remoteFd          Remote Find matching entries\n"
    "   wait              Waits for a matching entry to appear\n"
    "   waitdump          Waits for a matching entry to appear and dumps \n"
    "                     the entry to stdout\n"
    "   waitformembership Waits for a membership entry to appear\n"
    "   whoami            Get the node's uuid as used in the sub-cluster\n"
    "   amimember         Check if I am the member in the current sub-cluster\n"
    "   readdump          Reads a tarne directory dump from a file \n"
    "                     (specified with -d/--dumpfile) and \n"
    "                     o/p to stdout in a given format specified \n"
    "                     using -f option. \n"
    "options:\n"
    "   -l/--cluster=<uuid>:  Cluster uuid\n"
    "   -o/--owner=<uuid>:    Entry owner\n"
    "   -u/--uuid=<uuid>:     Entry uuid\n"
    "   -t/--type=<int>|<name>: Entry type\n"
    "   -r/--rev=<int>:       Entry revision (-1 for latest)\n"
    "   -i/--timeout=<int>:   Max time for wait (0 for infinite wait)\n"
    "   -f/--format=<fmt>:    Output format (fmt should be one of\n"
    "                         json/python/simple. Default is 'simple'\n"
    "   -d/--dumpfile=<file>: Filename to read the tarne dump from.\n"
    "   -p/--print-dump-hdr:  When TARNE dump is read off the file, should\n"
    "                         the dump file header be printed as well\n"
    "   -c/--compact-output:  Print entry in compact format\n"
    "   -v/--verbose=<int>:   Verbosity level\n"
    "   -m/--mangle:          Mangle / obfuscate human readable strings\n"
    "   -h/--help:            Print this help text\n"
    "\n";

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
  const char *refusal;   // printed with the argument; nullptr when nothing can be refused
  bool refusalOnStdout;  // "INVALID FORMAT" is the one refusal written to standard output
};

// strtoul-style conversion: blanks, sign, stop at the first non-digit; only overflow fails.
bool ConvertUnsigned(const char *text, unsigned long *value) {
  errno = 0;
  *value = std::strtoul(text, nullptr, 10);
  return errno == 0;
}

void ClearFlag(TarneQuery &query, uint8_t flag) {
  query.flags &= static_cast<uint8_t>(~flag);
}

Verdict OnCluster(const char *argument, ParseState &state) {
  return ParseUUID(argument, &state.settings->query.cluster) ? Verdict::kAccepted
                                                             : Verdict::kRefused;
}

Verdict OnOwner(const char *argument, ParseState &state) {
  ClearFlag(state.settings->query, TARNE_QUERY_ANY_OWNER);
  return ParseUUID(argument, &state.settings->query.owner) ? Verdict::kAccepted : Verdict::kRefused;
}

Verdict OnUuid(const char *argument, ParseState &state) {
  ClearFlag(state.settings->query, TARNE_QUERY_ANY_UUID);
  return ParseUUID(argument, &state.settings->query.uuid) ? Verdict::kAccepted : Verdict::kRefused;
}

Verdict OnType(const char *argument, ParseState &state) {
  TarneQuery &query = state.settings->query;
  ClearFlag(query, TARNE_QUERY_ANY_TYPE);
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
  ClearFlag(query, TARNE_QUERY_ANY_REVISION);
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

Verdict OnFormat(const char *argument, ParseState &state) {
  static constexpr std::array<const char *, 3> kFormatNames = {"simple", "json", "python"};
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

// The one table of options; getopt_long's arrays are built from it.
constexpr std::array<OptionSpec, 14> kOptions = {{
    {'l', "cluster", true, OnCluster, "Failed to parse cluster UUID %s\n", false},
    {'f', "format", true, OnFormat, "INVALID FORMAT\n", true},
    {'o', "owner", true, OnOwner, "Failed to parse owner UUID %s\n", false},
    {'u', "uuid", true, OnUuid, "Failed to parse entry UUID %s\n", false},
    {'t', "type", true, OnType, "Unrecognized type value %s\n", false},
    {'r', "rev", true, OnRevision, "Failed to parse revision %s\n", false},
    {'i', "timeout", true, OnTimeout, "Failed to parse wait timeout %s\n", false},
    {'v', "verbose", true, OnVerbosity, "Invalid verbosity: %s\n", false},
    {'h', "help", false, OnHelp, nullptr, false},
    {'m', "mangle", false, OnMangle, nullptr, false},
    {'d', "dumpfile", true, OnDumpFile, nullptr, false},
    {'p', "print-dump-hdr", false, OnPrintDumpHeader, nullptr, false},
    {'c', "compact-output", false, OnCompactOutput, nullptr, false},
    {'a', "all-clusters", false, OnAllClusters, nullptr, false},
}};

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
  settings->query.owner = kUuidSelf;
  settings->query.flags = kQueryDefaultFlags;
}

CommandLineOutcome Refuse(const char *programName) {
  CommandLine_WriteUsage(stderr, programName);
  return {false, -1};
}

// The per-command checks that follow the options; nullptr message means none failed.
CommandLineOutcome CheckCommand(const CommandInfo &command, ParseState &state,
                                const char *programName) {
  Settings &settings = *state.settings;
  const uint8_t flags = settings.query.flags;
  bool formatChecked = command.formatRule != FormatRule::kDefaultsToSimple;

  switch (command.precondition) {
    case Precondition::kUuidAndType:
      if ((flags & (TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_TYPE)) != 0) {
        std::fputs("Type and UUID must be provided\n", stderr);
        return Refuse(programName);
      }
      // The owner is -o's UUID, or the self marker it already holds.
      ClearFlag(settings.query, TARNE_QUERY_ANY_OWNER);
      break;
    case Precondition::kConfirmAllOrNot:
      if ((flags & TARNE_QUERY_ANY_UUID) != 0 && (flags & TARNE_QUERY_ANY_TYPE) != 0) {
        if (Delete_ConfirmAll(stdin, stderr) != DeleteConfirmation::kConfirmed) {
          return Refuse(programName);
        }
        formatChecked = false;  // the confirmation takes the place of the format check
      }
      break;
    case Precondition::kType:
      if ((flags & TARNE_QUERY_ANY_TYPE) != 0) {
        std::fputs("Type must be provided\n", stderr);
        return Refuse(programName);
      }
      break;
    case Precondition::kDumpFile:
      if (settings.dumpFile == nullptr) {
        std::fputs("readdump requires dumpfile (specify with -d/--dumpfile)\n", stderr);
        return Refuse(programName);
      }
      break;
    case Precondition::kNone:
      break;
  }

  if (command.formatRule == FormatRule::kDefaultsToSimple) {
    if (!state.formatGiven) settings.formatNumber = kFormatSimple;
  } else if (formatChecked && state.formatGiven) {
    std::fputs("Parameter --format is only relevant for wait/find/async/readdump\n", stderr);
    return Refuse(programName);
  }
  return {true, 0};
}

}  // namespace

void CommandLine_WriteUsage(FILE *stream, const char *programName) {
  std::fprintf(stream, kUsageText, programName);
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
        return {false, 0};
      case Verdict::kRefused:
        std::fprintf(chosen->refusalOnStdout ? stdout : stderr, chosen->refusal, optarg);
        return Refuse(programName);
    }
  }

  if ((settings->query.flags & TARNE_QUERY_ALL_CLUSTERS) != 0 &&
      !Uuid_IsNull(settings->query.cluster)) {
    std::fputs("Invalid Arguments: only one of -a and -l arguments can be specified\n", stderr);
    return Refuse(programName);
  }
  if (optind != argc - 1) {
    std::fprintf(stderr, "Failed to parse arguments (optind=%u, argc=%u)\n",
                 static_cast<unsigned>(optind), static_cast<unsigned>(argc));
    return Refuse(programName);
  }
  const char *word = argv[optind];
  const CommandInfo *command = Commands_FindByWord(word);
  if (command == nullptr) {
    std::fprintf(stderr, "Unrecognized command: %s\n", word);
    return Refuse(programName);
  }
  settings->command = command->id;
  return CheckCommand(*command, state, programName);
}
