#include "tables/entry_types.h"

#include <cstring>
#include <string_view>

constexpr const char *const entryTypeNames[kEntryTypeCount + 1] = {
    nullptr,
    "SUB_CLUSTER",
    "CLUSTER",
    "NODE",
    "DISK",
    "SUBNET",
    "NET_INTERFACE",
    "HEALTH_STATUS",
    "TARNE_MASTER",
    "TARNE_BACKUP_MASTER",
    "TIME_REFERENCE",
    "NOLT_NAME",
    "GARO_OBJECT",
    "HUX_OBJECT",
    "SUB_CLUSTER_MEMBERSHIP",
    "DISK_USAGE",
    "DISK_STATUS",
    "OBJECT_STATUS",
    "SYMBOL",
    "SIBBENCH",
    "HUX_NAME",
    "POLICY",
    "HA_METADATA",
    "CONFIG_STATUS",
    "NODE_DECOM_STATE",
    "NODE_DECOM_FAILED",
    "ACCESS_GENERATION",
    "NODE_USAGE",
    "HUX_STALE_OWNER",
    "HOSTNAME",
    "DISK_INCOMING",
    "HUX_OWNER_CANDIDATE",
    "NODE_FAULT_DOMAIN",
    "HUX_OBJECT_DELETED",
    "DISK_DECOM_STATE",
    "DISCARDED_COMPONENTS",
    "PREFERRED_FAULT_DOMAIN",
    "OLVA_ISCSI_TARGET_CONFIG",
    "OLVA_ISCSI_TARGET_NET_IF_ADDRESS",
    "HUX_PROXY_OBJECT",
    "DP_CONSISTENCY_GROUP",
    "DISK_OUTGOING",
    "DEATH_ON_ARRIVAL",
    "TEST_SYMBOL",
    "DREL",
    "WITNESS_DECIDING",
    "NODE_FITNESS",
    "LOCAL_SYMBOL",
    "DREL_DECOMMISSIONED",
    "FS_CONFIG_NOTIFY",
    "FS_HOST_HEALTH",
    "FS_OWNER_HOST",
    "FLEX_DISK_OUTGOING",
    "WHAT_IF_PROGRESS",
    "FS_REFERRAL_NOTIFY",
    "SLACK_SPACE_RESYNC_BYTES",
    "OBJECT_FORMAT_CHANGE",
    "OBJECT_FORMAT_CHANGE_STATUS",
    "OLVA_FORMAT_VERSION",
    "FAILED_DELTA_DECOM",
    "KUPO_STATUS",
    "FENN_TRANSIENT_Q_LOCK",
    "OLVA_HOST_CAPACITY",
    "OLVA_CLUSTER_CAPACITY",
    "FENN_HOST_STATS",
    "FENN_CAP_RESRV_SHARED_LOCK",
    "FENN_CAP_RESRV_GLOBAL_LOCK",
    "TARNE_GARBAGE_COLLECTION_TTL",
    "TARNE_BALLOT",
    "TARNE_ACCEPT",
    "DISK_CAPACITY_TIER",
    "DISK_PERF_TIER",
    "DISK_CAPACITY_TIER_STATUS",
    "DISK_PERF_TIER_STATUS",
    "TARNE_IO_DIAG_OBJ",
    "TARNE_HOST_ENCR_STATE",
    "TARNE_CLUSTER_ENCR_STATE",
    "OBJECT_STATS",
    "WELM_GSC_DISK_RATE",
    "HOST_CAPACITY_SINGLE_TIER",
    "CLUSTER_CAPACITY_SINGLE_TIER",
    "ENCR_DEK",
    "DATASTORE_CAPABILITY",
    "WELM_PAUSED",
};

static_assert(std::string_view(entryTypeNames[kEntryTypeSubClusterMembership]) ==
              "SUB_CLUSTER_MEMBERSHIP");
static_assert(std::string_view(entryTypeNames[kEntryTypeSymbol]) == "SYMBOL");
static_assert(std::string_view(entryTypeNames[kEntryTypeLocalSymbol]) == "LOCAL_SYMBOL");
static_assert(std::string_view(entryTypeNames[kEntryTypeCount]) != "");

namespace {
constexpr uint8_t kHealthyBit = 0x02;
}  // namespace

const char *EntryType_Name(uint8_t typeByte) {
  const uint8_t type = typeByte & 0x7f;
  if (type == kEntryTypeSymbol) return "LOCK/SYMBOL";
  if (type >= 1 && type <= kEntryTypeCount) return entryTypeNames[type];
  return "UNKNOWN ENTRY TYPE";
}

std::optional<uint8_t> EntryType_FromName(const char *text) {
  for (int type = 1; type <= kEntryTypeCount; ++type) {
    if (std::strcmp(entryTypeNames[type], text) == 0) return static_cast<uint8_t>(type);
  }
  return std::nullopt;
}

const char *Health_Name(uint8_t flag) {
  return (flag & kHealthyBit) != 0 ? "Healthy" : "Unhealthy";
}
