#include "cli/main_line.h"

#include <cstdio>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "client/tarne_client.h"
#include "output/formats.h"
#include "output/message.h"
#include "record/uuid.h"

namespace {

int32_t libraryHandle = -1;

bool ClusterRequired(const CommandInfo &command, uint32_t serverClusters, const Settings &s) {
  return command.needsClusterWhenSeveral && serverClusters > 1 && TarneUuid_IsNull(s.query.cluster);
}

int32_t StartAndDispatch(const CommandInfo &command, const Settings &settings) {
  if (command.needsLibrary) {
    PEK_ReturnStatus status = TARNE_Initialize(1, 0, &libraryHandle);
    if (status != 0) {
      Message_Error("Failed to initialize TARNE: %s\n", PEK_ReturnStatusToString(status));
      return -1;
    }
    uint32_t serverClusters = 0;
    status = TARNE_GetNumServerContexts(&serverClusters);
    if (status != 0) {
      Message_StepFailure("Failed to get num server contexts from TARNE library (%s)\n",
                          PEK_ReturnStatusToString(status));
      return -1;
    }
    if (ClusterRequired(command, serverClusters, settings)) {
      Message_Error(
          "Missing -l <subClusterUuid> argument. Explicit subClusterUuid is required when "
          "dealing with multiple server clusters.\n\n");
      return -1;
    }
  }

  OutputFormats_Fill();
  const int32_t result = command.body(settings);

  if (command.needsLibrary) {
    TARNE_Deinitialize(libraryHandle);
    libraryHandle = -1;
  }
  return result;
}

}  // namespace

int RunTool(int argc, char **argv) {
  Settings &settings = MutableSettings();
  const CommandLineOutcome outcome = CommandLine_Parse(argc, argv, &settings);
  if (!outcome.run) return outcome.result & 0xff;

  const int32_t result = StartAndDispatch(*outcome.command, CurrentSettings());
  static_cast<void>(std::fflush(stdout));
  return result & 0xff;
}
