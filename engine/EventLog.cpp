// The program's log.
#include "EventLog.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace {

// The log is started anew (the old one kept as .1) past this size.
constexpr std::uintmax_t kRotateBytes = 512 * 1024;

std::mutex g_logLock;

std::string Stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

}  // namespace

std::string LogFilePath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state) return std::string(state) + "/tapeloom/tapeloom.log";
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.local/state/tapeloom/tapeloom.log";
    return std::string();
}

void LogLine(const std::string& line) {
    const std::string text = Stamp() + " " + line + "\n";
    std::lock_guard<std::mutex> lock(g_logLock);
    std::fputs(text.c_str(), stderr);
    const std::string path = LogFilePath();
    if (path.empty()) return;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    const std::uintmax_t size = std::filesystem::file_size(path, ignored);
    if (size != static_cast<std::uintmax_t>(-1) && size + text.size() > kRotateBytes)
        std::filesystem::rename(path, path + ".1", ignored);
    if (FILE* file = std::fopen(path.c_str(), "a")) {
        std::fputs(text.c_str(), file);
        std::fclose(file);
    }
}

bool LogStep(const char* step, HRESULT hr) {
    if (SUCCEEDED(hr)) return true;
    char text[256];
    std::snprintf(text, sizeof text, "failure: %s: result 0x%08X", step, static_cast<unsigned>(hr));
    LogLine(text);
    return false;
}
