#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "testsupport/scopedenv.h"
#include "testsupport/scratchdir.h"

extern char** environ;

namespace {

constexpr char kSettingsKey[] = "SOFTWARE\\Quindle\\Tapeloom\\1.0";

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Registry : public testing::Test {
protected:
    testsupport::ScratchDir m_dir;
    std::string m_file = m_dir / "config/registry";
    testsupport::ScopedEnv m_env{"TAPELOOM_REGISTRY", m_file.c_str()};

    HKEY Create(const char* path, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_READ | KEY_WRITE, nullptr, &key, disposition),
                  ERROR_SUCCESS);
        return key;
    }
    std::vector<std::string> FilesInDir() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir / "config"))
            names.push_back(entry.path().filename().string());
        return names;
    }
};

}  // namespace

// The two settings the panel keeps, written, closed, reopened and read back.
TEST_F(Registry, RoundTrip) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | KEY_WRITE, &key),
              ERROR_FILE_NOT_FOUND);
    DWORD disposition = 0;
    key = Create(kSettingsKey, &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const DWORD fileType = 1;
    const std::string name = "/home/me/Vid\xC3\xA9o/Tapeloom00000.avi";
    ASSERT_EQ(
        RegSetValueEx(key, "File Type", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&fileType), 4),
        ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueEx(key, "Capture File", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                      static_cast<DWORD>(name.size() + 1)),
        ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    // Paths and value names in any letter case; the intermediate keys exist.
    ASSERT_EQ(
        RegOpenKeyEx(HKEY_LOCAL_MACHINE, "software\\QUINDLE\\tapeloom\\1.0", 0, KEY_READ, &key),
        ERROR_SUCCESS);
    DWORD type = 0, value = 0, size = sizeof value;
    EXPECT_EQ(
        RegQueryValueEx(key, "file type", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 1u);
    char buffer[4096] = {};
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueEx(key, "Capture File", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                              &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, name.size() + 1);
    EXPECT_EQ(std::string(buffer), name);
    EXPECT_EQ(RegQueryValueEx(key, "Other", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    HKEY parent = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quindle", 0, KEY_READ, &parent),
              ERROR_SUCCESS);
    RegCloseKey(parent);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &parent),
              ERROR_FILE_NOT_FOUND);

    key = Create(kSettingsKey, &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);

    // The file is readable text and holds nothing else.
    const std::string text = ReadText(m_file);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quindle\\Tapeloom\\1.0]\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"File Type\"=dword:00000001\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Capture File\"=sz:\"" + name + "\\x00\"\n"), std::string::npos) << text;
    EXPECT_EQ(FilesInDir().size(), 2u);  // the file and its lock file, no temporaries
}

// The panel stores its name with the length of the string, no terminator,
// and reads it into a zeroed buffer: the bytes come back exactly.
TEST_F(Registry, StringWithoutTerminator) {
    HKEY key = Create(kSettingsKey);
    const char name[] = "/v/clip00007.avi";
    ASSERT_EQ(RegSetValueEx(key, "Capture File", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                            static_cast<DWORD>(std::strlen(name))),
              ERROR_SUCCESS);
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegQueryValueEx(key, "Capture File", nullptr, nullptr,
                              reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, std::strlen(name));
    EXPECT_EQ(std::string(buffer, size), name);
    EXPECT_EQ(buffer[size], '#');  // no terminator added
    RegCloseKey(key);
}

// "File Type" is read as 4 bytes whatever type it was stored with, and any
// bytes survive the file.
TEST_F(Registry, StoredBytesWhateverTheType) {
    HKEY key = Create(kSettingsKey);
    const BYTE seven[4] = {7, 0, 0, 0};
    const BYTE odd[6] = {0, '\n', '"', '\\', 0xFF, 0x80};
    for (DWORD storedType : {static_cast<DWORD>(REG_DWORD), static_cast<DWORD>(REG_BINARY),
                             static_cast<DWORD>(REG_SZ), static_cast<DWORD>(REG_NONE), 42u}) {
        ASSERT_EQ(RegSetValueEx(key, "File Type", 0, storedType, seven, 4), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueEx(key, "Odd", 0, storedType, odd, sizeof odd), ERROR_SUCCESS);
        DWORD value = 0, type = 99, size = sizeof value;
        ASSERT_EQ(RegQueryValueEx(key, "File Type", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                  &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, storedType);
        EXPECT_EQ(size, 4u);
        EXPECT_EQ(value, 7u);
        BYTE back[16] = {};
        size = sizeof back;
        ASSERT_EQ(RegQueryValueEx(key, "Odd", nullptr, &type, back, &size), ERROR_SUCCESS);
        EXPECT_EQ(size, sizeof odd);
        EXPECT_EQ(std::memcmp(back, odd, sizeof odd), 0);
    }
    // An empty value and the unnamed value.
    ASSERT_EQ(RegSetValueEx(key, nullptr, 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
    DWORD size = 10;
    EXPECT_EQ(RegQueryValueEx(key, "", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    RegCloseKey(key);
}

// Names with the characters the file format escapes survive a write and a
// fresh read, and keep the file readable for the values written after them.
TEST_F(Registry, OddNamesRoundTrip) {
    const char* keyName = "SOFTWARE\\a]b%c[d\ne \xC3\xA9\xFF";
    const char* valueName = "q\"\\\n\x7F\xFE";
    HKEY key = Create(keyName);
    const DWORD one = 1;
    ASSERT_EQ(RegSetValueEx(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, "after", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(
        RegQueryValueEx(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(RegQueryValueEx(key, "after", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    RegCloseKey(key);
    for (const std::string& name : FilesInDir()) EXPECT_EQ(name.find("damaged"), std::string::npos);
}

TEST_F(Registry, MoreDataAndSizeQuery) {
    HKEY key = Create(kSettingsKey);
    const char name[] = "/a/long/enough/name.avi";
    ASSERT_EQ(RegSetValueEx(key, "Capture File", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                            sizeof name),
              ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueEx(key, "Capture File", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, sizeof name);
    char small[8] = "keep";
    size = sizeof small;
    EXPECT_EQ(
        RegQueryValueEx(key, "Capture File", nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof name);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    RegCloseKey(key);
}

TEST_F(Registry, HandlesAndAccess) {
    DWORD value = 1;
    EXPECT_EQ(RegSetValueEx(reinterpret_cast<HKEY>(&value), "x", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&value), 4),
              ERROR_INVALID_HANDLE);
    HKEY key = Create(kSettingsKey);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueEx(key, "x", nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);

    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(key, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4),
              ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "\\SOFTWARE", 0, KEY_READ, &key),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(key, nullptr);

    // A subkey of an open key.
    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &software), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyEx(software, "Quindle\\Tapeloom\\1.0", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    RegCloseKey(software);
}

// Two processes and a thread of this one write at once; every value arrives.
TEST_F(Registry, ConcurrentWritersLoseNothing) {
    constexpr int kCount = 100;
    std::vector<pid_t> children;
    for (const char* tag : {"A", "B"}) {
        std::string count = std::to_string(kCount);
        char* argv[] = {const_cast<char*>(REGISTRY_WRITER), const_cast<char*>(tag), count.data(),
                        nullptr};
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, REGISTRY_WRITER, nullptr, nullptr, argv, environ), 0);
        children.push_back(pid);
    }
    std::thread local([this] {
        for (int i = 0; i < kCount; ++i) {
            HKEY key = Create("SOFTWARE\\Tapeloom Test");
            const DWORD value = static_cast<DWORD>(i);
            std::string name = "C-" + std::to_string(i);
            EXPECT_EQ(RegSetValueEx(key, name.c_str(), 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&value), 4),
                      ERROR_SUCCESS);
            RegCloseKey(key);
        }
    });
    local.join();
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tapeloom Test", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    int missing = 0;
    for (const char* tag : {"A", "B", "C"}) {
        for (int i = 0; i < kCount; ++i) {
            std::string name = std::string(tag) + "-" + std::to_string(i);
            DWORD value = 0, size = sizeof value;
            if (RegQueryValueEx(key, name.c_str(), nullptr, nullptr,
                                reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
                value != static_cast<DWORD>(i))
                ++missing;
        }
    }
    EXPECT_EQ(missing, 0);
    RegCloseKey(key);
    EXPECT_EQ(FilesInDir().size(), 2u);  // no temporaries left behind
}

// A damaged file without the key asked for reads without it, is kept under
// another name with its bytes intact, and the next write starts a fresh
// file.
TEST_F(Registry, DamagedFileSetAside) {
    const std::vector<std::string> damaged = {
        "",                                                                               // empty
        "not a registry\n",                                                               // foreign
        "TAPELOOM-REGISTRY 1\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"File Type\"=dword:0000",  // cut
                                                                                          // short
        "TAPELOOM-REGISTRY 1\n\"File Type\"=dword:00000001\n",               // value outside a key
        "TAPELOOM-REGISTRY 1\n[HKEY_NOWHERE\\X]\n",                          // unknown root
        "TAPELOOM-REGISTRY 1\n[HKEY_LOCAL_MACHINE\\X]\n\"a\"=sz:\"\\q\"\n",  // bad escape
    };
    for (const std::string& content : damaged) {
        std::filesystem::remove_all(m_dir / "config");
        std::filesystem::create_directories(m_dir / "config");
        std::ofstream(m_file, std::ios::binary) << content;

        testing::internal::CaptureStderr();
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key),
                  ERROR_FILE_NOT_FOUND);
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("damaged"), std::string::npos);
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);

        std::string aside;
        for (const std::string& name : FilesInDir())
            if (name.find("registry.damaged-") == 0) aside = name;
        ASSERT_FALSE(aside.empty()) << content;
        EXPECT_EQ(ReadText(m_dir / ("config/" + aside)), content);

        key = Create(kSettingsKey);
        const DWORD one = 1;
        EXPECT_EQ(
            RegSetValueEx(key, "File Type", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
            ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_EQ(ReadText(m_dir / ("config/" + aside)), content);
        EXPECT_EQ(ReadText(m_file).rfind("TAPELOOM-REGISTRY 1\n", 0), 0u);
    }
}

// One bad line loses its own value only: the file's other values are read,
// the damaged file is still set aside and reported, and its good values are
// written back in its place, so every later read finds them.
TEST_F(Registry, DamagedFileKeepsItsGoodValues) {
    const std::string kKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quindle\\Tapeloom\\1.0]";
    const std::string kType = "\"File Type\"=dword:00000000";
    const std::string kFile = "\"Capture File\"=sz:\"/v/clip00004.avi\"";
    struct Case {
        const char* what;
        std::string text;
        bool fileType, captureFile;  // which values survive
    };
    const Case cases[] = {
        {"a single backslash",
         "TAPELOOM-REGISTRY 1\n" + kKey + "\n" + kType + "\n" +
             "\"Capture File\"=sz:\"C:\\Videos\\clip.avi\"\n",
         true, false},
        {"CRLF line ends",
         "TAPELOOM-REGISTRY 1\r\n" + kKey + "\r\n" + kType + "\r\n" + kFile + "\r\n", true, true},
        {"no final newline", "TAPELOOM-REGISTRY 1\n" + kKey + "\n" + kType + "\n" + kFile, true,
         true},
        {"a value cut short",
         "TAPELOOM-REGISTRY 1\n" + kKey + "\n" + kFile + "\n\"File Type\"=dword:000", false, true},
        {"a bad line between",
         "TAPELOOM-REGISTRY 1\n" + kKey + "\n" + kType + "\n\x01garbage\n" + kFile + "\n", true,
         true},
        {"a bad key before",
         "TAPELOOM-REGISTRY 1\n[HKEY_NOWHERE\\X]\n\"a\"=sz:\"b\"\n" + kKey + "\n" + kType + "\n" +
             kFile + "\n",
         true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(m_dir / "config");
        std::filesystem::create_directories(m_dir / "config");
        std::ofstream(m_file, std::ios::binary) << c.text;

        testing::internal::CaptureStderr();
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("damaged"), std::string::npos) << said;
        EXPECT_NE(said.find("good values are kept"), std::string::npos) << said;
        // Each value is read on its own, after the file has been set aside.
        DWORD type = 7, size = sizeof type;
        EXPECT_EQ(RegQueryValueEx(key, "File Type", nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(&type), &size) == ERROR_SUCCESS,
                  c.fileType);
        if (c.fileType) {
            EXPECT_EQ(type, 0u);
        }
        char name[64] = "";
        size = sizeof name - 1;
        EXPECT_EQ(RegQueryValueEx(key, "Capture File", nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS,
                  c.captureFile);
        if (c.captureFile) {
            EXPECT_STREQ(name, "/v/clip00004.avi");
        }
        RegCloseKey(key);

        std::string aside;
        for (const std::string& file : FilesInDir())
            if (file.find("registry.damaged-") == 0) aside = file;
        ASSERT_FALSE(aside.empty());
        EXPECT_EQ(ReadText(m_dir / ("config/" + aside)), c.text);
        // The file in its place is whole: reading it again says nothing.
        testing::internal::CaptureStderr();
        ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
}

// A file written by hand (comments, blank lines, escapes) reads as meant.
TEST_F(Registry, HandWrittenFile) {
    std::filesystem::create_directories(m_dir / "config");
    std::ofstream(m_file, std::ios::binary)
        << "TAPELOOM-REGISTRY 1\n# edited\n\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quindle\\Tapeloom\\1.0]\n"
           "\"File Type\"=dword:00000007\n"
           "\"Capture File\"=sz:\"/x/a\\\"b\\\\c\\x41\"\n";
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(
        RegQueryValueEx(key, "File Type", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(value, 7u);
    char buffer[32] = {};
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueEx(key, "Capture File", nullptr, nullptr,
                              reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer, size), "/x/a\"b\\cA");
    RegCloseKey(key);
}
