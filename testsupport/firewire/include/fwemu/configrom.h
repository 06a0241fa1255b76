// Configuration ROMs of the emulated nodes: a bus information block with
// the GUID, a root directory with vendor and model (each followed by a
// textual descriptor leaf: vendor first, then model) and, for units, a unit
// directory with unit_spec_id and unit_sw_version.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fwemu {

struct RomInfo {
    uint64_t guid = 0;
    uint32_t vendorId = 0;
    uint32_t modelId = 0;
    std::string vendor;
    std::string model;
    uint32_t unitSpecId = 0;  // 0: no unit directory
    uint32_t unitSwVersion = 0;
};

// The ROM as host-order quadlets, quadlet 0 at CSR offset 0x400.
std::vector<uint32_t> BuildConfigRom(const RomInfo& info);

// CRC-16 of IEEE 1212 over `count` quadlets.
uint16_t RomCrc(const uint32_t* quadlets, size_t count);

}  // namespace fwemu
