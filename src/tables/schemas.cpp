// The schema directory and the type-to-schema table: constant data handed to the client
// library's content converter, laid out byte for byte as the converter reads it.
#include "tables/schemas.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace {

// Field kind codes as the converter understands them. The width each takes in the content
// record shows in the offsets of neighbouring fields.
enum FieldKind : uint64_t {
  kInt64 = 0,         // 8 bytes: capacities, counts, rates, time stamps, identifiers
  kInt32 = 1,         // 4 bytes: versions, counters, states, reasons, percentages
  kFlag = 2,          // 1 byte: yes/no
  kList = 3,          // 16 bytes
  kUuid = 4,          // 16 bytes
  kIpv6 = 10,         // 16 bytes
  kIpv4 = 11,         // 4 bytes
  kSymbolValue = 21,  // the value of a test symbol
  kString = 22,       // 8 bytes
  kText = 23,         // 8 bytes; a string kind distinct from kString
  kInt64Alt = 24,     // 8 bytes; a 64-bit kind distinct from kInt64
  kAddressList = 29,  // 16 bytes
};

constexpr TarneFieldDescriptor Field(FieldKind kind, uint64_t offset, const char *name) {
  return TarneFieldDescriptor{kind, offset, 0, name, {0, 0, 0, 0}};
}

// Every field table ends in a descriptor whose 64 bytes are all zero.
constexpr TarneFieldDescriptor kEndOfFields{};

// One field per line, in offset order.
// clang-format off
constexpr TarneFieldDescriptor kTarneHealthStatusEntryFields[] = {
  Field(kInt32, 0, "healthFlags"),
  Field(kInt64, 8, "timestamp"),
  Field(kInt32, 16, "healthReason"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneTimeReferenceEntryFields[] = {
  Field(kInt64, 0, "timeReference"),
  Field(kInt64, 8, "wallClock"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHuxObjectDeletedEntryFields[] = {
  Field(kInt64, 0, "timestampSec"),
  Field(kList, 8, "componentList"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiscardedComponentsEntryFields[] = {
  Field(kInt64, 0, "timestampSec"),
  Field(kList, 8, "componentList"),
  Field(kList, 24, "diskList"),
  Field(kInt32, 40, "flags"),
  Field(kUuid, 48, "deletedUuid"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneNodeEntryFields[] = {
  Field(kInt32, 0, "majorVersionNum"),
  Field(kInt32, 4, "minorVersionNum"),
  Field(kInt32, 8, "flags"),
  Field(kInt32, 12, "requiredOlvaMajorVersion"),
  Field(kInt32, 16, "requiredOlvaMinorVersion"),
  Field(kInt32, 20, "numHuxOwnerServers"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDecomStateEntryFields[] = {
  Field(kInt32, 0, "decomState"),
  Field(kInt32, 4, "decomJobType"),
  Field(kUuid, 8, "decomJobUuid"),
  Field(kInt32, 24, "progress"),
  Field(kList, 32, "affObjList"),
  Field(kInt32, 48, "errorCode"),
  Field(kInt32, 52, "updateNum"),
  Field(kInt32, 56, "majorVersion"),
  Field(kText, 64, "auditReport"),
  Field(kInt32, 72, "numObjectsEvacuated"),
  Field(kInt32, 76, "totalObjectstoEvacuate"),
  Field(kInt64, 80, "bytesToSyncRemaining"),
  Field(kInt64, 88, "totalBytesToSync"),
  Field(kFlag, 96, "ensureDurability"),
  Field(kInt64, 104, "bytesMovedHft0"),
  Field(kInt64, 112, "bytesMovedCompliance"),
  Field(kInt64, 120, "bytesSyncedRepair"),
  Field(kInt64, 128, "bytesSyncedRebalance"),
  Field(kInt64, 136, "bytesSyncedCompliance"),
  Field(kInt64, 144, "bytesSyncedChange"),
  Field(kInt64, 152, "bytesSyncedMove"),
  Field(kInt64, 160, "bytesSyncedConcat"),
  Field(kInt64, 168, "bytesSyncedStale"),
  Field(kInt64, 176, "bytesSyncedOther"),
  Field(kInt64, 184, "minResyncTputMBps"),
  Field(kInt64, 192, "avgResyncTputMBps"),
  Field(kInt64, 200, "decomTimeSeconds"),
  Field(kInt32, 208, "avgUsagePctPerDisk"),
  Field(kInt32, 212, "maxUsagePctPerDisk"),
  Field(kInt32, 216, "minUsagePctPerDisk"),
  Field(kInt32, 220, "failureReason"),
  Field(kList, 224, "decomEntityUuids"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDecomFailedEntryFields[] = {
  Field(kInt32, 0, "failureReason"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskEntryFields[] = {
  Field(kInt64, 0, "capacity"),
  Field(kInt64, 8, "iops"),
  Field(kInt64Alt, 16, "iopsWritePenalty"),
  Field(kInt64, 24, "throughput"),
  Field(kInt64Alt, 32, "throughputWritePenalty"),
  Field(kInt64, 40, "latency"),
  Field(kInt64, 48, "latencyDeviation"),
  Field(kInt32, 56, "reliabilityBase"),
  Field(kInt32, 60, "reliabilityExponent"),
  Field(kInt64, 64, "mtbf"),
  Field(kInt64, 72, "l2CacheCapacity"),
  Field(kInt64, 80, "l1CacheCapacity"),
  Field(kFlag, 88, "isSsd"),
  Field(kUuid, 96, "ssdUuid"),
  Field(kString, 112, "volumeName"),
  Field(kInt32, 120, "formatVersion"),
  Field(kString, 128, "devName"),
  Field(kInt64, 136, "ssdCapacity"),
  Field(kInt64, 144, "sibMuxGroup"),
  Field(kFlag, 152, "isAllFlash"),
  Field(kInt64, 160, "maxComponents"),
  Field(kInt64, 168, "logicalCapacity"),
  Field(kInt64, 176, "physDiskCapacity"),
  Field(kInt32, 184, "dedupScope"),
  Field(kInt64, 192, "dedupMetadata"),
  Field(kFlag, 200, "isEncrypted"),
  Field(kFlag, 201, "isMetaRedundancy"),
  Field(kInt32, 204, "dedupAddrRatio"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskUsageFields[] = {
  Field(kInt64, 0, "capacityReserved"),
  Field(kInt64, 8, "iopsReserved"),
  Field(kInt64, 16, "throughPutReserved"),
  Field(kInt64, 24, "l2CacheReserved"),
  Field(kInt64, 32, "l1CacheReserved"),
  Field(kInt64, 40, "addressSpaceSize"),
  Field(kInt64, 48, "nsAddressSpaceSize"),
  Field(kInt32, 56, "numTotalComponents"),
  Field(kInt64, 64, "physCapacityUsed"),
  Field(kInt64, 72, "logicalCapacityReserved"),
  Field(kInt64, 80, "physDiskCapacityReserved"),
  Field(kInt64, 88, "logicalCapacityRequested"),
  Field(kInt64, 96, "dgLogicalCapacityRequested"),
  Field(kInt64, 104, "physDiskCapacityRequested"),
  Field(kInt64, 112, "diskLogicalFSOverhead"),
  Field(kInt64, 120, "dgLogicalFSOverhead"),
  Field(kInt64, 128, "dgPhysicalFSOverhead"),
  Field(kInt64, 136, "diskBlkAttrOverhead"),
  Field(kInt64, 144, "dgBlkAttrOverhead"),
  Field(kInt64, 152, "dgTransientCapacityUsed"),
  Field(kInt64, 160, "diskTransientCapacityUsed"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskStatusFields[] = {
  Field(kInt64, 0, "capacityUsed"),
  Field(kInt64, 8, "l2CacheUsed"),
  Field(kInt64, 16, "l1CacheUsed"),
  Field(kInt32, 24, "writeConsolidationRatio"),
  Field(kInt64, 32, "avgReadsPerSecond"),
  Field(kInt64, 40, "avgWritesPerSecond"),
  Field(kInt64, 48, "avgThroughPutUsed"),
  Field(kInt64, 56, "avgReadServiceTime"),
  Field(kInt64, 64, "avgReadQueueTime"),
  Field(kInt64, 72, "avgWriteServiceTime"),
  Field(kInt64, 80, "avgWriteQueueTime"),
  Field(kInt64, 88, "avgDiskReadsPerSec"),
  Field(kInt64, 96, "avgDiskWritesPerSec"),
  Field(kInt64, 104, "avgSSDReadsPerSec"),
  Field(kInt64, 112, "avgSSDWritesPerSec"),
  Field(kInt64Alt, 120, "estTimeToFailure"),
  Field(kInt32, 128, "numDataComponents"),
  Field(kInt64, 136, "logicalCapacityUsed"),
  Field(kInt64, 144, "physDiskCapacityUsed"),
  Field(kInt64, 152, "pendingWrite"),
  Field(kInt64, 160, "pendingDelete"),
  Field(kInt64, 168, "dgPendingWrite"),
  Field(kInt64, 176, "dgPendingDelete"),
  Field(kInt64, 184, "dgLogicalCapacityUsed"),
  Field(kInt64, 192, "dgAvgDataDestageBytesSec"),
  Field(kInt64, 200, "dgAvgZeroDestageBytesSec"),
  Field(kInt64, 208, "dgAvgResyncReadBytesPerSec"),
  Field(kInt64, 216, "dgAvgTotalReadBytesPerSec"),
  Field(kInt64, 224, "dgAvgRecWriteBytesPerSec"),
  Field(kInt64, 232, "dgAvgTotalWriteBytesPerSec"),
  Field(kInt64, 240, "writeBufferSize"),
  Field(kInt64, 248, "writeBufferUsage"),
  Field(kInt64, 256, "pendingUnmap"),
  Field(kInt32, 264, "numPlannedDeltaComponents"),
  Field(kInt32, 268, "numUnplannedDeltaComponents"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskIncomingFields[] = {
  Field(kList, 0, "components"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneGAROObjectEntryFields[] = {
  Field(kUuid, 0, "diskUuid"),
  Field(kUuid, 16, "compositeUuid"),
  Field(kInt64, 32, "capacityUsed"),
  Field(kInt64, 40, "physCapacityUsed"),
  Field(kInt32, 48, "dedupUniquenessMetric"),
  Field(kInt32, 52, "huxServerIndex"),
  Field(kInt64, 56, "physCapacityUsedActual"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneIPv4NetInterfaceConfigFields[] = {
  Field(kIpv4, 0, "addr"),
  Field(kIpv4, 4, "subnetMask"),
  Field(kIpv4, 8, "agentGroup"),
  Field(kIpv4, 12, "masterGroup"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneIPv6NetInterfaceConfigFields[] = {
  Field(kIpv6, 0, "addr"),
  Field(kIpv6, 16, "subnetMask"),
  Field(kIpv6, 32, "agentGroup"),
  Field(kIpv6, 48, "masterGroup"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneIPv4SubnetConfigFields[] = {
  Field(kIpv4, 0, "base"),
  Field(kIpv4, 4, "mask"),
  Field(kIpv4, 8, "broadcast"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneIPv6SubnetConfigFields[] = {
  Field(kIpv6, 0, "base"),
  Field(kIpv6, 16, "mask"),
  Field(kIpv6, 32, "broadcast"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneNoltNameFields[] = {
  Field(kText, 0, "ufn"),
  Field(kUuid, 8, "uuid"),
  Field(kInt32, 24, "flags"),
  Field(kUuid, 32, "cid"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHuxNameFields[] = {
  Field(kText, 0, "ufn"),
  Field(kUuid, 8, "cid"),
  Field(kInt32, 24, "fsType"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHuxOwnerCandidateFields[] = {
  Field(kUuid, 0, "nodeUuid"),
  Field(kInt32, 16, "flags"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHuxOwnerCandidateV1Fields[] = {
  Field(kUuid, 0, "nodeUuid"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHAMetadataFields[] = {
  Field(kString, 0, "haMetadata"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneNodeUsageFields[] = {
  Field(kInt32, 0, "maxComponents"),
  Field(kInt32, 4, "dataComponents"),
  Field(kInt32, 8, "componentsReserved"),
  Field(kInt32, 12, "leafNum"),
  Field(kInt32, 16, "leafLimit"),
  Field(kInt32, 20, "numOwnerServers"),
  Field(kInt32, 24, "numRemoteOwners"),
  Field(kInt32, 28, "numTotalOwners"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneNodeFaultDomainFields[] = {
  Field(kUuid, 0, "faultDomainId"),
  Field(kText, 16, "faultDomainName"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHostnameEntryFields[] = {
  Field(kText, 0, "hostname"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarnePreferredFaultDomainFields[] = {
  Field(kUuid, 0, "faultDomainId"),
  Field(kText, 16, "faultDomainName"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneOlvaIscsiTargetConfigFields[] = {
  Field(kInt32, 0, "protocolVersion"),
  Field(kUuid, 8, "configNamespaceUuid"),
  Field(kInt64, 24, "configGenNumber"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneOlvaIscsiInterfaceMapFields[] = {
  Field(kString, 0, "interfaceName"),
  Field(kIpv4, 8, "v4"),
  Field(kIpv6, 12, "v6"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneNodeDOAEntryFields[] = {
  Field(kInt32, 0, "scope"),
  Field(kList, 8, "objectList"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneTestSymbolFields[] = {
  Field(kSymbolValue, 0, "value"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDrelEntryFields[] = {
  Field(kInt64, 0, "flags"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneNodeFitnessFields[] = {
  Field(kInt32, 0, "fitness"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDrelDecommissionedEntryFields[] = {
  Field(kInt64, 0, "unused"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFSConfigNotifyFields[] = {
  Field(kInt64, 0, "genId"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFSReferralNotifyFields[] = {
  Field(kInt64, 0, "genId"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFSHostHealthFields[] = {
  Field(kInt64, 0, "genId"),
  Field(kInt32, 8, "version"),
  Field(kInt32, 12, "status"),
  Field(kInt64, 16, "caps"),
  Field(kAddressList, 24, "ipList"),
  Field(kString, 40, "hostVersion"),
  Field(kString, 48, "kupoVersion"),
  Field(kString, 56, "diskFormatVersion"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFSOwnerHostFields[] = {
  Field(kUuid, 0, "hostUUID"),
  Field(kInt32, 16, "status"),
  Field(kString, 24, "message"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneWhatIfProgressFields[] = {
  Field(kInt32, 0, "errorCode"),
  Field(kFlag, 4, "resourceAdded"),
  Field(kInt32, 8, "progress"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneObjectFormatChangeFields[] = {
  Field(kInt64, 0, "startTime"),
  Field(kInt32, 8, "reason"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneObjectFormatChangeStatusFields[] = {
  Field(kInt32, 0, "nObjToProcess"),
  Field(kInt32, 4, "nObjFailed"),
  Field(kInt32, 8, "errorCode"),
  Field(kText, 16, "errReport"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneOlvaFormatVersionFields[] = {
  Field(kInt32, 0, "olvaFormatVersion"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFailedDeltaDecomFields[] = {
  Field(kList, 0, "failedObjs"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneKupoStatusEntryFields[] = {
  Field(kInt64, 0, "status"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHostCapacityFields[] = {
  Field(kInt64, 0, "totalRawCapacity"),
  Field(kInt64, 8, "usedRawCapacity"),
  Field(kInt64, 16, "totalLogicalCapacity"),
  Field(kInt64, 24, "usedLogicalCapacity"),
  Field(kInt64, 32, "dedupMetadataSize"),
  Field(kInt64, 40, "logicalFSOverhead"),
  Field(kInt64, 48, "blkAttrOverhead"),
  Field(kInt64, 56, "totalTransientSpace"),
  Field(kInt64, 64, "physicalTransientSpace"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneClusterCapacityFields[] = {
  Field(kInt64, 0, "totalRawCapacity"),
  Field(kInt64, 8, "usedRawCapacity"),
  Field(kInt64, 16, "totalLogicalCapacity"),
  Field(kInt64, 24, "usedLogicalCapacity"),
  Field(kInt64, 32, "dedupMetadataSize"),
  Field(kInt64, 40, "logicalFSOverhead"),
  Field(kInt64, 48, "blkAttrOverhead"),
  Field(kInt64, 56, "totalTransientSpace"),
  Field(kInt64, 64, "physicalTransientSpace"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFennHostStatsFields[] = {
  Field(kInt32, 0, "numLargeObjects"),
  Field(kInt32, 4, "numRaid5Objects"),
  Field(kInt32, 8, "numRaid5NumData4Objects"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFennCapResrvSharedLockFields[] = {
  Field(kInt64, 0, "updateTime"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneFennCapResrvGlobalLockFields[] = {
  Field(kUuid, 0, "lockHolderUuid"),
  Field(kInt64, 16, "updateTime"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneGarbageCollectionTTLFields[] = {
  Field(kInt64, 0, "createTimestamp"),
  Field(kInt64, 8, "ttlNS"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneTransientQLockFields[] = {
  Field(kInt64, 0, "createTimestamp"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneBallotEntryFields[] = {
  Field(kInt64, 0, "proposalID"),
  Field(kInt32, 8, "listType"),
  Field(kInt64Alt, 16, "createTimestamp"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneAcceptEntryFields[] = {
  Field(kInt64, 0, "proposalID"),
  Field(kInt32, 8, "listType"),
  Field(kInt64Alt, 16, "createTimestamp"),
  Field(kInt64Alt, 24, "timeTakenMS"),
  Field(kList, 32, "nodes"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskCapacityTierFields[] = {
  Field(kInt32, 0, "formatVersion"),
  Field(kInt64, 8, "capacity"),
  Field(kInt64, 16, "flags"),
  Field(kInt64, 24, "fsOverhead"),
  Field(kInt64, 32, "lfsOverheadPermille"),
  Field(kInt64, 40, "maxComponents"),
  Field(kInt64, 48, "sibMuxGroup"),
  Field(kString, 56, "devName"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskPerfTierFields[] = {
  Field(kInt32, 0, "formatVersion"),
  Field(kInt64, 8, "capacity"),
  Field(kInt64, 16, "flags"),
  Field(kInt64, 24, "fsOverhead"),
  Field(kInt64, 32, "maxComponents"),
  Field(kInt64, 40, "sibMuxGroup"),
  Field(kString, 48, "devName"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskCapacityTierStatusFields[] = {
  Field(kInt32, 0, "numComponents"),
  Field(kInt32, 4, "numDataComponents"),
  Field(kInt32, 8, "numNSComponents"),
  Field(kInt64, 16, "capacityUsed"),
  Field(kInt64, 24, "rawCapacityUsed"),
  Field(kInt64, 32, "metadataCapacityUsed"),
  Field(kInt64, 40, "overheadCapacityUsed"),
  Field(kInt64, 48, "logicalDataCapacityUsed"),
  Field(kInt64, 56, "physCapacityUsed"),
  Field(kInt64, 64, "capacityReserved"),
  Field(kInt64, 72, "unwrittenReservedCapacity"),
  Field(kInt64, 80, "transientCapacity"),
  Field(kInt64, 88, "addressSpaceSize"),
  Field(kInt64, 96, "nsAddressSpaceSize"),
  Field(kInt64, 104, "expectedFullProvisionedCapacity"),
  Field(kInt64, 112, "expectedFullProvisionedNSCapacity"),
  Field(kInt64, 120, "avgResyncReadBytesPerSec"),
  Field(kInt64, 128, "avgTotalReadBytesPerSec"),
  Field(kInt64, 136, "avgRecWriteBytesPerSec"),
  Field(kInt64, 144, "avgTotalWriteBytesPerSec"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDiskPerfTierStatusFields[] = {
  Field(kInt32, 0, "numComponents"),
  Field(kInt32, 4, "numDataComponents"),
  Field(kInt32, 8, "numNSComponents"),
  Field(kInt64, 16, "physCapacityUsed"),
  Field(kInt64, 24, "capacityReserved"),
  Field(kInt64, 32, "unwrittenReservedCapacity"),
  Field(kInt64, 40, "transientCapacity"),
  Field(kInt64, 48, "addressSpaceSize"),
  Field(kInt64, 56, "nsAddressSpaceSize"),
  Field(kInt64, 64, "expectedFullProvisionedCapacity"),
  Field(kInt64, 72, "expectedFullProvisionedNSCapacity"),
  Field(kInt64, 80, "avgResyncReadBytesPerSec"),
  Field(kInt64, 88, "avgTotalReadBytesPerSec"),
  Field(kInt64, 96, "avgRecWriteBytesPerSec"),
  Field(kInt64, 104, "avgTotalWriteBytesPerSec"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneIoDiagObjEntryFields[] = {
  Field(kInt64, 0, "endTimestamp"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHostEncrStateEntryFields[] = {
  Field(kInt32, 0, "nObjProcessed"),
  Field(kInt32, 4, "nObjToProcess"),
  Field(kInt32, 8, "nBytesProcessed"),
  Field(kInt32, 12, "nBytesToProcess"),
  Field(kInt32, 16, "nObjFailed"),
  Field(kInt32, 20, "errorCode"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneClusterEncrStateEntryFields[] = {
  Field(kInt32, 0, "genNum"),
  Field(kString, 8, "dekId"),
  Field(kInt32, 16, "state"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneWelmGSCDiskRateEntryFields[] = {
  Field(kInt32, 0, "avgProactiveGoodness"),
  Field(kInt64, 8, "proactiveCleaningRateKb"),
  Field(kInt32, 16, "avgReactiveGoodness"),
  Field(kInt64, 24, "reactiveCleaningRateKb"),
  Field(kInt64, 32, "capacity"),
  Field(kInt64, 40, "usedCapacity"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneHostCapacitySingleTierFields[] = {
  Field(kInt64, 0, "totalRawCapacity"),
  Field(kInt64, 8, "usedRawCapacity"),
  Field(kInt64, 16, "usedLogicalCapacity"),
  Field(kInt64, 24, "physicalTransientSpace"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneClusterCapacitySingleTierFields[] = {
  Field(kInt64, 0, "totalRawCapacity"),
  Field(kInt64, 8, "usedRawCapacity"),
  Field(kInt64, 16, "usedLogicalCapacity"),
  Field(kInt64, 24, "physicalTransientSpace"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneEncrDekFields[] = {
  Field(kInt32, 0, "genNum"),
  Field(kString, 8, "dekId"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneObjectStatsFields[] = {
  Field(kInt64, 0, "logicallyUsedBytes"),
  Field(kInt64, 8, "physicallyUsedBytes"),
  Field(kInt64, 16, "physicallyUsedMetadataBytes"),
  Field(kInt64, 24, "rpPhysicallyUsedBytes"),
  Field(kInt64, 32, "wsPhysicallyUsedBytes"),
  Field(kInt32, 40, "numSnapshots"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneDatastoreCapabilityFields[] = {
  Field(kInt64, 0, "capability"),
  kEndOfFields,
};
constexpr TarneFieldDescriptor kTarneWelmPausedFields[] = {
  Field(kInt32, 0, "resume"),
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
              FieldsOf("TarneDiskEntry")[25].kind == kFlag);
static_assert(SameName(FieldsOf("TarneDiskEntry")[26].name, "isMetaRedundancy") &&
              FieldsOf("TarneDiskEntry")[26].offset == 201);
static_assert(SameName(FieldsOf("TarneDiskEntry")[27].name, "dedupAddrRatio") &&
              FieldsOf("TarneDiskEntry")[27].offset == 204);
// The same field name with two distinct kinds.
static_assert(FieldsOf("TarneGarbageCollectionTTL")[0].kind == kInt64);
static_assert(FieldsOf("TarneBallotEntry")[2].kind == kInt64Alt);
static_assert(FieldsOf("TarneTestSymbol")[0].kind == kSymbolValue);

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
