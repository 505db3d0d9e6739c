// A program killed in the middle of its posts leaves every row either as it was or as posted, never half.
#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>

#include "store_support.h"
#include "support.h"
#include "table.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

// Every value of row k at version v follows from k and v, so a row written half shows as a mix.
std::string memo_text(int k, int v) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "memo " + std::to_string(k) + "/" + std::to_string(v) + " ";
  return text;
}

std::string blob_bytes(int k, int v) {
  std::string bytes(200000 + static_cast<size_t>((k * 131 + v * 977) % 100000), '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(k * 31 + v * 7 + i * 13 + i / 256);
  return bytes;
}

void write_row(Table& tracks, const fs::path& scratch, int k, int v) {
  test::write_text(scratch, blob_bytes(k, v));
  tracks.field_by_name("TITLE").set_text(std::to_string(k) + "/" + std::to_string(v));
  tracks.field_by_name("MEMO").set_text(memo_text(k, v));
  tracks.field_by_name("DATA").load_from_file(scratch);
  for (int bit = 0; bit < 8; ++bit) tracks.field_by_position(bit).set_boolean((v >> bit) & 1);
}

constexpr int kPosting = -1;

// Appends rows and rewrites earlier ones without end, reporting each post as it begins (kPosting) and the row
// count after it.
[[noreturn]] void post_forever(const fs::path& folder, int report) {
  Table tracks("Crash.db");
  tracks.set_location(folder);
  tracks.set_field_order(track_field_order());
  tracks.open();
  const fs::path scratch = folder / ("child-" + std::to_string(::getpid()) + ".bin");
  for (int step = 0;; ++step) {
    const int count = tracks.record_count();
    if (count > 0 && step % 3 == 2) {
      tracks.move_by(step % count + 1 - tracks.record_number());
      const std::string title = tracks.field_by_name("TITLE").as_text();
      const int version = std::stoi(title.substr(title.find('/') + 1));
      tracks.edit();
      write_row(tracks, scratch, tracks.record_number(), version + 1);
    } else {
      tracks.append();
      write_row(tracks, scratch, count + 1, 0);
    }
    if (::write(report, &kPosting, sizeof kPosting) != sizeof kPosting) ::_exit(3);
    tracks.post();
    const int rows = tracks.record_count();
    if (::write(report, &rows, sizeof rows) != sizeof rows) ::_exit(3);
  }
}

void check_whole(const fs::path& folder, int acknowledged) {
  Table tracks("Crash.db");
  tracks.set_location(folder);
  tracks.set_field_order(track_field_order());
  tracks.open();
  // A post that was reported is kept; the one under way may have made it or not.
  EXPECT_GE(tracks.record_count(), acknowledged);
  EXPECT_LE(tracks.record_count(), acknowledged + 1);
  for (tracks.first(); !tracks.at_end(); tracks.next()) {
    const std::string title = tracks.field_by_name("TITLE").as_text();
    SCOPED_TRACE("row " + std::to_string(tracks.record_number()) + " " + title);
    const size_t slash = title.find('/');
    ASSERT_NE(slash, std::string::npos);
    const int k = std::stoi(title.substr(0, slash));
    const int v = std::stoi(title.substr(slash + 1));
    EXPECT_EQ(k, tracks.record_number());
    EXPECT_EQ(tracks.field_by_name("MEMO").as_text(), memo_text(k, v));
    tracks.field_by_name("DATA").save_to_file(folder / "check.bin");
    EXPECT_TRUE(test::file_text(folder / "check.bin") == blob_bytes(k, v));
    for (int bit = 0; bit < 8; ++bit)
      EXPECT_EQ(tracks.field_by_position(bit).as_boolean(), ((v >> bit) & 1) != 0);
  }
  tracks.close();
  for (const char* file : {"Crash.db", "Crash.mb"}) {
    SQLite::Database raw(folder / file, SQLite::OPEN_READONLY);
    EXPECT_EQ(raw.execAndGet("PRAGMA integrity_check").getString(), "ok") << file;
  }
}

TEST(CrashSafety, AKilledProgramLeavesEveryRowWhole) {
  test::TempDir dir;
  test::create_library(dir.path(), "Crash");
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(report[0]);
      post_forever(dir.path(), report[1]);
    }
    ::close(report[1]);
    int acknowledged = 0, rows = 0, posts = 0;
    while (::read(report[0], &rows, sizeof rows) == sizeof rows) {
      if (rows != kPosting) {
        acknowledged = rows;
        ++posts;
      } else if (posts >= 3 + round) {
        break;
      }
    }
    // The kill falls into the post under way, at a different moment each round.
    ::usleep(static_cast<useconds_t>(round * 300));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended on its own";
    while (::read(report[0], &rows, sizeof rows) == sizeof rows) {
      if (rows != kPosting) acknowledged = rows;
    }
    ::close(report[0]);
    check_whole(dir.path(), acknowledged);
  }
}

}  // namespace
}  // namespace vemla
