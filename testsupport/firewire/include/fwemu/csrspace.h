// The CSR address space of one emulated node as requests see it: the
// configuration ROM, the plug control registers of tape units (oMPR,
// oPCR[0]), the resource manager registers of the local node
// (BANDWIDTH_AVAILABLE, CHANNELS_AVAILABLE_HI/LO) and the FCP command
// register of AV/C units.  Offsets are from 0xFFFFF0000000; quadlets in
// buffers are in bus (big-endian) byte order, lock operands in host order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fwemu/node.h"

namespace fwemu {

// IEEE 1394 response codes the requests can end with.
inline constexpr int kRcodeComplete = 0x0;
inline constexpr int kRcodeTypeError = 0x6;
inline constexpr int kRcodeAddressError = 0x7;

int CsrRead(const Node& node, uint64_t offset, size_t length, uint32_t* out);

// Lock request (extended transaction code `extcode`); `old` gets the value
// before the operation.  Compare-swap, mask-swap and fetch-add are known.
int CsrLock(Node& node, uint64_t offset, unsigned extcode, uint32_t data, uint32_t arg,
            uint32_t* old);

// Write request.  A write to the FCP command register of an AV/C unit
// completes and hands the frame back in `fcpCommand`.
int CsrWrite(Node& node, uint64_t offset, size_t length, const uint8_t* data,
             std::vector<uint8_t>* fcpCommand);

}  // namespace fwemu
