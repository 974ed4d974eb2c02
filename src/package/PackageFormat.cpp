#include "package/PackageFormat.h"

uint32_t SpaceForClusterSize(const PackageTrailer& trailer, uint32_t clusterSize) {
  uint32_t space = trailer.SpaceByClusterSize[0];
  for (int k = 1; k < kSpaceEntries; ++k) {
    if (clusterSize >= (256u << k)) space = trailer.SpaceByClusterSize[k];
  }
  return space;
}
