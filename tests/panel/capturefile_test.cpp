// Making a name the output file: the edit box, the field, and the browse
// dialog's choice on a case-sensitive file system.
#include <filesystem>

#include "testsupport/enginetest.h"

using namespace enginetest;

namespace {

class CaptureFileTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        WNDCLASSEX wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = "Test Panel Window";
        RegisterClassEx(&wc);
        m_hPanel = CreateWindowEx(0, "Test Panel Window", "", WS_POPUP, 0, 0, 100, 100, NULL, NULL,
                                  NULL, NULL);
        m_hEdit = CreateWindowEx(0, "Test Panel Window", "", WS_CHILD, 0, 0, 50, 10, m_hPanel,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(1022)), NULL, NULL);
        ASSERT_TRUE(m_hPanel && m_hEdit);
        panel.m_hWnd = m_hPanel;
    }
    void TearDown() override {
        panel.m_hWnd = NULL;
        DestroyWindow(m_hPanel);
        EngineTest::TearDown();
    }
    std::string EditText() {
        char text[4096] = "";
        GetWindowText(m_hEdit, text, sizeof text);
        return text;
    }
    HWND m_hPanel = NULL, m_hEdit = NULL;
    CCapturePanel panel;
};

}  // namespace

TEST_F(CaptureFileTest, WithoutAGraphOnlyTheEditAndTheFieldChange) {
    EXPECT_TRUE(panel.SetCaptureFile(Path("a.avi").c_str()));
    EXPECT_EQ(Path("a.avi"), panel.m_strCaptureFile);
    EXPECT_EQ(Path("a.avi"), EditText());
    EXPECT_FALSE(Exists(Path("a.avi")));
    EXPECT_FALSE(panel.SetCaptureFile(NULL));
    EXPECT_EQ(Path("a.avi"), panel.m_strCaptureFile);
}

TEST_F(CaptureFileTest, ChosenFileReplacesTheOutputFile) {
    Touch(Path("current.avi"));  // created by the running graph
    Touch(Path("chosen.avi"));   // the user agreed to overwrite it
    panel.SetCaptureFile(Path("current.avi").c_str());
    panel.UseChosenCaptureFile(Path("chosen.avi").c_str());
    EXPECT_EQ(Path("chosen.avi"), panel.m_strCaptureFile);
    EXPECT_EQ(Path("chosen.avi"), EditText());
    EXPECT_FALSE(Exists(Path("chosen.avi")));
    EXPECT_FALSE(Exists(Path("current.avi")));
}

TEST_F(CaptureFileTest, TheSameFileChosenAgainChangesNothing) {
    Touch(Path("current.avi"));
    panel.SetCaptureFile(Path("current.avi").c_str());
    panel.UseChosenCaptureFile(Path("current.avi").c_str());
    // Another spelling of the same file.
    panel.UseChosenCaptureFile((m_dir + "/./temp/../current.avi").c_str());
    std::filesystem::create_symlink(Path("current.avi"), Path("link.avi"));
    panel.UseChosenCaptureFile(Path("link.avi").c_str());
    EXPECT_EQ(Path("current.avi"), panel.m_strCaptureFile);
    EXPECT_TRUE(Exists(Path("current.avi")));
}

TEST_F(CaptureFileTest, NamesDifferingInCaseAreDifferentFiles) {
    Touch(Path("clip.avi"));
    Touch(Path("Clip.avi"));
    panel.SetCaptureFile(Path("clip.avi").c_str());
    panel.UseChosenCaptureFile(Path("Clip.avi").c_str());
    EXPECT_EQ(Path("Clip.avi"), panel.m_strCaptureFile);
    EXPECT_FALSE(Exists(Path("clip.avi")));  // the previous output file
}

TEST_F(CaptureFileTest, OverlongChoicesAreRefused) {
    panel.SetCaptureFile(Path("current.avi").c_str());
    panel.UseChosenCaptureFile((m_dir + "/" + std::string(2000, 'n')).c_str());
    panel.UseChosenCaptureFile("");
    panel.UseChosenCaptureFile(NULL);
    EXPECT_EQ(Path("current.avi"), panel.m_strCaptureFile);
}
