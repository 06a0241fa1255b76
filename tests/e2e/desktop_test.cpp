// The program on other desktops: a high-density screen (Qt's scale
// factor 2) and a Wayland compositor (weston, headless).
#include <gtest/gtest.h>

#include "testsupport/e2e.h"

namespace {

using namespace e2e;

struct Look {
    QImage main, play, preview;
    ChildWindow playRect, previewRect;  // in window-system (logical) pixels
    long lit = 0;                       // sampled lit pixels of the preview
};

// Pixels of the button's picture and text: dark ones on the face.
long DarkPixels(const QImage& image) {
    long dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 80) ++dark;
    return dark;
}

// The main window, the Play button and the preview once the deck plays.
Look Observe(const std::string& scale) {
    Options options;
    options.env = {"QT_SCALE_FACTOR=" + scale};
    Session s(options);
    Look look;
    if (!s.Start() || !s.WaitUntilReady() || !s.ClickWhenEnabled(kPlay)) return look;
    s.WaitFor([&] { return (look.lit = s.LitPreviewPixels("scale" + scale + "-frame")) > 1000; });
    look.playRect = s.Control(kPlay).value_or(ChildWindow{});
    look.previewRect = s.Control(kPreviewFrame).value_or(ChildWindow{});
    const std::string name = "scale" + scale;
    s.c().Ok("shot " + look.playRect.hwnd + " " + ScreenshotPath(name + "-play"));
    s.c().Ok("shot " + look.previewRect.hwnd + " " + ScreenshotPath(name + "-preview"));
    s.Shot(name);
    look.main.load(QString::fromStdString(ScreenshotPath(name)));
    look.play.load(QString::fromStdString(ScreenshotPath(name + "-play")));
    look.preview.load(QString::fromStdString(ScreenshotPath(name + "-preview")));
    s.Exit();
    return look;
}

TEST(HighDensity, WindowLayoutPicturesAndPreviewScaleAsOne) {
    const Look one = Observe("1");
    const Look two = Observe("2");
    ASSERT_FALSE(one.main.isNull());
    ASSERT_FALSE(two.main.isNull());
    // The layout in dialog units is the same; every picture has twice the
    // pixels each way.
    const std::pair<const ChildWindow*, const ChildWindow*> rects[] = {
        {&one.playRect, &two.playRect}, {&one.previewRect, &two.previewRect}};
    for (const auto& [a, b] : rects) {
        EXPECT_EQ(a->right - a->left, b->right - b->left);
        EXPECT_EQ(a->bottom - a->top, b->bottom - b->top);
    }
    const std::pair<const QImage*, const QImage*> images[] = {
        {&one.main, &two.main}, {&one.play, &two.play}, {&one.preview, &two.preview}};
    for (const auto& [a, b] : images) {
        EXPECT_EQ(b->width(), 2 * a->width());
        EXPECT_EQ(b->height(), 2 * a->height());
    }
    // The button's picture grows with the button: four times the pixels.
    const double picture = double(DarkPixels(two.play)) / std::max(1L, DarkPixels(one.play));
    EXPECT_GT(picture, 3.2);
    EXPECT_LT(picture, 4.8);
    // The preview fills its frame at both scales (the lit share of the
    // sampled pixels: LitPreviewPixels samples every fourth pixel).
    const double share1 = double(one.lit) / (one.preview.width() * one.preview.height() / 16.0);
    const double share2 = double(two.lit) / (two.preview.width() * two.preview.height() / 16.0);
    EXPECT_GT(share1, 0.2) << "the preview is dark";
    EXPECT_NEAR(share2, share1, 0.05);
    std::printf("lit share of the preview: %.3f at scale 1, %.3f at scale 2; picture %.2f\n",
                share1, share2, picture);
}

// A headless weston with its socket in a private runtime directory, its
// log in a file there.
class Weston {
public:
    Weston() {
        const std::string run = dir_.Path() + "/wl";
        std::filesystem::create_directories(run);
        std::filesystem::permissions(run, std::filesystem::perms::owner_all);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0) env.push_back(*e);
        env.push_back("XDG_RUNTIME_DIR=" + run);
        std::vector<std::string> args = {"weston", "--backend=headless-backend.so",
                                         "--socket=tapeloom", "--idle-time=0",
                                         "--log=" + dir_.Path() + "/weston.log"};
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        if (posix_spawnp(&pid_, "weston", nullptr, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
    }
    ~Weston() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    std::string Socket() const { return dir_.Path() + "/wl/tapeloom"; }
    bool WaitUntilUp() {
        const auto deadline = Clock::now() + milliseconds(10000);
        while (pid_ > 0 && !std::filesystem::exists(Socket())) {
            if (Clock::now() > deadline || waitpid(pid_, nullptr, WNOHANG) == pid_) return false;
            std::this_thread::sleep_for(milliseconds(20));
        }
        return pid_ > 0;
    }

private:
    testsupport::ScratchDir dir_;
    pid_t pid_ = -1;
};

TEST(Wayland, MainWindowPreviewAndRecording) {
    if (Output("command -v weston").empty()) GTEST_SKIP() << "weston is not installed";
    Weston weston;
    ASSERT_TRUE(weston.WaitUntilUp());
    Options options;
    options.env = {"QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=" + weston.Socket()};
    Session s(options);
    ASSERT_TRUE(s.Start());
    EXPECT_EQ(s.c().Request("platform"), std::vector<std::string>{"wayland"});
    ASSERT_TRUE(s.WaitUntilReady());
    ASSERT_TRUE(s.ClickWhenEnabled(kPlay));
    long lit = 0;
    EXPECT_TRUE(s.WaitFor([&] { return (lit = s.LitPreviewPixels("wayland-frame")) > 1000; }))
        << lit;
    const std::string file = s.Text(kCaptureFile);
    ASSERT_TRUE(s.Click(kCapture));
    ASSERT_TRUE(s.WaitForText(kCapture, "Stop Capture"));
    std::this_thread::sleep_for(milliseconds(2000));
    ASSERT_TRUE(s.Click(kCapture));
    ASSERT_TRUE(s.WaitForText(kCapture, "Capture"));
    EXPECT_TRUE(s.Shot("wayland"));
    // The About box, a second top-level window, opens over the main window
    // and closes with Escape.
    ASSERT_TRUE(s.Click(1042));
    auto about = s.c().WaitForWindow("About Tapeloom", milliseconds(10000));
    ASSERT_TRUE(about.has_value());
    EXPECT_TRUE(s.c().Ok("key " + about->hwnd + " escape"));
    EXPECT_TRUE(s.WaitFor([&] { return !s.c().Window("About Tapeloom"); }));
    // A second start asks the running program to come forward and ends;
    // raising is the compositor's choice on Wayland, the request must not
    // disturb the running program.
    std::unique_ptr<Program> second = s.StartAnother();
    EXPECT_TRUE(second->WaitForEnd(milliseconds(15000)) && second->CleanExit());
    EXPECT_TRUE(s.c().Window(kMainTitle).has_value());
    ASSERT_TRUE(s.Exit());
    const Probe p = ProbeFile(file);
    EXPECT_TRUE(p.HasStream("video dvvideo")) << ::testing::PrintToString(p.streams);
    EXPECT_GT(p.videoFrames, 30);
}

}  // namespace
