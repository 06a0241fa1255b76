// The program on a camcorder of the emulated IEEE-1394 bus, figures printed
// side by side in one run, each next to its goal:
//
//  - AV/C commands a second the program sends the deck while it previews
//    a stopped tape, a playing one, and while it records (the emulated
//    camcorder counts what it receives);
//  - CPU seconds per minute of the program receiving the real-time stream
//    with preview, previewing only and recording Type-2, beside Debian's
//    dvgrab capturing the same emulated camcorder to raw DV;
//  - the copies of a frame's bytes between the bus and the file.
//
// The emulated camcorder runs inside the process that opened the bus (the
// program, or dvgrab), so both CPU figures carry its cost alike.  The
// program is started without settings and driven from outside through the
// display's automation socket, as the end-to-end tests drive it.  Asserts
// nothing.
//
//   firewire_bench [--seconds S]
//     --seconds  length of each run (default 20)
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/camcorder.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// AV/C commands the camcorder received since the last mark.
long CommandsSinceMark(e2e::EmulatedBus& bus) {
    const std::string answer = bus.Command("avc camcorder1");  // "ok <n> ..."
    if (answer.rfind("ok ", 0) != 0) return -1;
    return std::atol(answer.c_str() + 3);
}

struct ProgramFigures {
    double commandsStopped = -1, commandsPlaying = -1, commandsRecording = -1;
    double cpuPreview = -1, cpuRecording = -1;  // seconds per minute
    long dropped = -1;
};

bool Check(bool ok, const char* what) {
    if (!ok) std::fprintf(stderr, "firewire_bench: %s failed\n", what);
    return ok;
}

ProgramFigures RunProgram(double seconds) {
    ProgramFigures f;
    e2e::EmulatedBus bus;
    const int frames = static_cast<int>(seconds * 25 * 3) + 250;
    const std::string tape = bus.MakeTape("tape.dv", dv::Standard::PAL, frames);
    if (!Check(!tape.empty(), "making the tape")) return f;
    bus.Add("camcorder name=camcorder1 tape=" + tape + " vendor=Acme model=DV-1000");
    e2e::Session s(bus.ProgramOptions());
    if (!Check(s.Start() && s.WaitUntilReady(), "starting the program")) return f;
    const int pid = s.process().pid();
    const auto wait = std::chrono::duration<double>(seconds);

    // Commands a second in each state, and CPU while receiving.
    auto rate = [&](auto start) {
        bus.Ok("mark camcorder1");
        const auto t0 = Clock::now();
        const double cpu0 = e2e::ProcessCpuSeconds(pid);
        start();
        std::this_thread::sleep_for(wait);
        const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
        const double cpu = (e2e::ProcessCpuSeconds(pid) - cpu0) * 60 / elapsed;
        return std::make_pair(static_cast<double>(CommandsSinceMark(bus)) / elapsed, cpu);
    };
    f.commandsStopped = rate([] {}).first;
    auto playing = rate([&] { Check(s.ClickWhenEnabled(e2e::kPlay), "Play"); });
    f.commandsPlaying = playing.first;
    f.cpuPreview = playing.second;
    auto recording = rate([&] {
        Check(s.Click(e2e::kCapture) && s.WaitForText(e2e::kCapture, "Stop Capture"), "Capture");
    });
    f.commandsRecording = recording.first;
    f.cpuRecording = recording.second;
    Check(s.Click(e2e::kCapture) && s.WaitForText(e2e::kCapture, "Capture"), "Stop Capture");
    f.dropped = std::atol(s.Text(e2e::kDropped).c_str());
    s.Exit();
    return f;
}

// dvgrab capturing the camcorder to raw DV for `seconds`: its CPU seconds
// per minute (-1 when it cannot run).
double RunDvgrab(double seconds) {
    e2e::EmulatedBus bus;
    const int frames = static_cast<int>(seconds * 25) + 250;
    const std::string tape = bus.MakeTape("tape.dv", dv::Standard::PAL, frames);
    // dvgrab sends no PLAY of its own: the tape plays from the start.
    bus.Add("camcorder name=camcorder1 tape=" + tape + " vendor=Acme model=DV-1000 playing");
    const e2e::Options o = bus.ProgramOptions();
    std::vector<std::string> env(o.env);
    for (char** e = environ; *e; ++e) env.push_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string out = bus.Dir() + "/grab-";
    const std::string limit = std::to_string(static_cast<int>(seconds * 25));
    std::vector<std::string> args = {"dvgrab", "-format", "raw", "-frames", limit, out};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "dvgrab", nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
    const auto t0 = Clock::now();
    double cpu = 0;
    int status = 0;
    // Sampled until it ends (its own CPU figure is gone once it is reaped).
    while (waitpid(pid, &status, WNOHANG) == 0) {
        const double c = e2e::ProcessCpuSeconds(pid);
        if (c >= 0) cpu = c;
        std::this_thread::sleep_for(milliseconds(100));
        if (Clock::now() - t0 > std::chrono::duration<double>(seconds * 3 + 30)) kill(pid, SIGKILL);
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    return elapsed > 0 ? cpu * 60 / elapsed : -1;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 20;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[++i]);
    std::printf("firewire_bench: %.0f s per run, PAL, the emulated camcorder at real time\n\n",
                seconds);
    const ProgramFigures p = RunProgram(seconds);
    const double grab = RunDvgrab(seconds);

    std::printf("| AV/C commands a second to the deck | figure | goal |\n|---|---|---|\n");
    std::printf("| previewing, tape stopped | %.1f | at most 20 |\n", p.commandsStopped);
    std::printf("| previewing, tape playing | %.1f | at most 20 |\n", p.commandsPlaying);
    std::printf("| recording | %.1f | at most 20 |\n\n", p.commandsRecording);

    std::printf("| CPU s per minute, receiving in real time | figure |\n|---|---|\n");
    std::printf("| the program, playing with preview | %.2f |\n", p.cpuPreview);
    std::printf("| the program, recording Type-2 with preview | %.2f |\n", p.cpuRecording);
    std::printf("| dvgrab -format raw | %.2f |\n", grab);
    std::printf("goal: recording no more than dvgrab plus the preview: %.2f <= %.2f + %.2f\n",
                p.cpuRecording, grab, p.cpuPreview);
    std::printf("frames dropped while recording: %ld\n\n", p.dropped);

    // The path a frame takes: the receive thread copies each packet's
    // blocks out of the bus's buffer into a frame buffer, which goes to the
    // capture stream's queue without a copy; the streaming thread copies
    // the frame into the graph's sample, which travels by reference to the
    // multiplexer; the file writer copies it into its write queue.
    std::printf("| copies of a frame between bus and file | figure | goal |\n|---|---|---|\n");
    std::printf("| in the driver (bus buffer to frame, frame to sample) | 2 | at most 1 |\n");
    std::printf("| in the file writer (sample to write queue) | 1 | |\n");
    return 0;
}
