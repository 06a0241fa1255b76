#include "writerhooks.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace media {

WriterHooks ParseWriterHooks(const std::string& text) {
    WriterHooks hooks;
    std::istringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        const size_t eq = item.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = item.substr(0, eq), value = item.substr(eq + 1);
        if (key == "checkpoints") {
            hooks.checkpoints = value != "off";
        } else if (key == "stall") {
            long ms = 0;
            double mb = 0;
            if (std::sscanf(value.c_str(), "%ld@%lf", &ms, &mb) == 2 && ms > 0 && mb >= 0) {
                hooks.faults.stallFor = std::chrono::milliseconds(ms);
                hooks.faults.stallAtOffset = static_cast<uint64_t>(mb * 1e6);
            }
        } else if (key == "report") {
            hooks.report = value;
        }
    }
    return hooks;
}

WriterHooks WriterHooksFromEnvironment() {
    const char* text = std::getenv("TAPELOOM_AVI_WRITER");
    return text ? ParseWriterHooks(text) : WriterHooks();
}

void WriterHooks::Apply(avi::AviWriterOptions& options) const {
    if (!checkpoints) options.checkpointInterval = std::chrono::milliseconds(0);
    options.faults = faults;
}

void WriterHooks::Report(const avi::AviWriterTotals& totals) const {
    if (report.empty()) return;
    if (FILE* f = std::fopen(report.c_str(), "a")) {
        std::fprintf(f, "%s\n", totals.Line().c_str());
        std::fclose(f);
    }
}

}  // namespace media
