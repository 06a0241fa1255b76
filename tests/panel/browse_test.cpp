// The "..." button's save dialog, driven on the display as the user does:
// cancel and the current file change nothing; another file becomes the
// output file, on the running graph's file writer too; names that differ
// only in letter case are different files.
#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <filesystem>
#include <fstream>

#include "testsupport/decktest.h"
#include "testsupport/displaytest.h"
#include "testsupport/enginetest.h"
#include "testsupport/filedialoguser.h"

using namespace enginetest;
using display_test::When;

namespace {

class BrowseTest : public DeckTest {
protected:
    void SetUp() override {
        DeckTest::SetUp();
        display_test::InstallDisplay();
        // The dialog's owner is the application's main window.
        m_hOwner = CreateDialogParam(
            nullptr, MAKEINTRESOURCE(display_test::kDialogId), nullptr,
            [](HWND, UINT msg, WPARAM, LPARAM) -> INT_PTR { return msg == WM_INITDIALOG; }, 0);
        ASSERT_NE(nullptr, m_hOwner);
        ShowWindow(m_hOwner, SW_SHOW);
        display_test::Pump(m_hOwner);
        m_owner.Attach(m_hOwner);
        m_app->m_pMainWnd = &m_owner;
    }
    void TearDown() override {
        m_app->m_pMainWnd = m_main.get();
        m_owner.Detach();
        DestroyWindow(m_hOwner);
        display_test::Pump(nullptr);
        DeckTest::TearDown();
    }

    // Runs the panel's browse handler while the steps play the user.
    void Browse(std::vector<display_test::Step> steps) {
        display_test::Driver driver(std::move(steps));
        panel.OnBrowse();
        EXPECT_TRUE(driver.finished());
    }
    // The user types a name and presses Enter.
    static display_test::Step Choose(const std::string& name) {
        return When<QFileDialog>([name](QFileDialog* d) {
            display_test::TypeFileName(d, QString::fromStdString(name));
        });
    }
    // The user agrees to replace an existing file.
    display_test::Step Replace() {
        return When<QMessageBox>([this](QMessageBox* box) {
            ++m_replaceQuestions;
            box->button(QMessageBox::Yes)->click();
        });
    }
    // The running graph on the virtual deck, writing into `file`.
    void RunGraph(const std::string& file) {
        decktest::Configure("Deck=pal", "unpaced");
        ASSERT_TRUE(panel.m_pDeviceList->Enumerate());
        panel.m_nDeviceIndex = 0;
        panel.m_nVideoStandard = 1;
        panel.m_strCaptureFile = file;
        ASSERT_TRUE(Build());
        ASSERT_TRUE(panel.StartGraph());
    }
    std::string WriterFile() {
        LPOLESTR name = nullptr;
        if (!panel.m_pFileSink || FAILED(panel.m_pFileSink->GetCurFile(&name, nullptr)) || !name)
            return "(none)";
        std::wstring wide(name);
        CoTaskMemFree(name);
        return std::string(wide.begin(), wide.end());
    }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path) << text;
    }

    HWND m_hOwner = nullptr;
    CWnd m_owner;
    int m_replaceQuestions = 0;
};

}  // namespace

TEST_F(BrowseTest, CancelOrTheCurrentFileChangesNothing) {
    const std::string current = Path("Rec00000.avi");
    RunGraph(current);
    ASSERT_TRUE(Exists(current));  // the running writer has it open

    std::string title, directory;
    QStringList filters;
    bool ownerDisabled = false;
    Browse({When<QFileDialog>([&](QFileDialog* d) {
        title = d->windowTitle().toStdString();
        filters = d->nameFilters();
        directory = d->directory().absolutePath().toStdString();
        ownerDisabled = !IsWindowEnabled(m_hOwner);
        d->reject();
    })});
    EXPECT_EQ("Select a file to Capture into:", title);
    ASSERT_EQ(1, filters.size());
    EXPECT_TRUE(filters[0].startsWith("DV File")) << filters[0].toStdString();
    EXPECT_EQ(m_dir, directory) << "opens where the output file lies";
    EXPECT_TRUE(ownerDisabled);
    EXPECT_EQ(current, panel.m_strCaptureFile);
    EXPECT_EQ(current, WriterFile());

    // The output file chosen again: the dialog asks about replacing it,
    // and then nothing happens to it.
    Browse({Choose(current), Replace()});
    EXPECT_EQ(1, m_replaceQuestions);
    EXPECT_EQ(current, panel.m_strCaptureFile);
    EXPECT_EQ(current, WriterFile());
    EXPECT_TRUE(Exists(current));
}

TEST_F(BrowseTest, AnotherFileBecomesTheOutputAndTheOldOneGoes) {
    const std::string current = Path("Rec00000.avi");
    RunGraph(current);
    std::filesystem::create_directory(Path("takes"));
    const std::string chosen = Path("takes/Take.avi");
    Write(chosen, "an old recording the user agreed to replace");

    Browse({Choose(chosen), Replace()});
    EXPECT_EQ(1, m_replaceQuestions);
    EXPECT_EQ(chosen, panel.m_strCaptureFile);
    EXPECT_EQ(chosen, WriterFile());
    // The writer runs on the new name with nothing in it; the unused
    // previous output file is gone.
    ASSERT_TRUE(Exists(chosen));
    EXPECT_EQ(0u, std::filesystem::file_size(chosen));
    EXPECT_FALSE(Exists(current));

    // Typed without an extension, the dialog adds "avi".
    Browse({Choose(Path("takes/next"))});
    EXPECT_EQ(Path("takes/next.avi"), panel.m_strCaptureFile);
    EXPECT_EQ(Path("takes/next.avi"), WriterFile());
    EXPECT_FALSE(Exists(chosen));
}

TEST_F(BrowseTest, NamesDifferingInCaseAreDifferentFiles) {
    // No device: only the names and the files change.
    const std::string current = Path("clip.avi");
    Touch(current);  // as a running graph would have made it
    panel.m_strCaptureFile = current;

    const std::string other = Path("Clip.avi");
    Write(other, "another recording");
    Browse({Choose(other), Replace()});
    EXPECT_EQ(1, m_replaceQuestions);
    EXPECT_EQ(other, panel.m_strCaptureFile);
    EXPECT_FALSE(Exists(other)) << "the replaced file is deleted";
    EXPECT_FALSE(Exists(current)) << "the previous output file is deleted";

    // A name that exists in no letter case: no question, same outcome.
    Touch(other);
    Browse({Choose(Path("CLIP.avi"))});
    EXPECT_EQ(1, m_replaceQuestions);
    EXPECT_EQ(Path("CLIP.avi"), panel.m_strCaptureFile);
    EXPECT_FALSE(Exists(other));
}
