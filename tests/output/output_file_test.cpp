// Output files reach their name only complete: written beside it under a temporary name, renamed into place
// by commit, removed by discard or a failure, with the mode a file of that name would have; links are
// followed, and what cannot be replaced (standard output, a FIFO) is written straight through.
#include "output_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "support.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

std::string text_of(const fs::path& path) {
  const std::vector<uint8_t> bytes = read_file(path);
  return std::string(bytes.begin(), bytes.end());
}

void put(OutputFile& file, const std::string& text) {
  ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), file.stream()), text.size());
}

size_t entries(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

mode_t mode_of(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(OutputFile, ReachesItsNameOnlyWhenCommitted) {
  TempDir dir;
  const fs::path target = dir / "out.wav";
  write_file(target, {'o', 'l', 'd'});
  {
    OutputFile file(target.string());
    put(file, "new audio");
    std::fflush(file.stream());
    EXPECT_EQ(text_of(target), "old");
    EXPECT_EQ(fs::path(file.temporary()).parent_path(), dir.path());
    EXPECT_EQ(text_of(file.temporary()), "new audio");
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(file.stream(), nullptr);
  }
  EXPECT_EQ(text_of(target), "new audio");
  EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(OutputFile, DiscardAndDestructionKeepTheEarlierFile) {
  TempDir dir;
  const fs::path target = dir / "out.raw";
  write_file(target, {'o', 'l', 'd'});
  {
    OutputFile file(target.string());
    put(file, "half");
    file.discard();
    EXPECT_FALSE(file.commit()) << "nothing left to commit";
  }
  {
    OutputFile file(target.string());
    put(file, "half");
  }
  EXPECT_EQ(text_of(target), "old");
  EXPECT_EQ(entries(dir.path()), 1u);
  // No earlier file: none appears.
  { OutputFile file((dir / "new.raw").string()); }
  EXPECT_FALSE(fs::exists(dir / "new.raw"));
}

TEST(OutputFile, TakesTheModeAFileOfThatNameWouldHave) {
  TempDir dir;
  const mode_t mask = ::umask(027);
  {
    OutputFile file((dir / "fresh").string());
    ASSERT_TRUE(file.commit());
  }
  ::umask(mask);
  EXPECT_EQ(mode_of(dir / "fresh"), 0640u) << "0666 less the umask";
  write_file(dir / "kept", {'x'});
  fs::permissions(dir / "kept", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  {
    OutputFile file((dir / "kept").string());
    ASSERT_TRUE(file.commit());
  }
  EXPECT_EQ(mode_of(dir / "kept"), 0604u);
}

TEST(OutputFile, ASymbolicLinkIsReplacedWhereItPoints) {
  TempDir dir;
  fs::create_directory(dir / "real");
  write_file(dir / "real" / "out.wav", {'o', 'l', 'd'});
  fs::create_symlink(dir / "real" / "out.wav", dir / "link.wav");
  OutputFile file((dir / "link.wav").string());
  EXPECT_EQ(fs::path(file.temporary()).parent_path(), dir / "real");
  put(file, "new");
  ASSERT_TRUE(file.commit());
  EXPECT_TRUE(fs::is_symlink(dir / "link.wav"));
  EXPECT_EQ(text_of(dir / "real" / "out.wav"), "new");
}

// A FIFO stands for every file that is not a regular one (/dev/null among them): it stays what it is.
TEST(OutputFile, WhatCannotBeReplacedIsWrittenThrough) {
  TempDir dir;
  const fs::path fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  {
    OutputFile file(fifo.string());
    EXPECT_TRUE(file.direct());
    put(file, "through");
    ASSERT_TRUE(file.commit());
  }
  char got[16] = {};
  EXPECT_EQ(::read(reader, got, sizeof got), 7);
  EXPECT_EQ(std::string(got), "through");
  ::close(reader);
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(OutputFile("-").direct());
}

// The temporary name adds to the target's; a target as long as a name may be is still written.
TEST(OutputFile, TargetOfTheLongestNameIsWritten) {
  TempDir dir;
  const fs::path target = dir / std::string(251, 'n').append(".wav");
  OutputFile file(target.string());
  EXPECT_EQ(fs::path(file.temporary()).parent_path(), dir.path());
  put(file, "long");
  ASSERT_TRUE(file.commit());
  EXPECT_EQ(text_of(target), "long");
  EXPECT_EQ(entries(dir.path()), 1u);
}

// Threads write their files side by side (the decoder's tests and the program's runs do): each file gets a
// temporary name of its own and reaches its target.
TEST(OutputFile, ThreadsMakeTheirFilesSideBySide) {
  TempDir dir;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&dir, t] {
      for (int i = 0; i < 25; ++i) {
        OutputFile file((dir / (std::to_string(t) + "-" + std::to_string(i) + ".wav")).string());
        std::fputs("data", file.stream());
        EXPECT_TRUE(file.commit()) << file.error();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(entries(dir.path()), 100u);
}

TEST(OutputFile, TellsWhyItCannotBeCreated) {
  TempDir dir;
  fs::create_directory(dir / "folder");
  const auto reason = [](const fs::path& path) {
    try {
      OutputFile file(path.string());
    } catch (const std::runtime_error& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_EQ(reason(dir / "folder"), "cannot create " + (dir / "folder").string() + ": Is a directory");
  EXPECT_EQ(reason(dir / "none" / "out.wav"),
            "cannot create " + (dir / "none" / "out.wav").string() + ": No such file or directory");
}

}  // namespace
}  // namespace vemla::test
