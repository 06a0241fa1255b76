// Helpers of the panel's tests: the program's main window with the real
// capture panel in it, on the test's thread (the display's thread), on the
// virtual deck, driven through the messages a user's clicks and choices
// produce.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CapturePanel.h"
#include "MainDialog.h"
#include "testsupport/enginetest.h"

namespace paneltest {

class PanelTest : public enginetest::EngineTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the main window, which creates and shows the panel; showing
    // it starts the worker.
    void Open();
    // Closes the main window and with it the panel.  A shutdown that has
    // not ended after 30 s ends the test program with a failure.
    void Close();

    // Runs the thread's messages until the condition holds; false after
    // the limit.
    bool PumpUntil(const std::function<bool()>& cond, int ms = 15000);
    void Pump(int ms);
    // Until the panel previews: the Capture button is enabled.
    bool WaitForPreview(int ms = 15000);

    std::string Text(int id);
    bool Enabled(int id);
    std::vector<std::string> Items(int id);
    int Selection(int id);
    // The user's click on a button (nothing while it is disabled).
    void Click(int id);
    // The user's choice of a combo box item (nothing while it is disabled).
    void Choose(int id, int index);
    // Keeps a picture of the main window as test output.
    void Shot(const std::string& name);

    // The transport mode the deck reports now.
    long DeckMode();
    // An event from a filter of the running graph, as a filter raises it.
    void RaiseGraphEvent(long code, LONG_PTR param1, LONG_PTR param2);

    // m_app and m_main (EngineTest's) are the application and its main
    // window, where the live picture goes.
    CCapturePanel* m_panel = nullptr;  // the main window's
};

// What ffprobe says about a file's streams: "codec,type,frames" lines.
std::string Probe(const std::string& path);
// The video frames ffprobe counts in a file; -1 when it cannot read it.
long ProbeVideoFrames(const std::string& path);
// The stream types in an AVI file's stream headers, e.g. "vids,auds".
std::string StreamTypes(const std::string& path);
// The file's identity on disk (a file deleted and made again has another).
unsigned long FileIdentity(const std::string& path);

}  // namespace paneltest
