// Construction of the emulated nodes.
#include "fwemu/node.h"

#include <edevdefs.h>

#include "fwemu/configrom.h"

namespace fwemu {

namespace {

constexpr uint32_t kEmulatedVendorId = 0x0000F0;  // company ID the emulated units carry
constexpr uint32_t kAvcSpecId = 0x00A02D;

RomInfo RomFor(const NodeDescription& desc) {
    RomInfo rom;
    rom.guid = desc.guid;
    rom.vendor = desc.vendor;
    rom.model = desc.model;
    rom.vendorId = kEmulatedVendorId;
    rom.modelId = 0x010000 | static_cast<uint32_t>(desc.kind);
    switch (desc.kind) {
        case NodeKind::Local:
            rom.vendorId = 0x001F11;
            break;
        case NodeKind::Camcorder:
        case NodeKind::Hdv:
            rom.unitSpecId = kAvcSpecId;
            rom.unitSwVersion = 0x010001;
            break;
        case NodeKind::Iidc:
            rom.unitSpecId = kAvcSpecId;
            rom.unitSwVersion = 0x000100;  // IIDC 1.04 (1.30 cameras carry 0x000101)
            break;
        case NodeKind::Disk:
            rom.unitSpecId = 0x00609E;
            rom.unitSwVersion = 0x010483;
            break;
    }
    return rom;
}

}  // namespace

std::unique_ptr<Node> MakeNode(const NodeDescription& desc, std::string* error) {
    auto node = std::make_unique<Node>();
    node->desc = desc;
    node->plugged = desc.plugged;
    node->rom = BuildConfigRom(RomFor(desc));
    if (!desc.broadcast) node->opcr &= ~kBroadcastConnection;
    if (desc.kind == NodeKind::Camcorder) {
        node->deck = std::make_unique<TapeDeck>(desc.tape, desc.repeat);
        if (!node->deck->ok()) {
            if (error) *error = "cannot read DV frames from " + desc.tape;
            return nullptr;
        }
        node->tx = std::make_unique<DvTransmitter>(*node->deck);
    } else if (desc.kind == NodeKind::Hdv) {
        // An hour of tape without DV data.
        node->deck = std::make_unique<TapeDeck>(dv::Standard::PAL, 25 * 3600);
    }
    if (node->deck && desc.playing) node->deck->transport().SetMode(ED_MODE_PLAY);
    if (node->deck)
        node->avc =
            std::make_unique<AvcUnit>(*node->deck, desc.kind == NodeKind::Hdv, kEmulatedVendorId);
    return node;
}

}  // namespace fwemu
