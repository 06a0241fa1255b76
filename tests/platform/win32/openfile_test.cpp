#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <fstream>

#include "testsupport/scratchdir.h"

namespace {

void Touch(const std::string& path, const char* text = "x") { std::ofstream(path) << text; }

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

// The three outcomes the free-name search and the stored-name check tell
// apart: the file exists, its directory is missing, only the file is missing.
TEST(OpenFile, ExistenceOutcomes) {
    testsupport::ScratchDir dir;
    Touch(dir / "clip00000.avi");
    OFSTRUCT of;

    EXPECT_NE(OpenFile((dir / "clip00000.avi").c_str(), &of, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(of.cBytes, sizeof(OFSTRUCT));

    SetLastError(0);
    EXPECT_EQ(OpenFile((dir / "clip00001.avi").c_str(), &of, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(of.nErrCode, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    SetLastError(0);
    EXPECT_EQ(OpenFile((dir / "gone/clip00000.avi").c_str(), &of, OF_READ), HFILE_ERROR);
    EXPECT_EQ(of.nErrCode, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    // A file where a directory should be is a missing path too.
    EXPECT_EQ(OpenFile((dir / "clip00000.avi/x.avi").c_str(), &of, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(of.nErrCode, ERROR_PATH_NOT_FOUND);

    // A directory is not a file.
    EXPECT_EQ(OpenFile(dir.Path().c_str(), &of, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(of.nErrCode, ERROR_ACCESS_DENIED);
    EXPECT_EQ(OpenFile(dir.Path().c_str(), &of, OF_READ), HFILE_ERROR);
}

TEST(OpenFile, ReadHandleReadsAndCloses) {
    testsupport::ScratchDir dir;
    Touch(dir / "a.avi", "RIFF");
    OFSTRUCT of;
    HFILE file = OpenFile((dir / "a.avi").c_str(), &of, OF_READ);
    ASSERT_NE(file, HFILE_ERROR);
    EXPECT_EQ(of.nErrCode, 0);
    char buffer[4];
    EXPECT_EQ(::read(file, buffer, 4), 4);
    EXPECT_EQ(_lclose(file), 0);
    EXPECT_EQ(_lclose(file), HFILE_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// OF_EXIST and OF_DELETE leave no descriptor open behind them.
TEST(OpenFile, ExistAndDeleteLeaveNothingOpen) {
    testsupport::ScratchDir dir;
    Touch(dir / "a.avi");
    OFSTRUCT of;
    int before = ::dup(0);
    ::close(before);
    ASSERT_NE(OpenFile((dir / "a.avi").c_str(), &of, OF_EXIST), HFILE_ERROR);
    ASSERT_NE(OpenFile((dir / "a.avi").c_str(), &of, OF_DELETE), HFILE_ERROR);
    int after = ::dup(0);
    ::close(after);
    EXPECT_EQ(before, after);
    EXPECT_FALSE(Exists(dir / "a.avi"));

    EXPECT_EQ(OpenFile((dir / "a.avi").c_str(), &of, OF_DELETE), HFILE_ERROR);
    EXPECT_EQ(of.nErrCode, ERROR_FILE_NOT_FOUND);
}

// A file this user may not read still exists: its name is not free.
TEST(OpenFile, UnreadableFileExists) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    testsupport::ScratchDir dir;
    Touch(dir / "locked.avi");
    ::chmod((dir / "locked.avi").c_str(), 0);
    OFSTRUCT of;
    EXPECT_NE(OpenFile((dir / "locked.avi").c_str(), &of, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(OpenFile((dir / "locked.avi").c_str(), &of, OF_READ), HFILE_ERROR);
    EXPECT_EQ(of.nErrCode, ERROR_ACCESS_DENIED);
}

// Paths longer than szPathName work in every mode; szPathName gets a cut,
// terminated copy of the full path.
TEST(OpenFile, LongPaths) {
    testsupport::ScratchDir dir;
    std::string deep = dir.Path();
    for (int i = 0; i < 6; ++i) {
        deep += "/" + std::string(40, static_cast<char>('a' + i));
        ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
    }
    const std::string file = deep + "/Tapeloom00000.avi";
    ASSERT_GT(file.size(), 250u);
    Touch(file);
    OFSTRUCT of;

    EXPECT_NE(OpenFile(file.c_str(), &of, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(std::string(of.szPathName), file.substr(0, OFS_MAXPATHNAME - 1));
    HFILE read = OpenFile(file.c_str(), &of, OF_READ);
    EXPECT_NE(read, HFILE_ERROR);
    _lclose(read);
    EXPECT_EQ(OpenFile((deep + "/Tapeloom00001.avi").c_str(), &of, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(of.nErrCode, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenFile((deep + "/missing/Tapeloom00000.avi").c_str(), &of, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(of.nErrCode, ERROR_PATH_NOT_FOUND);
    EXPECT_NE(OpenFile(file.c_str(), &of, OF_DELETE), HFILE_ERROR);
    EXPECT_FALSE(Exists(file));
}

TEST(DeleteFile, RemovesFilesOnly) {
    testsupport::ScratchDir dir;
    Touch(dir / "a.avi");
    EXPECT_TRUE(DeleteFile((dir / "a.avi").c_str()));
    EXPECT_FALSE(DeleteFile((dir / "a.avi").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFile((dir / "no/a.avi").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(DeleteFile(dir.Path().c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// OF_WRITE opens an existing file for writing without creating or cutting
// it; what may not be written fails at once, a FIFO without a reader too.
TEST(OpenFile, WriteHandleOnlyForAFileThatMayBeWritten) {
    testsupport::ScratchDir dir;
    Touch(dir / "take.avi", "RIFF....");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0700), 0);
    struct Case {
        const char* what;
        std::string path;
        WORD error;  // 0: a handle
    } const cases[] = {
        {"a writable file", dir / "take.avi", 0},
        {"no such file", dir / "none.avi", ERROR_FILE_NOT_FOUND},
        {"no such folder", dir / "gone/take.avi", ERROR_PATH_NOT_FOUND},
        {"a folder", dir / "folder", ERROR_ACCESS_DENIED},
        {"a FIFO without a reader", dir / "pipe", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OFSTRUCT of;
        const HFILE file = OpenFile(c.path.c_str(), &of, OF_WRITE);
        EXPECT_EQ(of.nErrCode, c.error);
        if (c.error != 0) {
            EXPECT_EQ(file, HFILE_ERROR);
            continue;
        }
        ASSERT_NE(file, HFILE_ERROR);
        EXPECT_EQ(::pwrite(file, "riff", 4, 0), 4);
        EXPECT_EQ(_lclose(file), 0);
    }
    std::ifstream in(dir / "take.avi");
    std::string text;
    in >> text;
    EXPECT_EQ(text, "riff....") << "opened in place, not cut";
    EXPECT_FALSE(Exists(dir / "none.avi"));
}
