// Numbered output names, the default file and the free-name rule.
#include <string.h>

#include <filesystem>

#include "testsupport/enginetest.h"

using namespace enginetest;

namespace {

class NamingTest : public EngineTest {
protected:
    std::string Next(const std::string& source, int size = 2000, int width = 5) {
        std::vector<char> dest(static_cast<size_t>(size > 0 ? size : 1), '#');
        dest.back() = '\0';
        if (!panel.NextNumberedName(source.c_str(), dest.data(), size, width)) return "(failed)";
        return dest.data();
    }
    CCapturePanel panel;
};

}  // namespace

TEST_F(NamingTest, NextNumberedNameFollowsTheNumberingRule) {
    const char* table[][2] = {
        {"/Temp/Tapeloom00000.avi", "/Temp/Tapeloom00001.avi"},
        {"/Video/clip.avi", "/Video/clip00001.avi"},
        {"/Video/clip7.avi", "/Video/clip00008.avi"},
        {"/Video/take99999.avi", "/Video/take100000.avi"},
        {"/Video/clip.2.avi", "/Video/clip.00003.avi"},
        {"/Video/clip", "/Video/clip00001"},
        {"/My.Videos/clip", "/My00001.Videos/clip"},
        {"123.avi", "00124.avi"},
        {"/100%/a%s%n.avi", "/100%/a%s%n00001.avi"},    // "%" stands for itself
        {"/v/x4294967295.avi", "/v/x00000.avi"},        // 32-bit wrap
        {"/v/x99999999999.avi", "/v/x1215752192.avi"},  // digits beyond 32 bits
        {".avi", "00001.avi"},
        {"9", "00010"},
    };
    for (const auto& row : table) EXPECT_EQ(row[1], Next(row[0])) << row[0];
    EXPECT_EQ("/v/c003.avi", Next("/v/c2.avi", 2000, 3));
    EXPECT_EQ("/v/c00003.avi", Next("/v/c2.avi", 2000, 11));  // out of range: 5
    EXPECT_EQ("/v/c00003.avi", Next("/v/c2.avi", 2000, 0));
}

TEST_F(NamingTest, NextNumberedNameRefusesWhatDoesNotFit) {
    char buffer[32] = "clip.avi";
    EXPECT_FALSE(panel.NextNumberedName(NULL, buffer, 32, 5));
    EXPECT_FALSE(panel.NextNumberedName("clip.avi", NULL, 32, 5));
    EXPECT_FALSE(panel.NextNumberedName("", buffer, 32, 5));
    EXPECT_FALSE(panel.NextNumberedName("clip.avi", buffer, 0, 5));
    // "clip00001.avi" is 13 characters: 14 bytes fit, 13 do not.
    EXPECT_EQ("clip00001.avi", Next("clip.avi", 14));
    EXPECT_EQ("(failed)", Next("clip.avi", 13));
    EXPECT_EQ("clip00001", Next("clip", 10));
    EXPECT_EQ("(failed)", Next("clip", 9));
    // A number wider than the width needs its own room.
    EXPECT_EQ("take100000.avi", Next("take99999.avi", 15));
    EXPECT_EQ("(failed)", Next("take99999.avi", 14));
    // Same buffer as source and destination.
    EXPECT_TRUE(panel.NextNumberedName(buffer, buffer, sizeof buffer, 5));
    EXPECT_STREQ("clip00001.avi", buffer);
    // Names longer than the numbering handles are refused, never cut.
    EXPECT_EQ("(failed)", Next(std::string(1996, 'a') + ".avi", 4096));
    EXPECT_EQ(std::string(1995, 'a') + "00001.avi", Next(std::string(1995, 'a') + ".avi", 4096));
}

TEST_F(NamingTest, DefaultFileIsTheFirstFreeNameInTemp) {
    char name[4096] = "untouched";
    ASSERT_TRUE(panel.DefaultCaptureFile(name, sizeof name));
    const std::string temp = std::filesystem::canonical(m_temp).string();
    EXPECT_EQ(temp + "/Tapeloom00000.avi", name);
    Touch(temp + "/Tapeloom00000.avi");
    Touch(temp + "/Tapeloom00001.avi");
    ASSERT_TRUE(panel.DefaultCaptureFile(name, sizeof name));
    EXPECT_EQ(temp + "/Tapeloom00002.avi", name);

    // A name of exactly size - 1 characters is refused; the destination stays.
    const int length = static_cast<int>(strlen(name));
    char small[4096] = "untouched";
    EXPECT_FALSE(panel.DefaultCaptureFile(small, length + 1));
    EXPECT_STREQ("untouched", small);
    EXPECT_TRUE(panel.DefaultCaptureFile(small, length + 2));
    EXPECT_FALSE(panel.DefaultCaptureFile(NULL, 100));
    EXPECT_FALSE(panel.DefaultCaptureFile(small, 0));
}

TEST_F(NamingTest, WithoutAUsableTempTheDefaultLiesBesideTheProgram) {
    setenv("TEMP", "/", 1);  // shorter than 2 characters
    char name[4096];
    ASSERT_TRUE(panel.DefaultCaptureFile(name, sizeof name));
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(exe.substr(0, exe.rfind('/')) + "/Tapeloom00000.avi", name);
}

TEST_F(NamingTest, FreeNameLoopEndsWhenNoNextNameCanBeFormed) {
    // Moves past existing files.
    Touch(Path("Clip00004.avi"));
    Touch(Path("Clip00005.avi"));
    char name[4096];
    strcpy(name, Path("Clip00004.avi").c_str());
    EXPECT_TRUE(panel.MakeFreeName(name, sizeof name));
    EXPECT_EQ(Path("Clip00006.avi"), name);

    // The next name does not fit the buffer: the loop ends, name unchanged.
    Touch(Path("Clip.avi"));
    strcpy(name, Path("Clip.avi").c_str());
    EXPECT_FALSE(panel.MakeFreeName(name, static_cast<int>(strlen(name)) + 1));
    EXPECT_EQ(Path("Clip.avi"), name);

    // The number would wrap around onto names that were tried already.
    Touch(Path("x4294967295.avi"));
    Touch(Path("x00000.avi"));
    strcpy(name, Path("x4294967295.avi").c_str());
    EXPECT_FALSE(panel.MakeFreeName(name, sizeof name));
    EXPECT_EQ(Path("x4294967295.avi"), name);
}

TEST_F(NamingTest, DeleteIfExistsDeletesOnlyWhatIsThere) {
    Touch(Path("a.avi"));
    panel.DeleteIfExists(Path("a.avi").c_str());
    EXPECT_FALSE(Exists(Path("a.avi")));
    panel.DeleteIfExists(Path("a.avi").c_str());  // nothing there: nothing happens
    panel.DeleteIfExists(Path("missing/a.avi").c_str());
    panel.DeleteIfExists(NULL);
    std::filesystem::create_directory(Path("dir.avi"));
    panel.DeleteIfExists(Path("dir.avi").c_str());  // a directory is not a file
    EXPECT_TRUE(Exists(Path("dir.avi")));
}
