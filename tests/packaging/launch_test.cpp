// The desktop entry's commands, run as a desktop runs them: the menu entry
// starts the program, and its second action starts it on the built-in
// virtual deck, ready to record, its tape playing into the preview.
//
// By default the entry is the source tree's and `tapeloom` on the PATH is
// the program just built.  With TAPELOOM_INSTALLED=1 it is the installed
// entry and program, on the X display in DISPLAY (CI runs this after
// installing the package, under Xvfb).
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "testsupport/e2e.h"

namespace {

using namespace e2e;

bool Installed() {
    const char* v = std::getenv("TAPELOOM_INSTALLED");
    return v && std::string(v) == "1";
}

// The keys of one group ("Desktop Entry", "Desktop Action <name>").
std::map<std::string, std::string> ReadGroup(const std::string& path, const std::string& group) {
    std::map<std::string, std::string> keys;
    std::ifstream in(path);
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inside = line == "[" + group + "]";
            continue;
        }
        const auto eq = line.find('=');
        if (inside && eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return keys;
}

// An Exec value split into its arguments as the desktop entry rules say:
// separated by spaces, an argument in double quotes may hold spaces and
// the escapes \" \` \$ \\; field codes (%f, %u, ...) are left out.
std::vector<std::string> SplitExec(const std::string& exec) {
    std::vector<std::string> args;
    std::string arg;
    bool quoted = false, any = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size()) {
                arg += exec[++i];
            } else if (c == '"') {
                quoted = false;
            } else {
                arg += c;
            }
        } else if (c == '"') {
            quoted = any = true;
        } else if (c == ' ') {
            if (any) args.push_back(arg);
            arg.clear();
            any = false;
        } else if (c == '%' && i + 1 < exec.size()) {
            ++i;
        } else {
            arg += c;
            any = true;
        }
    }
    if (any) args.push_back(arg);
    return args;
}

// `tapeloom` as the PATH finds it.
std::string OnPath(const std::string& name) {
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
    for (std::string dir; std::getline(path, dir, ':');)
        if (access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
    return "";
}

class DesktopEntry : public testing::Test {
protected:
    void SetUp() override {
        if (Installed()) {
            entry_ = INSTALLED_DESKTOP_FILE;
            ASSERT_TRUE(std::getenv("DISPLAY")) << "the installed program runs on an X display";
            ASSERT_EQ(OnPath("tapeloom"), "/usr/bin/tapeloom");
        } else {
            // The build's program under the installed name, first on the PATH.
            entry_ = DESKTOP_FILE;
            const std::string bin = scratch_.Path() + "/bin";
            std::filesystem::create_directories(bin);
            std::filesystem::create_symlink(BUILT_PROGRAM, bin + "/tapeloom");
            saved_path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
            setenv("PATH", (bin + ":" + saved_path_).c_str(), 1);
        }
    }
    void TearDown() override {
        if (!Installed()) setenv("PATH", saved_path_.c_str(), 1);
    }

    // A session that runs the group's Exec line.  The command must end in
    // `tapeloom`: what comes before it (env and its settings) is the
    // prefix the session runs the program under.
    std::unique_ptr<Session> SessionFor(const std::string& group) {
        const auto keys = ReadGroup(entry_, group);
        if (!keys.count("Exec")) return nullptr;
        std::vector<std::string> args = SplitExec(keys.at("Exec"));
        if (args.empty() || args.back() != TAPELOOM_PROGRAM) return nullptr;
        args.pop_back();
        Options options;
        options.decks = "";  // only the entry's own settings choose a deck
        options.prefix = args;
        if (Installed()) options.env.push_back("QT_QPA_PLATFORM=xcb");
        return std::make_unique<Session>(options);
    }

    // Whether the X display shows a top-level window with the main title
    // whose window class is the entry's StartupWMClass (which lets a dock
    // put the window with its launcher).
    bool OnTheDisplay() {
        if (Output("xwininfo -root -tree").find("\"" + std::string(kMainTitle) + "\"") ==
            std::string::npos)
            return false;
        const std::string wm_class = ReadGroup(entry_, "Desktop Entry")["StartupWMClass"];
        const std::string props = Output("xprop -name " + Quote(kMainTitle) + " WM_CLASS");
        EXPECT_NE(props.find(", \"" + wm_class + "\""), std::string::npos) << props;
        return true;
    }

    std::string entry_;
    testsupport::ScratchDir scratch_;
    std::string saved_path_;
};

TEST_F(DesktopEntry, VirtualDeckActionStartsReadyToRecord) {
    ASSERT_EQ(ReadGroup(entry_, "Desktop Entry")["Actions"], "virtual-deck;");
    auto s = SessionFor("Desktop Action virtual-deck");
    ASSERT_TRUE(s) << "the action's Exec line does not run " << TAPELOOM_PROGRAM;
    ASSERT_TRUE(s->Start());
    ASSERT_TRUE(s->WaitUntilReady());
    EXPECT_EQ(s->Text(kDevice), kDeck);
    EXPECT_TRUE(s->WaitForText(kDeviceType, "720 x 576 DV PAL")) << s->Text(kDeviceType);
    // The tape plays into the preview frame: the DV decoder and the
    // display work where the program is installed.
    ASSERT_TRUE(s->ClickWhenEnabled(kPlay));
    long lit = 0;
    EXPECT_TRUE(s->WaitFor([&] { return (lit = s->LitPreviewPixels("launch-preview")) > 1000; },
                           milliseconds(5000)))
        << "preview frame stays dark: " << lit << " of the sampled pixels lit";
    if (Installed()) {
        EXPECT_TRUE(OnTheDisplay());
    }
    EXPECT_TRUE(s->Shot(Installed() ? "installed-virtual-deck" : "desktop-virtual-deck"));
    ASSERT_TRUE(s->Exit());
}

TEST_F(DesktopEntry, MenuEntryStartsWithoutDecks) {
    auto s = SessionFor("Desktop Entry");
    ASSERT_TRUE(s) << "the entry's Exec line does not run " << TAPELOOM_PROGRAM;
    ASSERT_TRUE(s->Start());
    EXPECT_EQ(s->Text(kDevice), "No Supported DV Devices Found");
    EXPECT_FALSE(s->Enabled(kCapture));
    if (Installed()) {
        EXPECT_TRUE(OnTheDisplay());
    }
    ASSERT_TRUE(s->Exit());
}

}  // namespace
