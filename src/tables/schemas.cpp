// The schema directory and the type-to-schema table: constant data handed to the client
// library's content converter, laid out byte for byte as the converter reads it.
#include "tables/schemas.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "client/tarne_client_values.h"

namespace {

constexpr TarneFieldDescriptor Field(TarneFieldKind kind, uint64_t offset, const char *name) {
  return TarneFieldDescriptor{kind, offset, 0, name, {0, 0, 0, 0}};
}

// Every field table ends in a descriptor whose 64 bytes are all zero.
constexpr TarneFieldDescriptor kEndOfFields{};

// One field per line, in offset order.
// clang-format off
constexpr TarneFieldDescriptor kTarneHealthStatusEntryFields[] = {
  Field(TARNE_KIND_INT32, 0, "healthFlags"),
  Field(TARNE_KIND_INT64, 8, "timestamp"),
  Field(TARNE_KIND_INT32, 16, "healthReason"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneTimeReferenceEntryFields[] = {
  Field(TARNE_KIND_INT64, 0, "timeReference"),
  Field(TARNE_KIND_INT64, 8, "wallClock"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHuxObjectDeletedEntryFields[] = {
  Field(TARNE_KIND_INT64, 0, "timestampSec"),
  Field(TARNE_KIND_LIST, 8, "componentList"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiscardedComponentsEntryFields[] = {
  Field(TARNE_KIND_INT64, 0, "timestampSec"),
  Field(TARNE_KIND_LIST, 8, "componentList"),
  Field(TARNE_KIND_LIST, 24, "diskList"),
  Field(TARNE_KIND_INT32, 40, "flags"),
  Field(TARNE_KIND_UUID, 48, "deletedUuid"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneNodeEntryFields[] = {
  Field(TARNE_KIND_INT32, 0, "majorVersionNum"),
  Field(TARNE_KIND_INT32, 4, "minorVersionNum"),
  Field(TARNE_KIND_INT32, 8, "flags"),
  Field(TARNE_KIND_INT32, 12, "requiredOlvaMajorVersion"),
  Field(TARNE_KIND_INT32, 16, "requiredOlvaMinorVersion"),
  Field(TARNE_KIND_INT32, 20, "numHuxOwnerServers"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDecomStateEntryFields[] = {
  Field(TARNE_KIND_INT32, 0, "decomState"),
  Field(TARNE_KIND_INT32, 4, "decomJobType"),
  Field(TARNE_KIND_UUID, 8, "decomJobUuid"),
  Field(TARNE_KIND_INT32, 24, "progress"),
  Field(TARNE_KIND_LIST, 32, "affObjList"),
  Field(TARNE_KIND_INT32, 48, "errorCode"),
  Field(TARNE_KIND_INT32, 52, "updateNum"),
  Field(TARNE_KIND_INT32, 56, "majorVersion"),
  Field(TARNE_KIND_TEXT, 64, "auditReport"),
  Field(TARNE_KIND_INT32, 72, "numObjectsEvacuated"),
  Field(TARNE_KIND_INT32, 76, "totalObjectstoEvacuate"),
  Field(TARNE_KIND_INT64, 80, "bytesToSyncRemaining"),
  Field(TARNE_KIND_INT64, 88, "totalBytesToSync"),
  Field(TARNE_KIND_FLAG, 96, "ensureDurability"),
  Field(TARNE_KIND_INT64, 104, "bytesMovedHft0"),
  Field(TARNE_KIND_INT64, 112, "bytesMovedCompliance"),
  Field(TARNE_KIND_INT64, 120, "bytesSyncedRepair"),
  Field(TARNE_KIND_INT64, 128, "bytesSyncedRebalance"),
  Field(TARNE_KIND_INT64, 136, "bytesSyncedCompliance"),
  Field(TARNE_KIND_INT64, 144, "bytesSyncedChange"),
  Field(TARNE_KIND_INT64, 152, "bytesSyncedMove"),
  Field(TARNE_KIND_INT64, 160, "bytesSyncedConcat"),
  Field(TARNE_KIND_INT64, 168, "bytesSyncedStale"),
  Field(TARNE_KIND_INT64, 176, "bytesSyncedOther"),
  Field(TARNE_KIND_INT64, 184, "minResyncTputMBps"),
  Field(TARNE_KIND_INT64, 192, "avgResyncTputMBps"),
  Field(TARNE_KIND_INT64, 200, "decomTimeSeconds"),
  Field(TARNE_KIND_INT32, 208, "avgUsagePctPerDisk"),
  Field(TARNE_KIND_INT32, 212, "maxUsagePctPerDisk"),
  Field(TARNE_KIND_INT32, 216, "minUsagePctPerDisk"),
  Field(TARNE_KIND_INT32, 220, "failureReason"),
  Field(TARNE_KIND_LIST, 224, "decomEntityUuids"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDecomFailedEntryFields[] = {
  Field(TARNE_KIND_INT32, 0, "failureReason"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskEntryFields[] = {
  Field(TARNE_KIND_INT64, 0, "capacity"),
  Field(TARNE_KIND_INT64, 8, "iops"),
  Field(TARNE_KIND_INT64_ALT, 16, "iopsWritePenalty"),
  Field(TARNE_KIND_INT64, 24, "throughput"),
  Field(TARNE_KIND_INT64_ALT, 32, "throughputWritePenalty"),
  Field(TARNE_KIND_INT64, 40, "latency"),
  Field(TARNE_KIND_INT64, 48, "latencyDeviation"),
  Field(TARNE_KIND_INT32, 56, "reliabilityBase"),
  Field(TARNE_KIND_INT32, 60, "reliabilityExponent"),
  Field(TARNE_KIND_INT64, 64, "mtbf"),
  Field(TARNE_KIND_INT64, 72, "l2CacheCapacity"),
  Field(TARNE_KIND_INT64, 80, "l1CacheCapacity"),
  Field(TARNE_KIND_FLAG, 88, "isSsd"),
  Field(TARNE_KIND_UUID, 96, "ssdUuid"),
  Field(TARNE_KIND_STRING, 112, "volumeName"),
  Field(TARNE_KIND_INT32, 120, "formatVersion"),
  Field(TARNE_KIND_STRING, 128, "devName"),
  Field(TARNE_KIND_INT64, 136, "ssdCapacity"),
  Field(TARNE_KIND_INT64, 144, "sibMuxGroup"),
  Field(TARNE_KIND_FLAG, 152, "isAllFlash"),
  Field(TARNE_KIND_INT64, 160, "maxComponents"),
  Field(TARNE_KIND_INT64, 168, "logicalCapacity"),
  Field(TARNE_KIND_INT64, 176, "physDiskCapacity"),
  Field(TARNE_KIND_INT32, 184, "dedupScope"),
  Field(TARNE_KIND_INT64, 192, "dedupMetadata"),
  Field(TARNE_KIND_FLAG, 200, "isEncrypted"),
  Field(TARNE_KIND_FLAG, 201, "isMetaRedundancy"),
  Field(TARNE_KIND_INT32, 204, "dedupAddrRatio"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskUsageFields[] = {
  Field(TARNE_KIND_INT64, 0, "capacityReserved"),
  Field(TARNE_KIND_INT64, 8, "iopsReserved"),
  Field(TARNE_KIND_INT64, 16, "throughPutReserved"),
  Field(TARNE_KIND_INT64, 24, "l2CacheReserved"),
  Field(TARNE_KIND_INT64, 32, "l1CacheReserved"),
  Field(TARNE_KIND_INT64, 40, "addressSpaceSize"),
  Field(TARNE_KIND_INT64, 48, "nsAddressSpaceSize"),
  Field(TARNE_KIND_INT32, 56, "numTotalComponents"),
  Field(TARNE_KIND_INT64, 64, "physCapacityUsed"),
  Field(TARNE_KIND_INT64, 72, "logicalCapacityReserved"),
  Field(TARNE_KIND_INT64, 80, "physDiskCapacityReserved"),
  Field(TARNE_KIND_INT64, 88, "logicalCapacityRequested"),
  Field(TARNE_KIND_INT64, 96, "dgLogicalCapacityRequested"),
  Field(TARNE_KIND_INT64, 104, "physDiskCapacityRequested"),
  Field(TARNE_KIND_INT64, 112, "diskLogicalFSOverhead"),
  Field(TARNE_KIND_INT64, 120, "dgLogicalFSOverhead"),
  Field(TARNE_KIND_INT64, 128, "dgPhysicalFSOverhead"),
  Field(TARNE_KIND_INT64, 136, "diskBlkAttrOverhead"),
  Field(TARNE_KIND_INT64, 144, "dgBlkAttrOverhead"),
  Field(TARNE_KIND_INT64, 152, "dgTransientCapacityUsed"),
  Field(TARNE_KIND_INT64, 160, "diskTransientCapacityUsed"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskStatusFields[] = {
  Field(TARNE_KIND_INT64, 0, "capacityUsed"),
  Field(TARNE_KIND_INT64, 8, "l2CacheUsed"),
  Field(TARNE_KIND_INT64, 16, "l1CacheUsed"),
  Field(TARNE_KIND_INT32, 24, "writeConsolidationRatio"),
  Field(TARNE_KIND_INT64, 32, "avgReadsPerSecond"),
  Field(TARNE_KIND_INT64, 40, "avgWritesPerSecond"),
  Field(TARNE_KIND_INT64, 48, "avgThroughPutUsed"),
  Field(TARNE_KIND_INT64, 56, "avgReadServiceTime"),
  Field(TARNE_KIND_INT64, 64, "avgReadQueueTime"),
  Field(TARNE_KIND_INT64, 72, "avgWriteServiceTime"),
  Field(TARNE_KIND_INT64, 80, "avgWriteQueueTime"),
  Field(TARNE_KIND_INT64, 88, "avgDiskReadsPerSec"),
  Field(TARNE_KIND_INT64, 96, "avgDiskWritesPerSec"),
  Field(TARNE_KIND_INT64, 104, "avgSSDReadsPerSec"),
  Field(TARNE_KIND_INT64, 112, "avgSSDWritesPerSec"),
  Field(TARNE_KIND_INT64_ALT, 120, "estTimeToFailure"),
  Field(TARNE_KIND_INT32, 128, "numDataComponents"),
  Field(TARNE_KIND_INT64, 136, "logicalCapacityUsed"),
  Field(TARNE_KIND_INT64, 144, "physDiskCapacityUsed"),
  Field(TARNE_KIND_INT64, 152, "pendingWrite"),
  Field(TARNE_KIND_INT64, 160, "pendingDelete"),
  Field(TARNE_KIND_INT64, 168, "dgPendingWrite"),
  Field(TARNE_KIND_INT64, 176, "dgPendingDelete"),
  Field(TARNE_KIND_INT64, 184, "dgLogicalCapacityUsed"),
  Field(TARNE_KIND_INT64, 192, "dgAvgDataDestageBytesSec"),
  Field(TARNE_KIND_INT64, 200, "dgAvgZeroDestageBytesSec"),
  Field(TARNE_KIND_INT64, 208, "dgAvgResyncReadBytesPerSec"),
  Field(TARNE_KIND_INT64, 216, "dgAvgTotalReadBytesPerSec"),
  Field(TARNE_KIND_INT64, 224, "dgAvgRecWriteBytesPerSec"),
  Field(TARNE_KIND_INT64, 232, "dgAvgTotalWriteBytesPerSec"),
  Field(TARNE_KIND_INT64, 240, "writeBufferSize"),
  Field(TARNE_KIND_INT64, 248, "writeBufferUsage"),
  Field(TARNE_KIND_INT64, 256, "pendingUnmap"),
  Field(TARNE_KIND_INT32, 264, "numPlannedDeltaComponents"),
  Field(TARNE_KIND_INT32, 268, "numUnplannedDeltaComponents"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskIncomingFields[] = {
  Field(TARNE_KIND_LIST, 0, "components"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneGAROObjectEntryFields[] = {
  Field(TARNE_KIND_UUID, 0, "diskUuid"),
  Field(TARNE_KIND_UUID, 16, "compositeUuid"),
  Field(TARNE_KIND_INT64, 32, "capacityUsed"),
  Field(TARNE_KIND_INT64, 40, "physCapacityUsed"),
  Field(TARNE_KIND_INT32, 48, "dedupUniquenessMetric"),
  Field(TARNE_KIND_INT32, 52, "huxServerIndex"),
  Field(TARNE_KIND_INT64, 56, "physCapacityUsedActual"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneIPv4NetInterfaceConfigFields[] = {
  Field(TARNE_KIND_IPV4, 0, "addr"),
  Field(TARNE_KIND_IPV4, 4, "subnetMask"),
  Field(TARNE_KIND_IPV4, 8, "agentGroup"),
  Field(TARNE_KIND_IPV4, 12, "masterGroup"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneIPv6NetInterfaceConfigFields[] = {
  Field(TARNE_KIND_IPV6, 0, "addr"),
  Field(TARNE_KIND_IPV6, 16, "subnetMask"),
  Field(TARNE_KIND_IPV6, 32, "agentGroup"),
  Field(TARNE_KIND_IPV6, 48, "masterGroup"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneIPv4SubnetConfigFields[] = {
  Field(TARNE_KIND_IPV4, 0, "base"),
  Field(TARNE_KIND_IPV4, 4, "mask"),
  Field(TARNE_KIND_IPV4, 8, "broadcast"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneIPv6SubnetConfigFields[] = {
  Field(TARNE_KIND_IPV6, 0, "base"),
  Field(TARNE_KIND_IPV6, 16, "mask"),
  Field(TARNE_KIND_IPV6, 32, "broadcast"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneNoltNameFields[] = {
  Field(TARNE_KIND_TEXT, 0, "ufn"),
  Field(TARNE_KIND_UUID, 8, "uuid"),
  Field(TARNE_KIND_INT32, 24, "flags"),
  Field(TARNE_KIND_UUID, 32, "cid"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHuxNameFields[] = {
  Field(TARNE_KIND_TEXT, 0, "ufn"),
  Field(TARNE_KIND_UUID, 8, "cid"),
  Field(TARNE_KIND_INT32, 24, "fsType"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHuxOwnerCandidateFields[] = {
  Field(TARNE_KIND_UUID, 0, "nodeUuid"),
  Field(TARNE_KIND_INT32, 16, "flags"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHuxOwnerCandidateV1Fields[] = {
  Field(TARNE_KIND_UUID, 0, "nodeUuid"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHAMetadataFields[] = {
  Field(TARNE_KIND_STRING, 0, "haMetadata"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneNodeUsageFields[] = {
  Field(TARNE_KIND_INT32, 0, "maxComponents"),
  Field(TARNE_KIND_INT32, 4, "dataComponents"),
  Field(TARNE_KIND_INT32, 8, "componentsReserved"),
  Field(TARNE_KIND_INT32, 12, "leafNum"),
  Field(TARNE_KIND_INT32, 16, "leafLimit"),
  Field(TARNE_KIND_INT32, 20, "numOwnerServers"),
  Field(TARNE_KIND_INT32, 24, "numRemoteOwners"),
  Field(TARNE_KIND_INT32, 28, "numTotalOwners"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneNodeFaultDomainFields[] = {
  Field(TARNE_KIND_UUID, 0, "faultDomainId"),
  Field(TARNE_KIND_TEXT, 16, "faultDomainName"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHostnameEntryFields[] = {
  Field(TARNE_KIND_TEXT, 0, "hostname"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarnePreferredFaultDomainFields[] = {
  Field(TARNE_KIND_UUID, 0, "faultDomainId"),
  Field(TARNE_KIND_TEXT, 16, "faultDomainName"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneOlvaIscsiTargetConfigFields[] = {
  Field(TARNE_KIND_INT32, 0, "protocolVersion"),
  Field(TARNE_KIND_UUID, 8, "configNamespaceUuid"),
  Field(TARNE_KIND_INT64, 24, "configGenNumber"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneOlvaIscsiInterfaceMapFields[] = {
  Field(TARNE_KIND_STRING, 0, "interfaceName"),
  Field(TARNE_KIND_IPV4, 8, "v4"),
  Field(TARNE_KIND_IPV6, 12, "v6"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneNodeDOAEntryFields[] = {
  Field(TARNE_KIND_INT32, 0, "scope"),
  Field(TARNE_KIND_LIST, 8, "objectList"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneTestSymbolFields[] = {
  Field(TARNE_KIND_TRAILING_STRING, 0, "value"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDrelEntryFields[] = {
  Field(TARNE_KIND_INT64, 0, "flags"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneNodeFitnessFields[] = {
  Field(TARNE_KIND_INT32, 0, "fitness"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDrelDecommissionedEntryFields[] = {
  Field(TARNE_KIND_INT64, 0, "unused"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFSConfigNotifyFields[] = {
  Field(TARNE_KIND_INT64, 0, "genId"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFSReferralNotifyFields[] = {
  Field(TARNE_KIND_INT64, 0, "genId"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFSHostHealthFields[] = {
  Field(TARNE_KIND_INT64, 0, "genId"),
  Field(TARNE_KIND_INT32, 8, "version"),
  Field(TARNE_KIND_INT32, 12, "status"),
  Field(TARNE_KIND_INT64, 16, "caps"),
  Field(TARNE_KIND_ADDRESS_LIST, 24, "ipList"),
  Field(TARNE_KIND_STRING, 40, "hostVersion"),
  Field(TARNE_KIND_STRING, 48, "kupoVersion"),
  Field(TARNE_KIND_STRING, 56, "diskFormatVersion"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFSOwnerHostFields[] = {
  Field(TARNE_KIND_UUID, 0, "hostUUID"),
  Field(TARNE_KIND_INT32, 16, "status"),
  Field(TARNE_KIND_STRING, 24, "message"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneWhatIfProgressFields[] = {
  Field(TARNE_KIND_INT32, 0, "errorCode"),
  Field(TARNE_KIND_FLAG, 4, "resourceAdded"),
  Field(TARNE_KIND_INT32, 8, "progress"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneObjectFormatChangeFields[] = {
  Field(TARNE_KIND_INT64, 0, "startTime"),
  Field(TARNE_KIND_INT32, 8, "reason"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneObjectFormatChangeStatusFields[] = {
  Field(TARNE_KIND_INT32, 0, "nObjToProcess"),
  Field(TARNE_KIND_INT32, 4, "nObjFailed"),
  Field(TARNE_KIND_INT32, 8, "errorCode"),
  Field(TARNE_KIND_TEXT, 16, "errReport"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneOlvaFormatVersionFields[] = {
  Field(TARNE_KIND_INT32, 0, "olvaFormatVersion"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFailedDeltaDecomFields[] = {
  Field(TARNE_KIND_LIST, 0, "failedObjs"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneKupoStatusEntryFields[] = {
  Field(TARNE_KIND_INT64, 0, "status"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHostCapacityFields[] = {
  Field(TARNE_KIND_INT64, 0, "totalRawCapacity"),
  Field(TARNE_KIND_INT64, 8, "usedRawCapacity"),
  Field(TARNE_KIND_INT64, 16, "totalLogicalCapacity"),
  Field(TARNE_KIND_INT64, 24, "usedLogicalCapacity"),
  Field(TARNE_KIND_INT64, 32, "dedupMetadataSize"),
  Field(TARNE_KIND_INT64, 40, "logicalFSOverhead"),
  Field(TARNE_KIND_INT64, 48, "blkAttrOverhead"),
  Field(TARNE_KIND_INT64, 56, "totalTransientSpace"),
  Field(TARNE_KIND_INT64, 64, "physicalTransientSpace"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneClusterCapacityFields[] = {
  Field(TARNE_KIND_INT64, 0, "totalRawCapacity"),
  Field(TARNE_KIND_INT64, 8, "usedRawCapacity"),
  Field(TARNE_KIND_INT64, 16, "totalLogicalCapacity"),
  Field(TARNE_KIND_INT64, 24, "usedLogicalCapacity"),
  Field(TARNE_KIND_INT64, 32, "dedupMetadataSize"),
  Field(TARNE_KIND_INT64, 40, "logicalFSOverhead"),
  Field(TARNE_KIND_INT64, 48, "blkAttrOverhead"),
  Field(TARNE_KIND_INT64, 56, "totalTransientSpace"),
  Field(TARNE_KIND_INT64, 64, "physicalTransientSpace"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFennHostStatsFields[] = {
  Field(TARNE_KIND_INT32, 0, "numLargeObjects"),
  Field(TARNE_KIND_INT32, 4, "numRaid5Objects"),
  Field(TARNE_KIND_INT32, 8, "numRaid5NumData4Objects"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFennCapResrvSharedLockFields[] = {
  Field(TARNE_KIND_INT64, 0, "updateTime"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFennCapResrvGlobalLockFields[] = {
  Field(TARNE_KIND_UUID, 0, "lockHolderUuid"),
  Field(TARNE_KIND_INT64, 16, "updateTime"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneGarbageCollectionTTLFields[] = {
  Field(TARNE_KIND_INT64, 0, "createTimestamp"),
  Field(TARNE_KIND_INT64, 8, "ttlNS"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneTransientQLockFields[] = {
  Field(TARNE_KIND_INT64, 0, "createTimestamp"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneBallotEntryFields[] = {
  Field(TARNE_KIND_INT64, 0, "proposalID"),
  Field(TARNE_KIND_INT32, 8, "listType"),
  Field(TARNE_KIND_INT64_ALT, 16, "createTimestamp"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneAcceptEntryFields[] = {
  Field(TARNE_KIND_INT64, 0, "proposalID"),
  Field(TARNE_KIND_INT32, 8, "listType"),
  Field(TARNE_KIND_INT64_ALT, 16, "createTimestamp"),
  Field(TARNE_KIND_INT64_ALT, 24, "timeTakenMS"),
  Field(TARNE_KIND_LIST, 32, "nodes"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskCapacityTierFields[] = {
  Field(TARNE_KIND_INT32, 0, "formatVersion"),
  Field(TARNE_KIND_INT64, 8, "capacity"),
  Field(TARNE_KIND_INT64, 16, "flags"),
  Field(TARNE_KIND_INT64, 24, "fsOverhead"),
  Field(TARNE_KIND_INT64, 32, "lfsOverheadPermille"),
  Field(TARNE_KIND_INT64, 40, "maxComponents"),
  Field(TARNE_KIND_INT64, 48, "sibMuxGroup"),
  Field(TARNE_KIND_STRING, 56, "devName"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskPerfTierFields[] = {
  Field(TARNE_KIND_INT32, 0, "formatVersion"),
  Field(TARNE_KIND_INT64, 8, "capacity"),
  Field(TARNE_KIND_INT64, 16, "flags"),
  Field(TARNE_KIND_INT64, 24, "fsOverhead"),
  Field(TARNE_KIND_INT64, 32, "maxComponents"),
  Field(TARNE_KIND_INT64, 40, "sibMuxGroup"),
  Field(TARNE_KIND_STRING, 48, "devName"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskCapacityTierStatusFields[] = {
  Field(TARNE_KIND_INT32, 0, "numComponents"),
  Field(TARNE_KIND_INT32, 4, "numDataComponents"),
  Field(TARNE_KIND_INT32, 8, "numNSComponents"),
  Field(TARNE_KIND_INT64, 16, "capacityUsed"),
  Field(TARNE_KIND_INT64, 24, "rawCapacityUsed"),
  Field(TARNE_KIND_INT64, 32, "metadataCapacityUsed"),
  Field(TARNE_KIND_INT64, 40, "overheadCapacityUsed"),
  Field(TARNE_KIND_INT64, 48, "logicalDataCapacityUsed"),
  Field(TARNE_KIND_INT64, 56, "physCapacityUsed"),
  Field(TARNE_KIND_INT64, 64, "capacityReserved"),
  Field(TARNE_KIND_INT64, 72, "unwrittenReservedCapacity"),
  Field(TARNE_KIND_INT64, 80, "transientCapacity"),
  Field(TARNE_KIND_INT64, 88, "addressSpaceSize"),
  Field(TARNE_KIND_INT64, 96, "nsAddressSpaceSize"),
  Field(TARNE_KIND_INT64, 104, "expectedFullProvisionedCapacity"),
  Field(TARNE_KIND_INT64, 112, "expectedFullProvisionedNSCapacity"),
  Field(TARNE_KIND_INT64, 120, "avgResyncReadBytesPerSec"),
  Field(TARNE_KIND_INT64, 128, "avgTotalReadBytesPerSec"),
  Field(TARNE_KIND_INT64, 136, "avgRecWriteBytesPerSec"),
  Field(TARNE_KIND_INT64, 144, "avgTotalWriteBytesPerSec"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskPerfTierStatusFields[] = {
  Field(TARNE_KIND_INT32, 0, "numComponents"),
  Field(TARNE_KIND_INT32, 4, "numDataComponents"),
  Field(TARNE_KIND_INT32, 8, "numNSComponents"),
  Field(TARNE_KIND_INT64, 16, "physCapacityUsed"),
  Field(TARNE_KIND_INT64, 24, "capacityReserved"),
  Field(TARNE_KIND_INT64, 32, "unwrittenReservedCapacity"),
  Field(TARNE_KIND_INT64, 40, "transientCapacity"),
  Field(TARNE_KIND_INT64, 48, "addressSpaceSize"),
  Field(TARNE_KIND_INT64, 56, "nsAddressSpaceSize"),
  Field(TARNE_KIND_INT64, 64, "expectedFullProvisionedCapacity"),
  Field(TARNE_KIND_INT64, 72, "expectedFullProvisionedNSCapacity"),
  Field(TARNE_KIND_INT64, 80, "avgResyncReadBytesPerSec"),
  Field(TARNE_KIND_INT64, 88, "avgTotalReadBytesPerSec"),
  Field(TARNE_KIND_INT64, 96, "avgRecWriteBytesPerSec"),
  Field(TARNE_KIND_INT64, 104, "avgTotalWriteBytesPerSec"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneIoDiagObjEntryFields[] = {
  Field(TARNE_KIND_INT64, 0, "endTimestamp"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHostEncrStateEntryFields[] = {
  Field(TARNE_KIND_INT32, 0, "nObjProcessed"),
  Field(TARNE_KIND_INT32, 4, "nObjToProcess"),
  Field(TARNE_KIND_INT32, 8, "nBytesProcessed"),
  Field(TARNE_KIND_INT32, 12, "nBytesToProcess"),
  Field(TARNE_KIND_INT32, 16, "nObjFailed"),
  Field(TARNE_KIND_INT32, 20, "errorCode"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneClusterEncrStateEntryFields[] = {
  Field(TARNE_KIND_INT32, 0, "genNum"),
  Field(TARNE_KIND_STRING, 8, "dekId"),
  Field(TARNE_KIND_INT32, 16, "state"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneWelmGSCDiskRateEntryFields[] = {
  Field(TARNE_KIND_INT32, 0, "avgProactiveGoodness"),
  Field(TARNE_KIND_INT64, 8, "proactiveCleaningRateKb"),
  Field(TARNE_KIND_INT32, 16, "avgReactiveGoodness"),
  Field(TARNE_KIND_INT64, 24, "reactiveCleaningRateKb"),
  Field(TARNE_KIND_INT64, 32, "capacity"),
  Field(TARNE_KIND_INT64, 40, "usedCapacity"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHostCapacitySingleTierFields[] = {
  Field(TARNE_KIND_INT64, 0, "totalRawCapacity"),
  Field(TARNE_KIND_INT64, 8, "usedRawCapacity"),
  Field(TARNE_KIND_INT64, 16, "usedLogicalCapacity"),
  Field(TARNE_KIND_INT64, 24, "physicalTransientSpace"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneClusterCapacitySingleTierFields[] = {
  Field(TARNE_KIND_INT64, 0, "totalRawCapacity"),
  Field(TARNE_KIND_INT64, 8, "usedRawCapacity"),
  Field(TARNE_KIND_INT64, 16, "usedLogicalCapacity"),
  Field(TARNE_KIND_INT64, 24, "physicalTransientSpace"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneEncrDekFields[] = {
  Field(TARNE_KIND_INT32, 0, "genNum"),
  Field(TARNE_KIND_STRING, 8, "dekId"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneObjectStatsFields[] = {
  Field(TARNE_KIND_INT64, 0, "logicallyUsedBytes"),
  Field(TARNE_KIND_INT64, 8, "physicallyUsedBytes"),
  Field(TARNE_KIND_INT64, 16, "physicallyUsedMetadataBytes"),
  Field(TARNE_KIND_INT64, 24, "rpPhysicallyUsedBytes"),
  Field(TARNE_KIND_INT64, 32, "wsPhysicallyUsedBytes"),
  Field(TARNE_KIND_INT32, 40, "numSnapshots"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDatastoreCapabilityFields[] = {
  Field(TARNE_KIND_INT64, 0, "capability"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneWelmPausedFields[] = {
  Field(TARNE_KIND_INT32, 0, "resume"),
  kEndOfFields,
};
// clang-format on

}  // namespace

// Declared extern in the header, so this definition has external linkage.
constexpr TarneSchemaDirEntry TarneSchemaDirectory[kSchemaDirectoryEntries + 1] = {
    {"TarneHealthStatusEntry", kTarneHealthStatusEntryFields},
    {"TarneTimeReferenceEntry", kTarneTimeReferenceEntryFields},
    {"TarneHuxObjectDeletedEntry", kTarneHuxObjectDeletedEntryFields},
    {"TarneDiscardedComponentsEntry", kTarneDiscardedComponentsEntryFields},
    {"TarneNodeEntry", kTarneNodeEntryFields},
    {"TarneDecomStateEntry", kTarneDecomStateEntryFields},
    {"TarneDecomFailedEntry", kTarneDecomFailedEntryFields},
    {"TarneDiskEntry", kTarneDiskEntryFields},
    {"TarneDiskUsage", kTarneDiskUsageFields},
    {"TarneDiskStatus", kTarneDiskStatusFields},
    {"TarneDiskIncoming", kTarneDiskIncomingFields},
    {"TarneGAROObjectEntry", kTarneGAROObjectEntryFields},
    {"TarneIPv4NetInterfaceConfig", kTarneIPv4NetInterfaceConfigFields},
    {"TarneIPv6NetInterfaceConfig", kTarneIPv6NetInterfaceConfigFields},
    {"TarneIPv4SubnetConfig", kTarneIPv4SubnetConfigFields},
    {"TarneIPv6SubnetConfig", kTarneIPv6SubnetConfigFields},
    {"TarneNoltName", kTarneNoltNameFields},
    {"TarneHuxName", kTarneHuxNameFields},
    {"TarneHuxOwnerCandidate", kTarneHuxOwnerCandidateFields},
    {"TarneHuxOwnerCandidateV1", kTarneHuxOwnerCandidateV1Fields},
    {"TarneHAMetadata", kTarneHAMetadataFields},
    {"TarneNodeUsage", kTarneNodeUsageFields},
    {"TarneNodeFaultDomain", kTarneNodeFaultDomainFields},
    {"TarneHostnameEntry", kTarneHostnameEntryFields},
    {"TarnePreferredFaultDomain", kTarnePreferredFaultDomainFields},
    {"TarneOlvaIscsiTargetConfig", kTarneOlvaIscsiTargetConfigFields},
    {"TarneOlvaIscsiInterfaceMap", kTarneOlvaIscsiInterfaceMapFields},
    {"TarneNodeDOAEntry", kTarneNodeDOAEntryFields},
    {"TarneTestSymbol", kTarneTestSymbolFields},
    {"TarneDrelEntry", kTarneDrelEntryFields},
    {"TarneNodeFitness", kTarneNodeFitnessFields},
    {"TarneDrelDecommissionedEntry", kTarneDrelDecommissionedEntryFields},
    {"TarneFSConfigNotify", kTarneFSConfigNotifyFields},
    {"TarneFSReferralNotify", kTarneFSReferralNotifyFields},
    {"TarneFSHostHealth", kTarneFSHostHealthFields},
    {"TarneFSOwnerHost", kTarneFSOwnerHostFields},
    {"TarneWhatIfProgress", kTarneWhatIfProgressFields},
    {"TarneObjectFormatChange", kTarneObjectFormatChangeFields},
    {"TarneObjectFormatChangeStatus", kTarneObjectFormatChangeStatusFields},
    {"TarneOlvaFormatVersion", kTarneOlvaFormatVersionFields},
    {"TarneFailedDeltaDecom", kTarneFailedDeltaDecomFields},
    {"TarneKupoStatusEntry", kTarneKupoStatusEntryFields},
    {"TarneHostCapacity", kTarneHostCapacityFields},
    {"TarneClusterCapacity", kTarneClusterCapacityFields},
    {"TarneFennHostStats", kTarneFennHostStatsFields},
    {"TarneFennCapResrvSharedLock", kTarneFennCapResrvSharedLockFields},
    {"TarneFennCapResrvGlobalLock", kTarneFennCapResrvGlobalLockFields},
    {"TarneGarbageCollectionTTL", kTarneGarbageCollectionTTLFields},
    {"TarneTransientQLock", kTarneTransientQLockFields},
    {"TarneBallotEntry", kTarneBallotEntryFields},
    {"TarneAcceptEntry", kTarneAcceptEntryFields},
    {"TarneDiskCapacityTier", kTarneDiskCapacityTierFields},
    {"TarneDiskPerfTier", kTarneDiskPerfTierFields},
    {"TarneDiskCapacityTierStatus", kTarneDiskCapacityTierStatusFields},
    {"TarneDiskPerfTierStatus", kTarneDiskPerfTierStatusFields},
    {"TarneIoDiagObjEntry", kTarneIoDiagObjEntryFields},
    {"TarneHostEncrStateEntry", kTarneHostEncrStateEntryFields},
    {"TarneClusterEncrStateEntry", kTarneClusterEncrStateEntryFields},
    {"TarneWelmGSCDiskRateEntry", kTarneWelmGSCDiskRateEntryFields},
    {"TarneHostCapacitySingleTier", kTarneHostCapacitySingleTierFields},
    {"TarneClusterCapacitySingleTier", kTarneClusterCapacitySingleTierFields},
    {"TarneEncrDek", kTarneEncrDekFields},
    {"TarneObjectStats", kTarneObjectStatsFields},
    {"TarneDatastoreCapability", kTarneDatastoreCapabilityFields},
    {"TarneWelmPaused", kTarneWelmPausedFields},
    {"HuxStyle", nullptr},
    {"KeyValueListStyle", nullptr},
    {nullptr, nullptr},
};

namespace {

constexpr const char *kNull = "NULL";
// Types 84 to 127 name no schema either.
constexpr size_t kNamedTypeLimit = 84;

constexpr std::array<const char *, kNamedTypeLimit> kTypeSchemaNames = {
    kNull,                              // 0 (none)
    kNull,                              // 1 SUB_CLUSTER
    kNull,                              // 2 CLUSTER
    "TarneNodeEntry",                   // 3 NODE
    "TarneDiskEntry",                   // 4 DISK
    kNull,                              // 5 SUBNET
    kNull,                              // 6 NET_INTERFACE
    "TarneHealthStatusEntry",           // 7 HEALTH_STATUS
    kNull,                              // 8 TARNE_MASTER
    kNull,                              // 9 TARNE_BACKUP_MASTER
    "TarneTimeReferenceEntry",          // 10 TIME_REFERENCE
    "TarneNoltName",                    // 11 NOLT_NAME
    "TarneGAROObjectEntry",             // 12 GARO_OBJECT
    "HuxStyle",                         // 13 HUX_OBJECT
    kNull,                              // 14 SUB_CLUSTER_MEMBERSHIP
    "TarneDiskUsage",                   // 15 DISK_USAGE
    "TarneDiskStatus",                  // 16 DISK_STATUS
    kNull,                              // 17 OBJECT_STATUS
    kNull,                              // 18 SYMBOL
    kNull,                              // 19 SIBBENCH
    "TarneHuxName",                     // 20 HUX_NAME
    "KeyValueListStyle",                // 21 POLICY
    kNull,                              // 22 HA_METADATA
    "KeyValueListStyle",                // 23 CONFIG_STATUS
    "TarneDecomStateEntry",             // 24 NODE_DECOM_STATE
    "TarneDecomFailedEntry",            // 25 NODE_DECOM_FAILED
    kNull,                              // 26 ACCESS_GENERATION
    "TarneNodeUsage",                   // 27 NODE_USAGE
    "HuxStyle",                         // 28 HUX_STALE_OWNER
    "TarneHostnameEntry",               // 29 HOSTNAME
    kNull,                              // 30 DISK_INCOMING
    "TarneHuxOwnerCandidate",           // 31 HUX_OWNER_CANDIDATE
    "TarneNodeFaultDomain",             // 32 NODE_FAULT_DOMAIN
    "TarneHuxObjectDeleted",            // 33 HUX_OBJECT_DELETED
    "TarneDecomStateEntry",             // 34 DISK_DECOM_STATE
    "TarneDiscardedComponents",         // 35 DISCARDED_COMPONENTS
    "TarnePreferredFaultDomain",        // 36 PREFERRED_FAULT_DOMAIN
    "TarneOlvaIscsiTargetConfig",       // 37 OLVA_ISCSI_TARGET_CONFIG
    "TarneOlvaIscsiInterfacAddress",    // 38 OLVA_ISCSI_TARGET_NET_IF_ADDRESS
    "HuxStyle",                         // 39 HUX_PROXY_OBJECT
    "TarneDpConsistencyGroup",          // 40 DP_CONSISTENCY_GROUP
    "TarneDiskOutgoingEntry",           // 41 DISK_OUTGOING
    "TarneNodeDOAEntry",                // 42 DEATH_ON_ARRIVAL
    "TarneTestSymbol",                  // 43 TEST_SYMBOL
    "TarneDrelEntry",                   // 44 DREL
    "TarneWitnessDeciding",             // 45 WITNESS_DECIDING
    "TarneNodeFitnessEntry",            // 46 NODE_FITNESS
    kNull,                              // 47 LOCAL_SYMBOL
    "TarneDrelDecommissionedEntry",     // 48 DREL_DECOMMISSIONED
    "TarneFSNotifyShardEntry",          // 49 FS_CONFIG_NOTIFY
    "TarneFSHealthEntry",               // 50 FS_HOST_HEALTH
    "TarneFSCurrentHostEntry",          // 51 FS_OWNER_HOST
    "TarneFlexDiskOutgoingEntry",       // 52 FLEX_DISK_OUTGOING
    "TarneWhatIfProgress",              // 53 WHAT_IF_PROGRESS
    "TarneFSNotifyReferral",            // 54 FS_REFERRAL_NOTIFY
    "TarneSlackSpaceResyncBytesEntry",  // 55 SLACK_SPACE_RESYNC_BYTES
    "TarneObjectFormatChange",          // 56 OBJECT_FORMAT_CHANGE
    "TarneObjectFormatChangeStatus",    // 57 OBJECT_FORMAT_CHANGE_STATUS
    "TarneOlvaFormatVersion",           // 58 OLVA_FORMAT_VERSION
    "TarneFailedDeltaDecom",            // 59 FAILED_DELTA_DECOM
    "TarneKupoStatus",                  // 60 KUPO_STATUS
    kNull,                              // 61 FENN_TRANSIENT_Q_LOCK
    "TarneHostCapacity",                // 62 OLVA_HOST_CAPACITY
    "TarneClusterCapacity",             // 63 OLVA_CLUSTER_CAPACITY
    "TarneFennHostStats",               // 64 FENN_HOST_STATS
    kNull,                              // 65 FENN_CAP_RESRV_SHARED_LOCK
    kNull,                              // 66 FENN_CAP_RESRV_GLOBAL_LOCK
    "TarneGarbageCollectionTTL",        // 67 TARNE_GARBAGE_COLLECTION_TTL
    "TarneBallotEntry",                 // 68 TARNE_BALLOT
    "TARNEAcceptEntry",                 // 69 TARNE_ACCEPT
    "TarneDiskCapacityTier",            // 70 DISK_CAPACITY_TIER
    "TarneDiskPerfTier",                // 71 DISK_PERF_TIER
    "TarneDiskCapacityTierStatus",      // 72 DISK_CAPACITY_TIER_STATUS
    "TarneDiskPerfTierStatus",          // 73 DISK_PERF_TIER_STATUS
    "TarneIoDiagObjEntry",              // 74 TARNE_IO_DIAG_OBJ
    "TarneHostEncrStateEntry",          // 75 TARNE_HOST_ENCR_STATE
    "TarneClusterEncrStateEntry",       // 76 TARNE_CLUSTER_ENCR_STATE
    "TarneObjectStats",                 // 77 OBJECT_STATS
    "TarneWelmGSCDiskRateEntry",        // 78 WELM_GSC_DISK_RATE
    "TarneHostCapacitySingleTier",      // 79 HOST_CAPACITY_SINGLE_TIER
    "TarneClusterCapacitySingleTier",   // 80 CLUSTER_CAPACITY_SINGLE_TIER
    "TarneEncrDek",                     // 81 ENCR_DEK
    "TarneDatastoreCapability",         // 82 DATASTORE_CAPABILITY
    "TarneWelmPaused",                  // 83 WELM_PAUSED
};

constexpr uint8_t TypeNumber(uint8_t typeByte) {
  return typeByte & 0x7F;
}

constexpr bool SameName(const char *a, const char *b) {
  return a != nullptr && b != nullptr && std::string_view(a) == std::string_view(b);
}

constexpr bool IsEndOfFields(const TarneFieldDescriptor &d) {
  return d.kind == 0 && d.offset == 0 && d.reserved0 == 0 && d.name == nullptr &&
         d.reserved1[0] == 0 && d.reserved1[1] == 0 && d.reserved1[2] == 0 && d.reserved1[3] == 0;
}

constexpr int kMaxFieldsPerSchema = 35;

// A field table holds at most 35 fields in ascending offset order, all named, then the
// all-zero end descriptor.
constexpr bool FieldTableIsWellFormed(const TarneFieldDescriptor *fields) {
  for (int i = 0; i <= kMaxFieldsPerSchema; ++i) {
    if (IsEndOfFields(fields[i])) return i > 0;
    if (fields[i].name == nullptr || fields[i].reserved0 != 0) return false;
    if (i > 0 && fields[i].offset <= fields[i - 1].offset) return false;
  }
  return false;
}

constexpr bool DirectoryIsWellFormed() {
  for (int i = 0; i < kSchemaDirectoryEntries; ++i) {
    const TarneSchemaDirEntry &entry = TarneSchemaDirectory[i];
    if (entry.name == nullptr) return false;
    // Only the two styles, which close the list, have no field table.
    const bool isStyle = i >= kSchemaDirectoryEntries - 2;
    if (isStyle != (entry.fields == nullptr)) return false;
    if (!isStyle && !FieldTableIsWellFormed(entry.fields)) return false;
  }
  const TarneSchemaDirEntry &last = TarneSchemaDirectory[kSchemaDirectoryEntries];
  return last.name == nullptr && last.fields == nullptr;
}
static_assert(DirectoryIsWellFormed());

constexpr const TarneFieldDescriptor *FieldsOf(const char *schema) {
  for (int i = 0; i < kSchemaDirectoryEntries; ++i) {
    if (SameName(TarneSchemaDirectory[i].name, schema)) return TarneSchemaDirectory[i].fields;
  }
  return nullptr;
}

constexpr int FieldCount(const TarneFieldDescriptor *fields) {
  int n = 0;
  while (!IsEndOfFields(fields[n])) ++n;
  return n;
}

static_assert(SameName(TarneSchemaDirectory[0].name, "TarneHealthStatusEntry"));
static_assert(SameName(TarneSchemaDirectory[65].name, "HuxStyle"));
static_assert(SameName(TarneSchemaDirectory[66].name, "KeyValueListStyle"));
static_assert(FieldCount(FieldsOf("TarneDiskStatus")) == kMaxFieldsPerSchema);
static_assert(FieldCount(FieldsOf("TarneDiskEntry")) == 28);
// Two adjacent one-byte flags, then a 32-bit field at the next aligned offset.
static_assert(SameName(FieldsOf("TarneDiskEntry")[25].name, "isEncrypted") &&
              FieldsOf("TarneDiskEntry")[25].offset == 200 &&
              FieldsOf("TarneDiskEntry")[25].kind == TARNE_KIND_FLAG);
static_assert(SameName(FieldsOf("TarneDiskEntry")[26].name, "isMetaRedundancy") &&
              FieldsOf("TarneDiskEntry")[26].offset == 201);
static_assert(SameName(FieldsOf("TarneDiskEntry")[27].name, "dedupAddrRatio") &&
              FieldsOf("TarneDiskEntry")[27].offset == 204);
// The same field name with two distinct kinds.
static_assert(FieldsOf("TarneGarbageCollectionTTL")[0].kind == TARNE_KIND_INT64);
static_assert(FieldsOf("TarneBallotEntry")[2].kind == TARNE_KIND_INT64_ALT);
static_assert(FieldsOf("TarneTestSymbol")[0].kind == TARNE_KIND_TRAILING_STRING);

static_assert(sizeof(TarneSchemaDirectory) ==
              (kSchemaDirectoryEntries + 1) * sizeof(TarneSchemaDirEntry));

// Every type below the limit has a name, "NULL" included; none was left out.
constexpr bool EveryTypeHasAName() {
  for (const char *name : kTypeSchemaNames) {
    if (name == nullptr) return false;
  }
  return true;
}
static_assert(EveryTypeHasAName());
static_assert(SameName(kTypeSchemaNames[3], "TarneNodeEntry"));
static_assert(SameName(kTypeSchemaNames[4], "TarneDiskEntry"));
static_assert(SameName(kTypeSchemaNames[24], kTypeSchemaNames[34]));
static_assert(SameName(kTypeSchemaNames[47], "NULL"));
static_assert(SameName(kTypeSchemaNames[69], "TARNEAcceptEntry"));
static_assert(SameName(kTypeSchemaNames[83], "TarneWelmPaused"));

}  // namespace

const char *Schema_NameForType(uint8_t typeByte) {
  const uint8_t type = TypeNumber(typeByte);
  return type < kNamedTypeLimit ? kTypeSchemaNames[type] : kNull;
}

bool Schema_IsPlainOnlyType(uint8_t typeByte) {
  switch (TypeNumber(typeByte)) {
    case 4:   // DISK
    case 13:  // HUX_OBJECT
    case 21:  // POLICY
    case 23:  // CONFIG_STATUS
      return true;
    default:
      return false;
  }
}
