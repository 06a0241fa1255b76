// Check program for the emulated bus: runs one scenario on the real
// libraw1394 API (the emulator beneath it through LD_LIBRARY_PATH) and the
// real librom1394/libavc1394, steering the bus through FWEMU_CONTROL, and
// prints what it saw as "key value" lines.
#include <arpa/inet.h>
#include <libavc1394/avc1394.h>
#include <libavc1394/avc1394_vcr.h>
#include <libavc1394/rom1394.h>
#include <libraw1394/csr.h>
#include <libraw1394/raw1394.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "fwemu/controlclient.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Control(const std::string& command) { return fwemu::ControlCommand(command); }

long Ms(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Processes what the handle has for up to `ms`.
int Pump(raw1394handle_t h, int ms) {
    int events = 0;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        pollfd p{raw1394_get_fd(h), POLLIN, 0};
        if (poll(&p, 1, 5) > 0) {
            raw1394_loop_iterate(h);
            ++events;
        }
    }
    return events;
}

int RomRead(raw1394handle_t h, int node) {
    quadlet_t q;
    return raw1394_read(h, static_cast<nodeid_t>(0xFFC0 | node), CSR_REGISTER_BASE + CSR_CONFIG_ROM,
                        4, &q);
}

// How long reads of a node's ROM keep failing, in ms (-1: never ended).
long UnreadableFor(raw1394handle_t h, int node) {
    const auto start = Clock::now();
    while (Ms(start) < 3000) {
        Pump(h, 0);
        if (RomRead(h, node) == 0) return Ms(start);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

int resets = 0;
int CountingResetHandler(raw1394handle_t h, unsigned int generation) {
    ++resets;
    raw1394_update_generation(h, generation);
    return 0;
}

int StaleGeneration() {
    raw1394handle_t h = raw1394_new_handle_on_port(0);
    std::printf("before %d\n", RomRead(h, 0));
    const unsigned g0 = raw1394_get_generation(h);
    Control("reset");
    const int stale = RomRead(h, 0);
    std::printf("stale %d %s\n", stale, stale < 0 && errno == EAGAIN ? "EAGAIN" : "other");
    std::printf("unchanged %d\n", raw1394_get_generation(h) == g0);
    raw1394_loop_iterate(h);
    std::printf("advanced %u\n", raw1394_get_generation(h) - g0);
    std::printf("after %d\n", RomRead(h, 0));
    raw1394_destroy_handle(h);
    return 0;
}

int InitiatorWindow() {
    raw1394handle_t h = raw1394_new_handle_on_port(0);
    Control("reset by camcorder1");
    raw1394_loop_iterate(h);
    std::printf("local %d\n", RomRead(h, raw1394_get_local_id(h) & 0x3F));
    std::printf("window %ld\n", UnreadableFor(h, 0));
    raw1394_destroy_handle(h);
    return 0;
}

octlet_t GuidAt(raw1394handle_t h, int node) {
    return rom1394_get_guid(h, static_cast<nodeid_t>(node));
}

int PlugUnplug() {
    raw1394handle_t h = raw1394_new_handle_on_port(0);
    raw1394_set_bus_reset_handler(h, CountingResetHandler);
    std::printf("nodes %d\n", raw1394_get_nodecount(h));
    const octlet_t disk = GuidAt(h, 1);
    Control("unplug camcorder1");
    Pump(h, 50);
    std::printf("unplugged_nodes %d resets %d\n", raw1394_get_nodecount(h), resets);
    std::printf("disk_moved_to_0 %d\n", GuidAt(h, 0) == disk);
    resets = 0;
    Control("plug camcorder1");
    const auto start = Clock::now();
    Pump(h, 100);
    std::printf("plugged_nodes %d resets %d\n", raw1394_get_nodecount(h), resets);
    std::printf("disk_moved_to_1 %d\n", GuidAt(h, 1) == disk);
    // From the plug until the new node answers.
    const long total = UnreadableFor(h, 0) < 0 ? -1 : Ms(start);
    std::printf("new_node_window %ld\n", total);
    raw1394_destroy_handle(h);
    return 0;
}

int StormAndRenumber() {
    raw1394handle_t h = raw1394_new_handle_on_port(0);
    raw1394_set_bus_reset_handler(h, CountingResetHandler);
    const unsigned g0 = raw1394_get_generation(h);
    Control("storm 4 10");
    Pump(h, 150);
    std::printf("storm_resets %d generations %u\n", resets, raw1394_get_generation(h) - g0);
    const octlet_t first = GuidAt(h, 0), second = GuidAt(h, 1);
    Control("reset renumber");
    Pump(h, 20);
    std::printf("renumbered %d %d\n", GuidAt(h, 0) == second, GuidAt(h, 1) == first);
    raw1394_destroy_handle(h);
    return 0;
}

int fcpAnswers[2];
int FcpCounter(raw1394handle_t h, nodeid_t node, int response, size_t length, unsigned char* data) {
    if (response) ++fcpAnswers[*static_cast<int*>(raw1394_get_userdata(h))];
    return 0;
}

int FcpListeners() {
    raw1394handle_t a = raw1394_new_handle_on_port(0), b = raw1394_new_handle_on_port(0);
    static int ids[2] = {0, 1};
    raw1394_set_userdata(a, &ids[0]);
    raw1394_set_userdata(b, &ids[1]);
    for (raw1394handle_t h : {a, b}) {
        raw1394_set_fcp_handler(h, FcpCounter);
        raw1394_start_fcp_listen(h);
    }
    quadlet_t command = htonl(0x0120D07F);  // TRANSPORT STATE
    raw1394_write(a, 0xFFC0, CSR_REGISTER_BASE + CSR_FCP_COMMAND, 4, &command);
    Pump(a, 50);
    Pump(b, 50);
    std::printf("answers %d %d\n", fcpAnswers[0], fcpAnswers[1]);
    raw1394_destroy_handle(a);
    raw1394_destroy_handle(b);
    return 0;
}

quadlet_t Transaction(raw1394handle_t h, quadlet_t command) {
    return avc1394_transaction(h, 0, command, 1);
}

int AvcFaults() {
    // The node's faults come from the bus description; print what
    // libavc1394 makes of a PLAY and of TRANSPORT STATE after it.
    raw1394handle_t h = raw1394_new_handle_on_port(0);
    const auto start = Clock::now();
    const quadlet_t play = Transaction(h, 0x0020C375);
    std::printf("play %08x ms %ld\n", play, Ms(start));
    const quadlet_t state = Transaction(h, 0x0120D07F);
    std::printf("state %08x\n", state);
    std::printf("deck %s\n", Control("state camcorder1").c_str());
    std::printf("received %s\n", Control("avc camcorder1").c_str());
    raw1394_destroy_handle(h);
    return 0;
}

struct IsoStats {
    long data = 0, empty = 0, dbcGaps = 0, dropped = 0, badHeader = 0, frames = 0;
    int lastDbc = -1;
    unsigned firstCycle = 0;
};
IsoStats iso;

raw1394_iso_disposition IsoHandler(raw1394handle_t, unsigned char* d, unsigned int len,
                                   unsigned char channel, unsigned char tag, unsigned char sy,
                                   unsigned int cycle, unsigned int dropped) {
    iso.dropped += dropped;
    if (len < 8 || tag != 1 || d[1] != 0x78 || (d[4] & 0xC0) != 0x80 || (d[4] & 0x3F) != 0 ||
        d[5] != 0x80)
        ++iso.badHeader;
    const int dbc = d[3];
    if (len == 488) {
        if (iso.lastDbc >= 0 && dbc != ((iso.lastDbc + 1) & 0xFF)) ++iso.dbcGaps;
        iso.lastDbc = dbc;
        ++iso.data;
        // A frame starts with the header block of sequence 0.
        if ((d[8] >> 5) == 0 && (d[9] >> 4) == 0) ++iso.frames;
    } else {
        ++iso.empty;
    }
    return RAW1394_ISO_OK;
}

int IsoReceive(bool pause) {
    raw1394handle_t h = raw1394_new_handle_on_port(0);
    raw1394_iso_recv_init(h, IsoHandler, 1000, 488, 63, RAW1394_DMA_PACKET_PER_BUFFER, 250);
    raw1394_iso_recv_start(h, -1, -1, 0);
    Pump(h, 1000);
    std::printf("data %ld empty %ld gaps %ld dropped %ld bad %ld frames %ld\n", iso.data, iso.empty,
                iso.dbcGaps, iso.dropped, iso.badHeader, iso.frames);
    if (pause) {
        // Not reading for 300 ms: the 1000-packet buffer (125 ms) overflows.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        iso = IsoStats{iso.data, 0, 0, 0, 0, 0, iso.lastDbc};
        Pump(h, 200);
        std::printf("after_pause gaps %ld data %ld\n", iso.dbcGaps, iso.data);
    }
    raw1394_iso_shutdown(h);
    raw1394_destroy_handle(h);
    return 0;
}

int NoBus() {
    raw1394handle_t h = raw1394_new_handle();
    std::printf("handle %d ports %d\n", h != nullptr,
                h ? raw1394_get_port_info(h, nullptr, 0) : -1);
    if (h) raw1394_destroy_handle(h);
    return 0;
}

int Eintr() {
    raw1394handle_t h = raw1394_new_handle_on_port(0);
    Control("reset");
    Control("reset");
    int failures = 0;
    for (int i = 0; i < 4; ++i)
        if (raw1394_loop_iterate(h) < 0 && errno == EINTR) ++failures;
    std::printf("eintr %d\n", failures);
    raw1394_destroy_handle(h);
    return 0;
}

int Roms() {
    raw1394handle_t h = raw1394_new_handle_on_port(0);
    for (int n = 0; n < raw1394_get_nodecount(h); ++n) {
        rom1394_directory dir{};
        if (rom1394_get_directory(h, static_cast<nodeid_t>(n), &dir) < 0) {
            std::printf("node %d unreadable\n", n);
            continue;
        }
        const int type = rom1394_get_node_type(&dir);
        std::printf("node %d type %d specifier %06x sw %06x text %s|%s", n, type, dir.unit_spec_id,
                    dir.unit_sw_version, dir.nr_textual_leafs > 0 ? dir.textual_leafs[0] : "",
                    dir.nr_textual_leafs > 1 ? dir.textual_leafs[1] : "");
        if (type == ROM1394_NODE_TYPE_AVC) {
            std::printf(" vcr %d signal %02x",
                        avc1394_check_subunit_type(h, n, AVC1394_SUBUNIT_TYPE_VCR),
                        avc1394_transaction(h, static_cast<nodeid_t>(n), 0x012078FF, 1) & 0xFF);
        }
        std::printf("\n");
        rom1394_free_directory(&dir);
    }
    raw1394_destroy_handle(h);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string s = argc > 1 ? argv[1] : "";
    if (s == "stale-generation") return StaleGeneration();
    if (s == "initiator-window") return InitiatorWindow();
    if (s == "plug") return PlugUnplug();
    if (s == "fcp-listeners") return FcpListeners();
    if (s == "storm") return StormAndRenumber();
    if (s == "avc") return AvcFaults();
    if (s == "iso") return IsoReceive(false);
    if (s == "iso-overflow") return IsoReceive(true);
    if (s == "no-bus") return NoBus();
    if (s == "eintr") return Eintr();
    if (s == "roms") return Roms();
    std::fprintf(stderr, "unknown scenario %s\n", s.c_str());
    return 2;
}
