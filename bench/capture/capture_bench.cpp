// Capture figures, printed side by side in one run, each next to its goal:
//
//  - unpaced throughput (frames a second) through the capture graphs the
//    program builds (Type-1 and Type-2, preview on and off), beside the
//    program itself recording Type-2 with preview, `ffmpeg -c copy` of the
//    same frames into an AVI and `cp` of the bytes;
//  - the program recording with preview at the tape's own rate: CPU
//    seconds per minute, dropped frames, on an idle machine and with one
//    core kept busy by another process;
//  - peak memory (resident set) of each run, the program's included;
//  - the time from the program's start to the Capture button enabled and
//    to the first preview frame (median and longest of a few starts).
//
// Each graph run is a process of its own (this program started again with
// --run ...), so its CPU time and peak memory are its own.  The graphs are
// made with the calls the program's engine makes: the virtual deck's
// capture pin into the AVI multiplexer (Type-1) or through the DV splitter
// (Type-2), the preview through the smart tee, the DV decoder at half size
// and the video renderer in a window on the display.  Recording is on from
// the first frame.  The program binary is started with no settings and
// driven from outside through the display's automation socket, as the
// end-to-end tests drive it.  Asserts nothing.
//
//   capture_bench [--frames N] [--seconds S] [--starts N] [--dir D] [--quick]
//     --frames   frames of each unpaced run (default 1500: a minute of PAL)
//     --seconds  length of each real-time run (default 300)
//     --starts   starts of the program timed (default 5)
//     --dir      where the files go (default a new directory in /var/tmp)
//     --quick    no real-time runs
#include <dshow.h>
#include <edevdefs.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <uuids.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "devices/virtualdeck.h"
#include "dv/dvtesttape.h"
#include "qt/display.h"
#include "testsupport/e2e.h"
#include "testsupport/scratchdir.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

long PeakKilobytes() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// ---- one run, in a process of its own ---------------------------------------

struct RunConfig {
    int type = 2;  // 1: interleaved stream; 2: video and audio streams
    bool preview = true;
    bool unpaced = true;
    long frames = 1500;    // unpaced: frames to record
    double seconds = 300;  // real time: length
    std::string file;
};

template <class T>
bool Query(IUnknown* p, REFIID iid, T** out) {
    *out = nullptr;
    return p && SUCCEEDED(p->QueryInterface(iid, reinterpret_cast<void**>(out))) && *out;
}

// The recording branch and the preview, as the engine builds them.
bool BuildGraph(const RunConfig& run, IGraphBuilder* graph, ICaptureGraphBuilder2* builder,
                IBaseFilter* device, HWND frame) {
    IBaseFilter* mux = nullptr;
    IFileSinkFilter* sink = nullptr;
    const std::wstring file = Wide(run.file);
    IBaseFilter* splitter = nullptr;
    if (run.type == 2) {
        if (FAILED(CoCreateInstance(CLSID_DVSplitter, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IBaseFilter, reinterpret_cast<void**>(&splitter))) ||
            FAILED(graph->AddFilter(splitter, L"DV Splitter")))
            return false;
    }
    if (FAILED(builder->SetOutputFileName(&MEDIASUBTYPE_Avi, file.c_str(), &mux, &sink)) || !mux)
        return false;
    IConfigAviMux* config = nullptr;
    if (Query(mux, IID_IConfigAviMux, &config)) {
        config->SetOutputCompatibilityIndex(TRUE);
        config->Release();
    }
    IConfigInterleaving* interleaving = nullptr;
    if (Query(mux, IID_IConfigInterleaving, &interleaving)) {
        interleaving->put_Mode(INTERLEAVE_NONE_BUFFERED);
        interleaving->Release();
    }
    bool ok;
    if (run.type == 1) {
        ok = SUCCEEDED(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, device,
                                             nullptr, mux));
    } else {
        ok = SUCCEEDED(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, device,
                                             nullptr, splitter)) &&
             SUCCEEDED(builder->RenderStream(nullptr, nullptr, splitter, nullptr, mux)) &&
             SUCCEEDED(builder->RenderStream(nullptr, nullptr, splitter, nullptr, mux));
        splitter->Release();
    }
    mux->Release();
    if (sink) sink->Release();
    if (!ok) return false;
    if (run.preview) {
        if (FAILED(builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved, device,
                                         nullptr, nullptr)))
            return false;
        IBaseFilter* decoder = nullptr;
        graph->FindFilterByName(L"DV Video Decoder", &decoder);
        IIPDVDec* dec = nullptr;
        if (Query(decoder, IID_IIPDVDec, &dec)) {
            dec->put_IPDisplay(DVRESOLUTION_HALF);
            dec->Release();
        }
        if (decoder) decoder->Release();
        IVideoWindow* window = nullptr;
        if (!Query(graph, IID_IVideoWindow, &window)) return false;
        window->put_Owner(reinterpret_cast<OAHWND>(frame));
        long style = 0;
        window->get_WindowStyle(&style);
        window->put_WindowStyle(style & static_cast<long>(0xF930FFFFu));
        window->put_MessageDrain(reinterpret_cast<OAHWND>(frame));
        window->SetWindowPosition(0, 0, 360, 288);
        window->put_Visible(OATRUE);
        window->Release();
    }
    // Recording from the first frame on.
    REFERENCE_TIME start = 0, stop = MAXLONGLONG;
    return SUCCEEDED(
        builder->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, &start, &stop, 0, 0));
}

int RunOne(const RunConfig& run) {
    setenv("TAPELOOM_DECKS", "Bench Deck=pal", 1);
    setenv("TAPELOOM_DECK_PACING", run.unpaced ? "unpaced" : "realtime", 1);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qt_display::Install();
    CoInitialize(nullptr);
    const double cpuStart = CpuSeconds();

    // The preview frame: a plain window on the display thread (this one).
    HWND frame = CreateWindowEx(0, "STATIC", "", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 360, 288,
                                nullptr, nullptr, nullptr, nullptr);
    ShowWindow(frame, SW_SHOW);

    ICreateDevEnum* devEnum = nullptr;
    IEnumMoniker* monikers = nullptr;
    IMoniker* moniker = nullptr;
    IBaseFilter* device = nullptr;
    IGraphBuilder* graph = nullptr;
    ICaptureGraphBuilder2* builder = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, reinterpret_cast<void**>(&devEnum))) ||
        devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK ||
        monikers->Next(1, &moniker, nullptr) != S_OK ||
        FAILED(BindMoniker(moniker, 0, IID_IBaseFilter, reinterpret_cast<void**>(&device))) ||
        FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&graph))) ||
        FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICaptureGraphBuilder2, reinterpret_cast<void**>(&builder))) ||
        FAILED(builder->SetFiltergraph(graph)) ||
        FAILED(graph->AddFilter(device, L"Tapeloom Device")) ||
        !BuildGraph(run, graph, builder, device, frame)) {
        std::fprintf(stderr, "capture_bench: the graph could not be built\n");
        return 1;
    }
    IAMDroppedFrames* dropped = nullptr;
    IAMExtTransport* transport = nullptr;
    IMediaControl* control = nullptr;
    builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, device,
                           IID_IAMDroppedFrames, reinterpret_cast<void**>(&dropped));
    Query(device, IID_IAMExtTransport, &transport);
    Query(graph, IID_IMediaControl, &control);
    if (!dropped || !transport || !control) return 1;

    transport->put_Mode(ED_MODE_PLAY);
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    control->Run();
    SetTimer(frame, 1, 10, nullptr);
    long delivered = 0, lost = 0;
    for (;;) {
        MSG msg;
        if (GetMessage(&msg, nullptr, 0, 0) <= 0) break;
        DispatchMessage(&msg);
        if (msg.message != WM_TIMER) continue;
        dropped->GetNumNotDropped(&delivered);
        if (run.unpaced ? delivered >= run.frames : Seconds(t0) >= run.seconds) break;
    }
    control->Stop();  // the file is finalised here
    const double wall = Seconds(t0);
    const double cpu = CpuSeconds() - cpu0;
    dropped->GetNumNotDropped(&delivered);
    dropped->GetNumDropped(&lost);
    KillTimer(frame, 1);

    control->Release();
    transport->Release();
    dropped->Release();
    builder->Release();
    graph->Release();
    device->Release();
    moniker->Release();
    monikers->Release();
    devEnum->Release();
    DestroyWindow(frame);
    std::printf("RESULT wall=%.3f cpu=%.3f delivered=%ld dropped=%ld peak_kb=%ld setup_cpu=%.3f\n",
                wall, cpu, delivered, lost, PeakKilobytes(), cpu0 - cpuStart);
    CoUninitialize();
    return 0;
}

// ---- the orchestrating process ----------------------------------------------

using e2e::Output;
using e2e::Quote;

// Runs a shell command and returns its wall time in seconds (-1 on failure).
double Timed(const std::string& command) {
    const auto t0 = Clock::now();
    const int status = std::system(command.c_str());
    return status == 0 ? Seconds(t0) : -1.0;
}

long VideoFrames(const std::string& file) { return e2e::ProbeFile(file).videoFrames; }

struct Result {
    bool ok = false;
    double wall = 0, cpu = 0, setupCpu = 0;
    long delivered = 0, dropped = 0, peakKb = 0, fileFrames = -1;
    double queuePeakMb = -1;  // the AVI writer's queue at its fullest
};

Result Spawn(const std::string& self, const RunConfig& run) {
    std::vector<std::string> args = {self,
                                     "--run",
                                     std::to_string(run.type),
                                     run.preview ? "preview" : "nopreview",
                                     run.unpaced ? "unpaced" : "realtime",
                                     std::to_string(run.frames),
                                     std::to_string(run.seconds),
                                     run.file};
    std::string command;
    for (const auto& a : args) command += Quote(a) + " ";
    Result r;
    const std::string out = Output(command);
    const auto at = out.find("RESULT ");
    if (at == std::string::npos) return r;
    std::istringstream in(out.substr(at + 7));
    std::map<std::string, double> v;
    for (std::string field; in >> field;) {
        const auto eq = field.find('=');
        if (eq != std::string::npos) v[field.substr(0, eq)] = std::atof(field.c_str() + eq + 1);
    }
    r.ok = true;
    r.wall = v["wall"];
    r.cpu = v["cpu"];
    r.setupCpu = v["setup_cpu"];
    r.delivered = static_cast<long>(v["delivered"]);
    r.dropped = static_cast<long>(v["dropped"]);
    r.peakKb = static_cast<long>(v["peak_kb"]);
    r.fileFrames = VideoFrames(run.file);
    return r;
}

// ---- the real program, driven from outside ----------------------------------
//
// The program binary started as a user starts it, with no settings, on the
// built-in virtual deck, and driven through the display's automation
// socket only (clicks and screenshots, as the end-to-end scenarios do).

// A fresh home for one start: no settings, no configuration.  The cache
// stays this process's, since it holds the virtual deck's generated tape
// (a deck's tape is there before the program starts).
e2e::Options ProgramOptions(const std::string& home, const std::string& temp, const char* pacing) {
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(temp);
    e2e::Options options;
    options.pacing = pacing;
    options.env = {
        "HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
        "XDG_DATA_HOME=" + home + "/.local/share",
        "XDG_CACHE_HOME=" + std::filesystem::path(dv::TestTapeCacheDir()).parent_path().string(),
        "TEMP=" + temp};
    return options;
}

// Looks at the program: their number, total and longest time.
struct Looks {
    int count = 0;
    double seconds = 0, longest = 0;
    void Add(double s) {
        ++count;
        seconds += s;
        longest = std::max(longest, s);
    }
    void Add(const Looks& other) {
        count += other.count;
        seconds += other.seconds;
        longest = std::max(longest, other.longest);
    }
    double AverageMs() const { return count ? seconds / count * 1000 : 0.0; }
};

// Whether a step of driving the program went as it should; one that did
// not is named on stderr (with how the program ended, if it has).
bool Step(e2e::Session& s, bool done, const char* what) {
    if (done) return true;
    std::fprintf(stderr, "capture_bench: the program: %s failed", what);
    if (s.process().ended()) std::fprintf(stderr, " (wait status %#x)", s.process().status());
    std::fprintf(stderr, "\n");
    return false;
}

struct StartTimes {
    bool ok = false;
    // Seconds from the spawn to the main window shown, the Capture and
    // Play buttons enabled and picture in the preview frame.
    double window = -1, capture = -1, play = -1, picture = -1;
    // The looks at the program, at the panel and at the preview frame (a
    // figure is late by at most one look).
    Looks panel, frame;
};

// One start, from the spawn.  The program is looked at as fast as the
// automation answers: first whether the Capture button is enabled (the
// panel is ready), then the Play button, then screenshots of the preview
// frame until it shows picture (it is black without one).  The deck's tape
// stands still at start, so Play is clicked the moment it is enabled, as a
// user at the deck does; before that no picture can come.
StartTimes MeasureStart(const std::string& home, const std::string& temp) {
    StartTimes t;
    e2e::Options options = ProgramOptions(home, temp, "realtime");
    options.env.push_back("TAPELOOM_DECK_THREADING=0");
    e2e::Session s(options);
    if (!Step(s, s.Start(), "start")) return t;
    const auto spawn = s.process().started();
    t.window = Seconds(spawn);
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    auto look = [&](Looks& looks, const std::function<bool()>& seen) {
        while (Clock::now() < deadline) {
            const auto begin = Clock::now();
            const bool yes = seen();
            looks.Add(Seconds(begin));
            if (yes) return Seconds(spawn);
        }
        return -1.0;
    };
    t.capture = look(t.panel, [&] { return s.Enabled(e2e::kCapture); });
    if (!Step(s, t.capture >= 0, "Capture enabled")) return t;
    t.play = look(t.panel, [&] { return s.Enabled(e2e::kPlay); });
    if (!Step(s, t.play >= 0 && s.Click(e2e::kPlay), "Play")) return t;
    t.picture = look(t.frame, [&] { return s.LitPreviewPixels("bench-start") > 1000; });
    t.ok = Step(s, t.picture >= 0, "picture") && Step(s, s.Exit(), "Exit");
    return t;
}

// Seconds of tape the panel shows as captured ("hh:mm:ss"); -1 when unreadable.
long CapturedSeconds(const std::string& text) {
    int h = 0, m = 0, sec = 0;
    return std::sscanf(text.c_str(), "%d:%d:%d", &h, &m, &sec) == 3 ? h * 3600L + m * 60L + sec
                                                                    : -1;
}

// The program records `frames` frames of Type-2 with preview from the
// deck (unpaced, or at the tape's own rate), started and stopped with its
// Capture button.  The peak is the whole process's, start-up included, read
// just before it is closed; the dropped frames are the panel's own count.
Result RecordWithProgram(const std::string& home, const std::string& temp, long frames,
                         const char* pacing, const std::string& writerHooks = std::string()) {
    Result r;
    e2e::Options options = ProgramOptions(home, temp, pacing);
    // The writer's totals line (with its queue's high-water mark) is
    // reported into a file; the benchmark's hooks are added to it.
    const std::string report = temp + "/writer-totals.txt";
    options.env.push_back("TAPELOOM_AVI_WRITER=report=" + report +
                          (writerHooks.empty() ? "" : "," + writerHooks));
    e2e::Session s(options);
    if (!Step(s, s.Start(), "start") ||
        !Step(s, s.WaitUntilReady(std::chrono::milliseconds(30000)), "Capture enabled") ||
        !Step(s, s.ClickWhenEnabled(e2e::kPlay) && s.WaitForText(e2e::kTransportMode, "Play"),
              "Play"))
        return r;
    const int pid = s.process().pid();
    const double cpu0 = e2e::ProcessCpuSeconds(pid);
    const auto t0 = Clock::now();
    if (!Step(s, s.Click(e2e::kCapture) && s.WaitForText(e2e::kCapture, "Stop Capture"), "Capture"))
        return r;
    const long seconds = (frames + 24) / 25;
    if (!Step(s,
              s.WaitFor([&] { return CapturedSeconds(s.Text(e2e::kCaptured)) >= seconds; },
                        std::chrono::milliseconds(600000)),
              "recording") ||
        !Step(s,
              s.Click(e2e::kCapture) &&
                  s.WaitForText(e2e::kCapture, "Capture", std::chrono::milliseconds(60000)),
              "Stop Capture"))
        return r;
    r.wall = Seconds(t0);
    r.cpu = e2e::ProcessCpuSeconds(pid) - cpu0;
    r.peakKb = e2e::ProcessStatusKilobytes(pid, "VmHWM");
    r.dropped = std::atol(s.Text(e2e::kDropped).c_str());
    if (!Step(s, s.Exit(), "Exit")) return r;
    r.fileFrames = VideoFrames(temp + "/Tapeloom00000.avi");
    r.delivered = r.fileFrames;
    r.ok = r.fileFrames > 0;
    std::ifstream totals(report);
    std::string line;
    while (std::getline(totals, line)) {
        const size_t at = line.find("queue peak ");
        // The graph runs again for the preview after Stop Capture, and its
        // multiplexer closes an empty file at exit: the recording's peak is
        // the largest.
        if (at != std::string::npos)
            r.queuePeakMb = std::max(r.queuePeakMb, std::atof(line.c_str() + at + 11));
    }
    return r;
}

// Cores kept busy by other processes (one each) while it lives.
class BusyCores {
public:
    explicit BusyCores(int processes) {
        for (int i = 0; i < processes; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                volatile unsigned long n = 0;
                for (;;) n = n + 1;
            }
            if (pid > 0) m_pids.push_back(pid);
        }
    }
    ~BusyCores() {
        for (pid_t pid : m_pids) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

private:
    std::vector<pid_t> m_pids;
};

int Orchestrate(const std::string& self, long frames, double seconds, int starts, std::string dir,
                bool quick) {
    // Without a directory given, one of our own on disk (not a tmpfs: the
    // files run to gigabytes), removed at the end.
    std::optional<testsupport::ScratchDir> ownDir;
    if (dir.empty()) {
        ownDir.emplace("tapeloom-bench", "/var/tmp");
        if (ownDir->Path().empty()) return 1;
        dir = ownDir->Path();
    }
    std::filesystem::create_directories(dir);
    std::printf("capture_bench: %ld frames a run unpaced, %.0f s real time, files in %s\n", frames,
                seconds, dir.c_str());
    std::printf("machine: %u cores, load average at start %s", std::thread::hardware_concurrency(),
                Output("cut -d' ' -f1-3 /proc/loadavg").c_str());

    // The same frames as a raw DV file, for ffmpeg and cp.
    const std::string cached = dv::TestTapePath(dv::Standard::PAL);
    std::vector<char> tape;
    {
        std::ifstream in(cached, std::ios::binary);
        tape.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const size_t tapeFrames = tape.size() / dv::kFrameSizePAL;
    if (tapeFrames == 0) {
        std::printf("capture_bench: no test tape\n");
        return 1;
    }
    const std::string raw = dir + "/tape.dv";
    {
        std::ofstream out(raw, std::ios::binary);
        for (long i = 0; i < frames; ++i)
            out.write(tape.data() + (static_cast<size_t>(i) % tapeFrames) * dv::kFrameSizePAL,
                      dv::kFrameSizePAL);
    }
    (void)!std::system(("cat " + Quote(raw) + " > /dev/null").c_str());  // into the page cache
    const double mb = static_cast<double>(frames) * dv::kFrameSizePAL / 1e6;

    std::printf("\n%-40s %10s %8s %9s %8s %9s\n", "unpaced, PAL", "frames/s", "x real", "CPU s",
                "peak MB", "in file");
    auto line = [&](const char* name, double fps, double cpu, long peakKb, long inFile) {
        std::printf("%-40s %10.0f %8.1f %9.2f %8.0f %9ld\n", name, fps, fps / 25.0, cpu,
                    static_cast<double>(peakKb) / 1024.0, inFile);
    };
    for (int type : {1, 2}) {
        for (bool preview : {true, false}) {
            RunConfig run;
            run.type = type;
            run.preview = preview;
            run.frames = frames;
            run.file = dir + "/unpaced.avi";
            const Result r = Spawn(self, run);
            const std::string name = std::string("Type-") + std::to_string(type) +
                                     (preview ? ", preview on" : ", preview off");
            if (!r.ok) {
                std::printf("%-40s failed\n", name.c_str());
                continue;
            }
            line(name.c_str(), static_cast<double>(r.delivered) / r.wall, r.cpu, r.peakKb,
                 r.fileFrames);
            std::filesystem::remove(run.file);
        }
    }
    // The writer's checkpoints (the growing file made valid once a second)
    // against none, side by side.
    setenv("TAPELOOM_AVI_WRITER", "checkpoints=off", 1);
    for (int type : {1, 2}) {
        RunConfig run;
        run.type = type;
        run.preview = false;
        run.frames = frames;
        run.file = dir + "/unpaced.avi";
        const Result r = Spawn(self, run);
        const std::string name =
            std::string("Type-") + std::to_string(type) + ", preview off, no checkpoints";
        if (r.ok)
            line(name.c_str(), static_cast<double>(r.delivered) / r.wall, r.cpu, r.peakKb,
                 r.fileFrames);
        else
            std::printf("%-40s failed\n", name.c_str());
        std::filesystem::remove(run.file);
    }
    unsetenv("TAPELOOM_AVI_WRITER");
    for (bool checkpoints : {true, false}) {
        // The same recording in the program itself, driven from outside.
        const Result r = RecordWithProgram(dir + "/home-record", dir + "/program", frames,
                                           "unpaced", checkpoints ? "" : "checkpoints=off");
        const char* name = checkpoints ? "program, Type-2, preview on"
                                       : "program, Type-2, preview on, no checkpoints";
        if (r.ok)
            line(name, static_cast<double>(r.fileFrames) / r.wall, r.cpu, r.peakKb, r.fileFrames);
        else
            std::printf("%-40s failed\n", name);
        std::filesystem::remove_all(dir + "/home-record");
        std::filesystem::remove_all(dir + "/program");
    }
    const double ffmpeg = Timed("ffmpeg -v error -y -f dv -i " + Quote(raw) + " -c copy -f avi " +
                                Quote(dir + "/ffmpeg.avi"));
    if (ffmpeg > 0)
        line("ffmpeg -c copy, same frames", static_cast<double>(frames) / ffmpeg, -1, 0,
             VideoFrames(dir + "/ffmpeg.avi"));
    const double cp = Timed("cp " + Quote(raw) + " " + Quote(dir + "/copy.dv"));
    if (cp > 0) line("cp, same bytes", static_cast<double>(frames) / cp, -1, 0, frames);
    std::printf(
        "(%.0f MB each; goal: at least 20x real time unpaced with preview;\n"
        " peak MB is the whole process's; the program's includes its start-up)\n",
        mb);
    std::filesystem::remove(dir + "/ffmpeg.avi");
    std::filesystem::remove(dir + "/copy.dv");

    std::vector<double> toWindow, toCapture, toPlay, toPicture;
    Looks panel, frame;
    for (int i = 0; i < starts; ++i) {
        const std::string home = dir + "/home-start";
        const StartTimes t = MeasureStart(home, dir + "/program");
        std::filesystem::remove_all(home);
        std::filesystem::remove_all(dir + "/program");
        if (!t.ok) continue;
        toWindow.push_back(t.window);
        toCapture.push_back(t.capture);
        toPlay.push_back(t.play);
        toPicture.push_back(t.picture);
        panel.Add(t.panel);
        frame.Add(t.frame);
    }
    std::printf("\n%-40s %9s %9s\n", "start of the program, no settings", "median s", "max s");
    auto times = [&](const char* name, std::vector<double> v) {
        if (v.empty()) {
            std::printf("%-40s failed\n", name);
            return;
        }
        std::sort(v.begin(), v.end());
        std::printf("%-40s %9.3f %9.3f\n", name, v[v.size() / 2], v.back());
    };
    times("to the main window shown", toWindow);
    times("to the Capture button enabled", toCapture);
    times("to the Play button enabled", toPlay);
    times("to the first preview frame", toPicture);
    std::printf(
        "(%zu of %d starts; Play clicked once it is enabled; the window is seen\n"
        " within about 20 ms, the others are late by at most one look: at the panel\n"
        " %.0f ms on average, %.0f ms at most, at the preview frame (a screenshot)\n"
        " %.0f ms, %.0f ms at most; goal: first preview frame under 1 s; the deck\n"
        " threads no tape here: its second of threading is the deck's, not the\n"
        " program's)\n",
        toPicture.size(), starts, panel.AverageMs(), panel.longest * 1000, frame.AverageMs(),
        frame.longest * 1000);

    if (!quick) {
        std::printf("\n%-40s %9s %9s %9s %12s %8s %9s\n", "real time with preview, Type-2",
                    "seconds", "frames", "dropped", "CPU s/min", "peak MB", "queue MB");
        // The program itself records at the tape's own rate: its display,
        // status and statistics threads cost as much as the graph does.
        // Then under load: one core kept busy; both cores saturated by four
        // busy processes; the disk stalling for 5 s a third of the way in
        // (the writer thread held by a hook); and, for the cost of the
        // checkpoints, the idle run without them.
        struct Load {
            const char* name;
            int busy;
            std::string hooks;
        };
        const double stallMb = std::max(1.0, seconds / 3) * 3.8;
        const Load loads[] = {
            {"program, idle", 0, ""},
            {"program, one core kept busy", 1, ""},
            {"program, both cores saturated (4 procs)", 4, ""},
            {"program, disk stalls 5 s", 0, "stall=5000@" + std::to_string(stallMb)},
            {"program, idle, no checkpoints", 0, "checkpoints=off"},
        };
        for (const Load& load : loads) {
            Result r;
            {
                BusyCores busy(load.busy);
                r = RecordWithProgram(dir + "/home-realtime", dir + "/program",
                                      std::lround(seconds * 25), "realtime", load.hooks);
            }
            if (!r.ok) {
                std::printf("%-40s failed\n", load.name);
                continue;
            }
            std::printf("%-40s %9.1f %9ld %9ld %12.2f %8.0f %9.1f\n", load.name, r.wall,
                        r.fileFrames, r.dropped, r.cpu / r.wall * 60.0,
                        static_cast<double>(r.peakKb) / 1024.0, r.queuePeakMb);
            std::filesystem::remove_all(dir + "/program");
            std::filesystem::remove_all(dir + "/home-realtime");
        }
        std::printf(
            "(goals: no frame dropped, also under load; under 6 CPU s a minute, i.e. under 10%% "
            "of one core;\n queue MB: the writer queue's high-water mark, of 32 MB)\n");
    }
    std::filesystem::remove(raw);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string self = argv[0];
    if (argc == 8 && std::strcmp(argv[1], "--run") == 0) {
        RunConfig run;
        run.type = std::atoi(argv[2]);
        run.preview = std::strcmp(argv[3], "preview") == 0;
        run.unpaced = std::strcmp(argv[4], "unpaced") == 0;
        run.frames = std::atol(argv[5]);
        run.seconds = std::atof(argv[6]);
        run.file = argv[7];
        return RunOne(run);
    }
    long frames = 1500;
    double seconds = 300;
    std::string dir;
    int starts = 5;
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frames" && i + 1 < argc)
            frames = std::max(25L, std::atol(argv[++i]));
        else if (a == "--seconds" && i + 1 < argc)
            seconds = std::max(1.0, std::atof(argv[++i]));
        else if (a == "--starts" && i + 1 < argc)
            starts = std::max(1, std::atoi(argv[++i]));
        else if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--quick")
            quick = true;
        else {
            std::fprintf(stderr,
                         "usage: capture_bench [--frames N] [--seconds S] [--starts N] [--dir D] "
                         "[--quick]\n");
            return 2;
        }
    }
    return Orchestrate(self, frames, seconds, starts, dir, quick);
}
