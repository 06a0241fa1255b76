// Helpers of the panel's tests: the real capture panel in a host window on
// the test's thread (the display's thread), with the virtual deck, driven
// through the messages a user's clicks and choices produce.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CapturePanel.h"
#include "enginetest.h"

namespace paneltest {

class PanelTest : public enginetest::EngineTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the panel in its host window and shows it, as the main window
    // does; showing it starts the worker.
    void Open();
    // Destroys the panel.  A shutdown that has not ended after 30 s ends
    // the test program with a failure.
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
    // Keeps a picture of the panel as test output.
    void Shot(const std::string& name);

    std::unique_ptr<CCapturePanel> m_panel;
    HWND m_hHost = NULL;
};

}  // namespace paneltest
