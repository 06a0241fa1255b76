// Configuration ROM layout.
#include "fwemu/configrom.h"

namespace fwemu {

uint16_t RomCrc(const uint32_t* q, size_t count) {
    uint32_t crc = 0;
    for (size_t i = 0; i < count; ++i) {
        for (int shift = 28; shift >= 0; shift -= 4) {
            const uint32_t sum = ((crc >> 12) ^ (q[i] >> shift)) & 0xF;
            crc = (crc << 4) ^ (sum << 12) ^ (sum << 5) ^ sum;
        }
        crc &= 0xFFFF;
    }
    return static_cast<uint16_t>(crc);
}

namespace {

// A block (directory or leaf) whose first quadlet is length << 16 | CRC.
void Seal(std::vector<uint32_t>& rom, size_t at) {
    const size_t length = rom[at] >> 16;
    rom[at] = uint32_t(length) << 16 | RomCrc(&rom[at + 1], length);
}

// A minimal ASCII textual descriptor leaf.
std::vector<uint32_t> TextLeaf(const std::string& text) {
    std::vector<uint32_t> leaf{0, 0, 0};  // header, specifier ID, language
    for (size_t i = 0; i < text.size(); i += 4) {
        uint32_t q = 0;
        for (size_t b = 0; b < 4; ++b)
            if (i + b < text.size()) q |= uint32_t(uint8_t(text[i + b])) << (24 - 8 * b);
        leaf.push_back(q);
    }
    leaf[0] = uint32_t(leaf.size() - 1) << 16;
    return leaf;
}

}  // namespace

std::vector<uint32_t> BuildConfigRom(const RomInfo& info) {
    std::vector<uint32_t> rom;
    // Bus information block: "1394", capabilities (IRM, cycle master,
    // isochronous capable, max_rec 2048 bytes, speed S400), GUID.
    rom.push_back(0);
    rom.push_back(0x31333934);
    rom.push_back(0xE000A002);
    rom.push_back(uint32_t(info.guid >> 32));
    rom.push_back(uint32_t(info.guid));
    rom[0] = 4u << 24 | 4u << 16 | RomCrc(&rom[1], 4);

    // Root directory; leaf and directory offsets are filled in below.
    const size_t root = rom.size();
    std::vector<uint32_t> entries;
    entries.push_back(0x03000000 | (info.vendorId & 0xFFFFFF));
    entries.push_back(0x81000000);  // vendor name
    entries.push_back(0x0C0083C0);  // node capabilities
    entries.push_back(0x17000000 | (info.modelId & 0xFFFFFF));
    entries.push_back(0x81000000);  // model name
    if (info.unitSpecId) entries.push_back(0xD1000000);
    rom.push_back(uint32_t(entries.size()) << 16);
    rom.insert(rom.end(), entries.begin(), entries.end());

    // Points entry `index` of the root directory at the block starting now.
    auto link = [&](size_t index) {
        const size_t entry = root + 1 + index;
        rom[entry] |= uint32_t(rom.size() - entry);
    };
    link(1);
    for (uint32_t q : TextLeaf(info.vendor)) rom.push_back(q);
    Seal(rom, rom.size() - TextLeaf(info.vendor).size());
    link(4);
    for (uint32_t q : TextLeaf(info.model)) rom.push_back(q);
    Seal(rom, rom.size() - TextLeaf(info.model).size());
    if (info.unitSpecId) {
        link(5);
        const size_t unit = rom.size();
        rom.push_back(2u << 16);
        rom.push_back(0x12000000 | (info.unitSpecId & 0xFFFFFF));
        rom.push_back(0x13000000 | (info.unitSwVersion & 0xFFFFFF));
        Seal(rom, unit);
    }
    Seal(rom, root);
    return rom;
}

}  // namespace fwemu
