// CSR space of the emulated nodes.
#include "fwemu/csrspace.h"

#include <arpa/inet.h>

namespace fwemu {

namespace {

constexpr uint64_t kRomStart = 0x400, kRomEnd = 0x800;
constexpr uint64_t kBandwidth = 0x220, kChannelsHi = 0x224, kChannelsLo = 0x228;
constexpr uint64_t kOmpr = 0x900, kOpcr0 = 0x904;
constexpr uint64_t kFcpCommand = 0xB00, kFcpResponse = 0xD00;
constexpr unsigned kMaskSwap = 1, kCompareSwap = 2, kFetchAdd = 3;

uint32_t* Register(Node& node, uint64_t offset) {
    if (node.isLocal()) {
        if (offset == kBandwidth) return &node.bandwidth;
        if (offset == kChannelsHi) return &node.channelsHi;
        if (offset == kChannelsLo) return &node.channelsLo;
    } else if (node.hasPlugs()) {
        if (offset == kOmpr) return &node.ompr;
        if (offset == kOpcr0) return &node.opcr;
    }
    return nullptr;
}

}  // namespace

int CsrRead(const Node& node, uint64_t offset, size_t length, uint32_t* out) {
    if (length == 0 || (length & 3) || (offset & 3)) return kRcodeTypeError;
    if (offset >= kRomStart && offset + length <= kRomEnd) {
        for (size_t i = 0; i < length / 4; ++i) {
            const size_t q = (offset - kRomStart) / 4 + i;
            out[i] = htonl(q < node.rom.size() ? node.rom[q] : 0);
        }
        return kRcodeComplete;
    }
    if (length != 4) return kRcodeAddressError;
    const uint32_t* reg = Register(const_cast<Node&>(node), offset);
    if (!reg) return kRcodeAddressError;
    out[0] = htonl(*reg);
    return kRcodeComplete;
}

int CsrLock(Node& node, uint64_t offset, unsigned extcode, uint32_t data, uint32_t arg,
            uint32_t* old) {
    uint32_t* reg = Register(node, offset);
    if (!reg) return offset >= kRomStart && offset < kRomEnd ? kRcodeTypeError : kRcodeAddressError;
    *old = *reg;
    switch (extcode) {
        case kCompareSwap:
            if (*reg == arg) *reg = data;
            break;
        case kMaskSwap:
            *reg = (data & arg) | (*reg & ~arg);
            break;
        case kFetchAdd:
            *reg += data;
            break;
        default:
            return kRcodeTypeError;
    }
    return kRcodeComplete;
}

int CsrWrite(Node& node, uint64_t offset, size_t length, const uint8_t* data,
             std::vector<uint8_t>* fcpCommand) {
    if (node.avc || node.desc.kind == NodeKind::Iidc) {
        if (offset >= kFcpCommand && offset < kFcpResponse && offset + length <= kFcpResponse) {
            fcpCommand->assign(data, data + length);
            return kRcodeComplete;
        }
    }
    // Registers are changed by lock requests only.
    if (Register(node, offset) || (offset >= kRomStart && offset < kRomEnd)) return kRcodeTypeError;
    return kRcodeAddressError;
}

}  // namespace fwemu
