#include "base/FileIO.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using fileio::EReadStatus;

namespace {

class FileIOTest : public ::testing::Test {
protected:
    fs::path dir;
    FileIOTest()
    {
        std::string pattern = (fs::temp_directory_path() / "talmira-fileio-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
    }
    ~FileIOTest() override { fs::remove_all(dir); }
    std::string Path(const char* name) const { return (dir / name).string(); }
    static std::string Content(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }
};

TEST_F(FileIOTest, ReadsRegularFilesOnlyAndWithinTheLimit)
{
    std::ofstream(Path("f")) << "0123456789";
    EXPECT_EQ(fileio::ReadRegularFile(Path("f"), 10).bytes, "0123456789");
    EXPECT_EQ(fileio::ReadRegularFile(Path("f"), 9).status, EReadStatus::TooLarge);
    EXPECT_EQ(fileio::ReadRegularFile(Path("f"), 4, true).bytes, "0123");
    EXPECT_EQ(fileio::ProbeRegularFile(Path("f"), 9).status, EReadStatus::TooLarge);
    EXPECT_TRUE(fileio::ProbeRegularFile(Path("f"), 10).Ok());

    const auto missing = fileio::ReadRegularFile(Path("none"), 10);
    EXPECT_EQ(std::tuple(missing.status, missing.error), std::tuple(EReadStatus::Missing, ENOENT));
    // A FIFO without a writer must not block the open.
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
    fs::create_symlink(Path("loop"), Path("loop"));
    for (const char* odd : {"fifo", "/dev/zero", "/"})
        EXPECT_EQ(fileio::ReadRegularFile(odd[0] == '/' ? odd : Path(odd), 10).Reason(), "not a regular file") << odd;
    EXPECT_EQ(fileio::ReadRegularFile(Path("loop"), 10).error, ELOOP);
}

TEST_F(FileIOTest, ReadsADescriptorUpToTheLimit)
{
    for (bool cut : {false, true}) {
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        ASSERT_EQ(::write(pipe[1], "abcdef", 6), 6);
        ::close(pipe[1]);
        const auto r = fileio::ReadDescriptor(pipe[0], 4, cut);
        ::close(pipe[0]);
        EXPECT_EQ(std::tuple(r.status, r.bytes), cut ? std::tuple(EReadStatus::Ok, std::string("abcd"))
                                                    : std::tuple(EReadStatus::TooLarge, std::string()));
    }
}

TEST_F(FileIOTest, ReplacesAFileWholeKeepingItsPermissions)
{
    const std::string target = Path("target");
    ASSERT_TRUE(fileio::WriteFileAtomically(target, "first"));
    ::chmod(target.c_str(), 0600);
    ASSERT_TRUE(fileio::WriteFileAtomically(target, "second"));
    EXPECT_EQ(Content(target), "second");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Entries(), 1u); // no temporary file left

    // Failures are reported, leave the target as it was and no temporary file.
    fs::create_directory(Path("folder"));
    int error = 0;
    for (const auto& [name, expected] : {std::pair{"folder", EISDIR}, {"missing/target", ENOENT}}) {
        EXPECT_FALSE(fileio::WriteFileAtomically(Path(name), "x", &error));
        EXPECT_EQ(error, expected) << name;
    }
    EXPECT_TRUE(fs::is_directory(Path("folder")));
    EXPECT_EQ(Entries(), 2u);
}

TEST_F(FileIOTest, StreamedWriteReplacesOnlyOnCommit)
{
    const std::string target = Path("download");
    ASSERT_TRUE(fileio::WriteFileAtomically(target, "good"));
    {
        fileio::CAtomicFileWriter writer(target);
        ASSERT_TRUE(writer.Write("half a "));
        EXPECT_EQ(Content(target), "good");
    } // dropped without Commit: an interrupted download
    EXPECT_EQ(std::tuple(Content(target), Entries()), std::tuple("good", 1u));
    fileio::CAtomicFileWriter writer(target);
    ASSERT_TRUE(writer.Write("new ") && writer.Write("file") && writer.Commit());
    EXPECT_EQ(std::tuple(Content(target), Entries()), std::tuple("new file", 1u));
}

} // namespace
