// The remembered settings: first start, stored values good and bad.
#include <string.h>

#include <filesystem>

#include "testsupport/enginetest.h"

using namespace enginetest;

namespace {

const char kKey[] = "SOFTWARE\\Quindle\\Tapeloom\\1.0";

class SettingsTest : public EngineTest {
protected:
    void Store(const char* value, DWORD type, const void* data, DWORD size) {
        HKEY key = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_LOCAL_MACHINE, kKey, 0, NULL, 0,
                                                KEY_READ | KEY_WRITE, NULL, &key, NULL));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueEx(key, value, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }
    void StoreName(const std::string& name) {
        Store("Capture File", REG_SZ, name.data(), static_cast<DWORD>(name.size()));
    }
    void StoreType(DWORD type) { Store("File Type", REG_DWORD, &type, sizeof type); }
    // The stored value's bytes, or "(none)".
    std::string Read(const char* value, DWORD* type = NULL) {
        HKEY key = NULL;
        if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return "(none)";
        std::string data(8192, '\0');
        DWORD size = static_cast<DWORD>(data.size());
        LONG r = RegQueryValueEx(key, value, NULL, type, reinterpret_cast<BYTE*>(&data[0]), &size);
        RegCloseKey(key);
        if (r != ERROR_SUCCESS) return "(none)";
        data.resize(size);
        return data;
    }
    std::string Default(int n) {
        char name[32];
        snprintf(name, sizeof name, "/Tapeloom%05d.avi", n);
        return std::filesystem::canonical(m_temp).string() + name;
    }
    CCapturePanel panel;
};

}  // namespace

TEST_F(SettingsTest, FirstStartUsesAndStoresTheDefaults) {
    panel.m_nFileType = 0;
    panel.LoadSettings();
    EXPECT_EQ(1, panel.m_nFileType);
    EXPECT_EQ(Default(0), panel.m_strCaptureFile);
    DWORD type = 0;
    EXPECT_EQ(std::string("\1\0\0\0", 4), Read("File Type", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    // Stored without a terminating zero.
    EXPECT_EQ(Default(0), Read("Capture File", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
}

TEST_F(SettingsTest, FileTypeOtherThanZeroOrOneOrMissingReadsAsOne) {
    StoreName(Path("clip.avi"));
    StoreType(0);
    panel.LoadSettings();
    EXPECT_EQ(0, panel.m_nFileType);
    StoreType(7);
    panel.LoadSettings();
    EXPECT_EQ(1, panel.m_nFileType);
    Store("File Type", REG_BINARY, "\0", 1);  // too short to be a type
    panel.m_nFileType = 0;
    panel.LoadSettings();
    EXPECT_EQ(1, panel.m_nFileType);

    std::filesystem::remove(m_dir + "/registry");
    StoreName(Path("clip.avi"));
    panel.m_nFileType = 0;
    panel.LoadSettings();
    EXPECT_EQ(1, panel.m_nFileType);
    EXPECT_EQ(Path("clip.avi"), panel.m_strCaptureFile);
}

TEST_F(SettingsTest, StoredNameWithoutTerminatorReadsBackIntact) {
    panel.m_nFileType = 0;
    panel.m_strCaptureFile = Path("Take00012.avi");
    panel.SaveSettings();
    EXPECT_EQ(Path("Take00012.avi"), Read("Capture File"));
    CCapturePanel other;
    other.LoadSettings();
    EXPECT_EQ(0, other.m_nFileType);
    EXPECT_EQ(Path("Take00012.avi"), other.m_strCaptureFile);
}

TEST_F(SettingsTest, StoredNameOfAnExistingFileMovesOn) {
    Touch(Path("Clip00004.avi"));
    Touch(Path("Clip00005.avi"));
    StoreName(Path("Clip00004.avi"));
    panel.LoadSettings();
    EXPECT_EQ(Path("Clip00006.avi"), panel.m_strCaptureFile);
    EXPECT_TRUE(Exists(Path("Clip00004.avi")));
}

TEST_F(SettingsTest, UnusableStoredNamesGiveTheDefault) {
    // In a directory that has been removed.
    StoreName(m_dir + "/gone/clip.avi");
    panel.LoadSettings();
    EXPECT_EQ(Default(0), panel.m_strCaptureFile);
    // Empty, and shorter than 2 characters.
    StoreName("");
    panel.LoadSettings();
    EXPECT_EQ(Default(0), panel.m_strCaptureFile);
    StoreName("a");
    panel.LoadSettings();
    EXPECT_EQ(Default(0), panel.m_strCaptureFile);
    // Stored with another type.
    Store("Capture File", REG_DWORD, "\1\0\0\0", 4);
    panel.LoadSettings();
    EXPECT_EQ(Default(0), panel.m_strCaptureFile);
}

TEST_F(SettingsTest, OverlongStoredNamesAreRefusedNotCut) {
    // Longer than the numbering handles: not taken, even though the
    // directory exists and the name is free.
    StoreName(m_dir + "/" + std::string(2100, 'n'));
    panel.LoadSettings();
    EXPECT_EQ(Default(0), panel.m_strCaptureFile);
    // Filling the whole read buffer without a terminator.
    StoreName(m_dir + "/" + std::string(4096 - m_dir.size() - 1, 'n'));
    panel.LoadSettings();
    EXPECT_EQ(Default(0), panel.m_strCaptureFile);
    StoreName(m_dir + "/" + std::string(5000, 'n'));
    panel.LoadSettings();
    EXPECT_EQ(Default(0), panel.m_strCaptureFile);
}

// A stored name the numbering takes, whose file exists, moves on to a
// free name that may be longer (a number added, or one more digit): one
// longer than 1999 characters is refused like a longer stored name, so no
// later Stop Capture cuts it.
TEST_F(SettingsTest, AFreeNameLongerThanTheNumberingTakesGivesTheDefault) {
    struct Case {
        size_t length;     // of the stored name
        const char* file;  // its last component
        bool kept;         // its successor is taken
    };
    const Case cases[] = {
        {1994, "clip.avi", true},  {1995, "clip.avi", false},     {1997, "clip.avi", false},
        {1999, "clip.avi", false}, {1998, "take99999.avi", true}, {1999, "take99999.avi", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.length) + " " + c.file);
        // Directories of at most 200 characters each up to the length asked.
        std::string dir = m_dir + "/d" + std::to_string(c.length);
        const size_t room = c.length - strlen(c.file) - 1;
        while (dir.size() < room) {
            const size_t left = room - dir.size() - 1;
            dir += "/" + std::string(left > 200 ? (left - 200 < 2 ? 150 : 200) : left, 'd');
        }
        ASSERT_EQ(room, dir.size());
        std::filesystem::create_directories(dir);
        const std::string stored = dir + "/" + c.file;
        ASSERT_EQ(c.length, stored.size());
        Touch(stored);
        StoreName(stored);
        panel.LoadSettings();
        if (c.kept) {
            EXPECT_EQ(panel.m_strCaptureFile.size(), 1999u);
            EXPECT_EQ(dir + "/", panel.m_strCaptureFile.substr(0, dir.size() + 1));
        } else {
            EXPECT_EQ(Default(0), panel.m_strCaptureFile);
        }
    }
}

TEST_F(SettingsTest, AStoredNameWithNoFreeSuccessorGivesTheDefault) {
    Touch(Path("x4294967295.avi"));
    Touch(Path("x00000.avi"));
    StoreName(Path("x4294967295.avi"));
    panel.LoadSettings();
    EXPECT_EQ(Default(0), panel.m_strCaptureFile);
}

TEST_F(SettingsTest, SaveCreatesTheKeyWhenMissing) {
    panel.m_nFileType = 0;
    panel.m_strCaptureFile = Path("a.avi");
    panel.SaveSettings();
    EXPECT_EQ(std::string("\0\0\0\0", 4), Read("File Type"));
    EXPECT_EQ(Path("a.avi"), Read("Capture File"));
}
