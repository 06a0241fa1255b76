// End-to-end support: the real program on virtual decks, driven from
// outside through the display's automation socket as a user drives it
// (clicks, choices, keys, the file dialog), and the files it leaves
// checked with ffprobe and the settings file read as text.  No test
// framework in here: the capture benchmark drives the program with it too.
#pragma once

#include <signal.h>

#include <QImage>
#include <algorithm>
#include <fstream>
#include <functional>
#include <regex>

#include "testsupport/programdriver.h"

namespace e2e {

using namespace program_test;

inline const char kMainTitle[] = "Quindle Tapeloom";
inline const char kDeck[] = "Virtual DV Deck";

// Controls.
enum {
    kPreviewFrame = 1023,
    kExit = 1,
    kPlay = 1003,
    kPause = 1004,
    kStop = 1005,
    kTimecode = 1015,
    kTransportMode = 1016,
    kDeviceType = 1018,
    kCapture = 1019,
    kDropped = 1020,
    kCaptured = 1021,
    kCaptureFile = 1022,
    kBrowse = 1029,
    kDevice = 1031,
    kFileType = 1032,
};

// CPU seconds (user and system) a process has used so far; -1 when unknown.
inline double ProcessCpuSeconds(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto paren = stat.rfind(')');
    if (paren == std::string::npos) return -1;
    // After the name: state is field 3, utime and stime are fields 14 and 15.
    std::istringstream fields(stat.substr(paren + 2));
    std::string field;
    for (int i = 3; i < 14; ++i) fields >> field;
    unsigned long long user = 0, system = 0;
    if (!(fields >> user >> system)) return -1;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A memory figure of a process's status in kilobytes: "VmRSS" (resident
// now), "VmHWM" (the highest resident set so far); -1 when unknown.
inline long ProcessStatusKilobytes(int pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
    return -1;
}

inline std::string ScreenshotPath(const std::string& name) {
    std::filesystem::create_directories(SCREENSHOT_DIR);
    return std::string(SCREENSHOT_DIR) + "/" + name + ".png";
}

// Output of a shell command.
inline std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

inline std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// What ffprobe makes of a file: its streams ("video dvvideo", "audio
// pcm_s16le 48000") and the video frames it reads (-1: it cannot open it).
struct Probe {
    std::vector<std::string> streams;
    long videoFrames = -1;
    bool HasStream(const std::string& s) const {
        return std::find(streams.begin(), streams.end(), s) != streams.end();
    }
};

inline Probe ProbeFile(const std::string& path) {
    Probe p;
    const std::string out = Output(
        "ffprobe -v error -count_packets -show_entries "
        "stream=codec_type,codec_name,sample_rate,nb_read_packets -of csv=p=0 " +
        Quote(path) + " 2>/dev/null");
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        // codec_name,codec_type[,sample_rate],nb_read_packets
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string x; std::getline(fields, x, ',');) f.push_back(x);
        if (f.size() < 3) continue;
        std::string s = f[1] + " " + f[0];
        if (f[1] == "audio" && f.size() >= 4) s += " " + f[2];
        p.streams.push_back(s);
        if (f[1] == "video" && p.videoFrames < 0) p.videoFrames = std::atol(f.back().c_str());
    }
    return p;
}

// Frames ffmpeg decodes from the file's video, end to end.
inline long DecodedFrames(const std::string& path) {
    const std::string out = Output("ffmpeg -v error -i " + Quote(path) +
                                   " -map 0:v:0 -f null - 2>&1 -progress pipe:1 | "
                                   "grep '^frame=' | tail -1");
    return out.size() > 6 ? std::atol(out.c_str() + 6) : -1;
}

// The settings file's values, as text ("sz:..." and "dword:...").
inline std::map<std::string, std::string> Settings(const std::string& registry) {
    std::map<std::string, std::string> values;
    std::ifstream in(registry);
    const std::regex value("^\"([^\"]+)\"=(sz|dword):\"?(.*?)\"?$");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_match(line, m, value)) values[m[1]] = m[3];
    }
    return values;
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The settings file as the program writes it, with these values.
inline std::string RegistryText(const std::string& captureFile, int fileType) {
    std::string escaped;
    for (unsigned char c : captureFile) {
        if (c == '\\' || c == '"') escaped += '\\';
        if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            escaped += hex;
        } else {
            escaped += static_cast<char>(c);
        }
    }
    char type[16];
    std::snprintf(type, sizeof type, "%08x", fileType);
    return "TAPELOOM-REGISTRY 1\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quindle\\Tapeloom\\1.0]\n"
           "\"Capture File\"=sz:\"" +
           escaped + "\"\n\"File Type\"=dword:" + type + "\n";
}

struct Options {
    std::string decks = std::string(kDeck) + "=pal";
    std::string pacing = "realtime";
    std::vector<std::string> env;
    std::vector<std::string> prefix;
};

// One test's world (runtime directory, settings file, TEMP, automation
// socket) and the program running in it.
class Session {
public:
    explicit Session(Options options = Options()) : m_options(std::move(options)) {}
    ~Session() {
        if (m_process && !m_process->WaitForEnd(milliseconds(0))) m_process->Kill();
    }

    std::string Registry() const { return m_world.scratch() + "/registry"; }
    std::string Temp() const { return m_world.scratch() + "/temp"; }
    std::string Scratch() const { return m_world.scratch(); }
    std::string ControlFile() const { return m_world.scratch() + "/decks-unplugged"; }

    // Starts the program and waits for its main window and panel.
    bool Start() {
        std::vector<std::string> env = m_world.Environment();
        env.push_back("TAPELOOM_DECKS=" + m_options.decks);
        env.push_back("TAPELOOM_DECK_PACING=" + m_options.pacing);
        env.push_back("TAPELOOM_DECK_CONTROL=" + ControlFile());
        env.insert(env.end(), m_options.env.begin(), m_options.env.end());
        m_process = std::make_unique<Program>(env, m_options.prefix);
        m_connection = m_world.server().Accept();
        if (!m_connection) return false;
        m_connection->Go();
        auto main = m_connection->WaitForWindow(kMainTitle);
        if (!main) return false;
        m_main = main->hwnd;
        for (const auto& c : m_connection->Children(m_main))
            if (c.class_name == "#32770") m_panel = c.hwnd;
        return !m_panel.empty();
    }
    // Another copy of the program in the same world (its process only).
    std::unique_ptr<Program> StartAnother() {
        std::vector<std::string> env = m_world.Environment();
        env.push_back("TAPELOOM_DECKS=" + m_options.decks);
        env.insert(env.end(), m_options.env.begin(), m_options.env.end());
        return std::make_unique<Program>(env);
    }

    Connection& c() { return *m_connection; }
    Program& process() { return *m_process; }
    const std::string& main() const { return m_main; }
    const std::string& panel() const { return m_panel; }
    ProgramWorld& world() { return m_world; }

    std::optional<ChildWindow> Control(int id) {
        // The panel's id 1032 is also the main window's placeholder: the
        // panel's own children are asked first.
        if (auto c = m_connection->Child(m_panel, id)) return c;
        return m_connection->Child(m_main, id);
    }
    std::string Text(int id) {
        auto c = Control(id);
        return c ? c->text : "<no control>";
    }
    bool Click(int id) {
        auto c = Control(id);
        return c && m_connection->Ok("click " + c->hwnd);
    }
    // Clicks the button once it is enabled: a click on a disabled button is
    // lost, and the transport buttons come on with the panel's timer, a
    // moment after the Capture button.
    bool ClickWhenEnabled(int id, milliseconds limit = milliseconds(10000)) {
        return WaitFor([&] { return Enabled(id); }, limit) && Click(id);
    }
    bool Choose(int id, int index) {
        auto c = Control(id);
        return c && m_connection->Ok("choose " + c->hwnd + " " + std::to_string(index));
    }
    bool Shot(const std::string& name) {
        return m_connection->Ok("shot " + m_main + " " + ScreenshotPath(name));
    }
    bool WaitFor(const std::function<bool()>& cond, milliseconds limit = milliseconds(10000)) {
        const auto deadline = Clock::now() + limit;
        while (!cond()) {
            if (Clock::now() >= deadline) return false;
            std::this_thread::sleep_for(milliseconds(20));
        }
        return true;
    }
    bool WaitForText(int id, const std::string& text, milliseconds limit = milliseconds(10000)) {
        return WaitFor([&] { return Text(id) == text; }, limit);
    }
    // Ready to record: a device listed and the Capture button enabled.
    bool WaitUntilReady(milliseconds limit = milliseconds(15000)) {
        return WaitFor([&] { return Enabled(kCapture) && Text(kCapture) == "Capture"; }, limit);
    }
    bool Enabled(int id) {
        auto c = Control(id);
        if (!c) return false;
        for (const auto& w : m_connection->Request("enabled " + c->hwnd))
            if (w == "1") return true;
        return false;
    }
    // Lit pixels in the preview frame's picture (the frame is black
    // without one).
    long LitPreviewPixels(const std::string& name) {
        auto frame = Control(kPreviewFrame);
        if (!frame) return -1;
        const std::string path = ScreenshotPath(name);
        if (!m_connection->Ok("shot " + frame->hwnd + " " + path)) return -1;
        QImage image(QString::fromStdString(path));
        long lit = 0;
        for (int y = 0; y < image.height(); y += 4)
            for (int x = 0; x < image.width(); x += 4)
                if (qGray(image.pixel(x, y)) > 40) ++lit;
        return lit;
    }
    // Ends the program with its Exit button.
    bool Exit() {
        return Click(kExit) && m_process->WaitForEnd(milliseconds(30000)) && m_process->CleanExit();
    }

private:
    Options m_options;
    ProgramWorld m_world;
    std::unique_ptr<Program> m_process;
    std::unique_ptr<Connection> m_connection;
    std::string m_main, m_panel;
};

}  // namespace e2e
