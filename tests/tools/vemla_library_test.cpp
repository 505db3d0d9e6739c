// vemla-library as a user runs it: its commands, what they print, and its exit statuses.
#include <SQLiteCpp/Database.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "store_support.h"
#include "support.h"
#include "table.h"
#include "track_files.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

const std::string kTool = VEMLA_LIBRARY_TOOL;

struct Result {
  int status = -1;
  std::string out, err;
};

class VemlaLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    if (layer3_file().empty()) GTEST_SKIP() << "lame is missing; the test files cannot be made";
    fs::create_directories(dir / "home");
    fs::create_directories(dir / "music/more");
  }
  // Runs the tool with the arguments (quoted by the caller where needed), its settings in a folder of the test.
  Result tool(const std::string& arguments) {
    Result result;
    const int status = run("cd '" + dir.path().string() + "' && VEMLA_HOME=home '" + kTool + "' " + arguments +
                           " >out.txt 2>err.txt");
    result.status = status;
    result.out = file_text(dir / "out.txt");
    result.err = file_text(dir / "err.txt");
    return result;
  }
  nlohmann::json listing(const std::string& library) {
    const Result listed = tool("list " + library + " --json");
    EXPECT_EQ(listed.status, 0) << listed.err;
    return nlohmann::json::parse(listed.out);
  }
  TempDir dir;
};

int lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(VemlaLibrary, NewImportAndListAsJson) {
  ASSERT_EQ(tool("new Lib").status, 0);
  const fs::path tagged = copy_track(layer3_file(), dir / "music/b.mp3");
  append_id3v1(tagged, "Caf\xE9", "Quote \" and \\", "", "", "line");
  copy_track(layer3_file(), dir / "music/more/a.MP3");
  write_text(dir / "music/c.mp3", "no audio");
  const Result imported = tool("import Lib.mb music");
  EXPECT_EQ(imported.status, 1);  // a file was not added
  EXPECT_NE(imported.out.find("added 1: " + (dir / "music/b.mp3").string()), std::string::npos) << imported.out;
  EXPECT_NE(imported.out.find("skipped " + (dir / "music/c.mp3").string() + ": no MPEG audio frame header found"),
            std::string::npos);
  EXPECT_NE(imported.out.find("2 added, 1 skipped\nnot added: " + (dir / "music/c.mp3").string()),
            std::string::npos)
      << imported.out;
  EXPECT_EQ(tool("import Lib.mb --store music/more/a.MP3").status, 0);

  {
    Table tracks("Lib.db");
    tracks.set_location(dir.path());
    tracks.open();
    tracks.first();
    tracks.edit();
    tracks.field_by_name("C3").set_boolean(true);
    tracks.field_by_name("C64").set_boolean(true);
    tracks.post();
  }
  const nlohmann::json list = listing("Lib.mb");
  ASSERT_TRUE(list.is_array());
  ASSERT_EQ(list.size(), 3u);
  const nlohmann::json& first = list[0];
  EXPECT_EQ(first["RECORD"], 1);
  EXPECT_EQ(first["TITLE"], "Caf\xC3\xA9");
  EXPECT_EQ(first["ARTIST"], "Quote \" and \\");
  EXPECT_EQ(first["MEMO"], "line");
  EXPECT_EQ(first["LAYER"], "III");
  EXPECT_EQ(first["CHECKSUMS"], 0);
  EXPECT_EQ(first["COPYRIGHT"], false);
  EXPECT_EQ(first["SKIP"], false);
  EXPECT_EQ(first["PAD"], (dir / "music/b.mp3").string());
  EXPECT_EQ(first["KEY"], 0);
  EXPECT_EQ(first["STORED"], false);
  EXPECT_EQ(first["CATEGORIES"], nlohmann::json::array({3, 64}));
  EXPECT_FALSE(first.contains("DATA"));
  EXPECT_FALSE(first.contains("C1"));
  EXPECT_EQ(first.size(), 26u);  // RECORD, 17 columns, STORED, CATEGORIES, 6 of the gains
  EXPECT_EQ(list[2]["STORED"], true);
  EXPECT_EQ(list[2]["RECORD"], 3);

  const Result plain = tool("list Lib.mb");
  EXPECT_EQ(lines(plain.out), 3);
  EXPECT_EQ(plain.out.rfind("1\t0:00:02\tCaf\xC3\xA9\t", 0), 0u) << plain.out;
}

TEST_F(VemlaLibrary, BadInputGetsOneLineAndAStatus) {
  const std::pair<std::string, int> cases[] = {
      {"", 2},
      {"info", 2},
      {"info Lib.mb x", 2},
      {"frobnicate Lib.mb", 2},
      {"list Missing.mb", 1},
      {"import Missing.mb music", 1},
      {"new 'no folder/Lib'", 1},
      {"info Lib.mb 2", 1},
      {"info Lib.mb 0", 1},
      {"export Lib.mb 1 'no folder/out.mp3'", 1},
      {"new Lib", 1},        // exists
      {"copy Lib.mb .", 1},  // its own folder
  };
  ASSERT_EQ(tool("new Lib").status, 0);
  copy_track(layer3_file(), dir / "music/a.mp3");
  ASSERT_EQ(tool("import Lib.mb music/a.mp3").status, 0);
  for (const auto& [arguments, status] : cases) {
    const Result result = tool(arguments);
    EXPECT_EQ(result.status, status) << arguments;
    EXPECT_EQ(lines(result.err), 1) << arguments << ": " << result.err;
    EXPECT_EQ(result.err.rfind("vemla-library: ", 0), 0u) << arguments << ": " << result.err;
  }
  EXPECT_FALSE(fs::exists(dir / "out.mp3"));
  EXPECT_EQ(listing("Lib.mb").size(), 1u);
}

TEST_F(VemlaLibrary, InfoFixExportAndDeleteTrack) {
  ASSERT_EQ(tool("new Lib").status, 0);
  const fs::path a = copy_track(layer3_file(), dir / "music/a.mp3");
  copy_track(layer3_file(), dir / "music/b.mp3");
  ASSERT_EQ(tool("import Lib.mb music").status, 0);
  const Result info = tool("info Lib.mb 1");
  EXPECT_EQ(info.status, 0);
  EXPECT_NE(info.out.find("Layer:         III\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Original file and path: " + a.string()), std::string::npos);

  fs::remove(dir / "music/b.mp3");
  const Result fixed = tool("fix Lib.mb");
  EXPECT_EQ(fixed.status, 1);  // b's file is gone
  EXPECT_NE(fixed.out.find("stored 1: " + a.string()), std::string::npos) << fixed.out;
  EXPECT_NE(fixed.out.find("not stored 2: "), std::string::npos);
  EXPECT_NE(fixed.out.find("1 stored, 1 not stored"), std::string::npos);

  ASSERT_EQ(tool("export Lib.mb 1 out.mp3").status, 0);
  EXPECT_EQ(read_file(dir / "out.mp3"), read_file(a));
  EXPECT_EQ(tool("delete-track Lib.mb 2").status, 0);
  const nlohmann::json list = listing("Lib.mb");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]["STORED"], true);
}

// A file name holding a line break or a terminal's escape sequence is printed escaped, on its one line.
TEST_F(VemlaLibrary, OddFileNamesStayOnTheirLines) {
  ASSERT_EQ(tool("new Lib").status, 0);
  const std::string odd = "odd\nname\x1b[31m\\.mp3";
  copy_track(layer3_file(), dir / "music" / odd);
  write_text(dir / "music" / "bad\rfile.mp3", "no audio");
  const std::string shown = (dir / "music").string() + "/odd\\nname\\x1b[31m\\\\.mp3";
  const Result imported = tool("import Lib.mb music");
  EXPECT_EQ(imported.status, 1);
  EXPECT_EQ(lines(imported.out), 4) << imported.out;
  EXPECT_NE(imported.out.find("added 1: " + shown + "\n"), std::string::npos) << imported.out;
  EXPECT_NE(imported.out.find("/bad\\rfile.mp3: no MPEG"), std::string::npos) << imported.out;
  EXPECT_EQ(imported.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(imported.out.find('\r'), std::string::npos);

  const Result fixed = tool("fix Lib.mb");
  EXPECT_EQ(fixed.status, 0) << fixed.err;
  EXPECT_EQ(lines(fixed.out), 2) << fixed.out;
  EXPECT_NE(fixed.out.find("stored 1: " + shown + "\n"), std::string::npos) << fixed.out;
}

TEST_F(VemlaLibrary, CopyMoveAndDeleteWholeLibraries) {
  ASSERT_EQ(tool("new Lib").status, 0);
  fs::create_directories(dir / "copies");
  fs::create_directories(dir / "moved");
  EXPECT_EQ(tool("copy Lib.mb copies").status, 0);
  EXPECT_TRUE(fs::exists(dir / "Lib.mb"));
  EXPECT_TRUE(fs::exists(dir / "copies/Lib1.db"));
  EXPECT_EQ(tool("copy Lib.mb copies").status, 1);  // a library of that name is there
  EXPECT_EQ(tool("move copies/Lib.mb moved").status, 0);
  EXPECT_FALSE(fs::exists(dir / "copies/Lib.mb"));
  EXPECT_EQ(listing("moved/Lib.mb").size(), 0u);
  EXPECT_EQ(tool("delete moved/Lib.mb").status, 0);
  EXPECT_TRUE(fs::is_empty(dir / "moved"));
  EXPECT_EQ(tool("delete moved/Lib.mb").status, 1);
  EXPECT_FALSE(fs::exists(dir / "home/reg.db"));  // none of these needs the settings
}

// Another program (or a damaged file) put a text where a number belongs: the others are listed as ever, the
// damaged track is listed with what can be read of it and named, with its file, on standard error.
TEST_F(VemlaLibrary, ABadCellNamesItsTrackAndTheOthersAreListed) {
  ASSERT_EQ(tool("new Lib").status, 0);
  copy_track(layer3_file(), dir / "music/a.mp3");
  const fs::path b = copy_track(layer3_file(), dir / "music/b.mp3");
  copy_track(layer3_file(), dir / "music/c.mp3");
  ASSERT_EQ(tool("import Lib.mb music").status, 0);
  {
    SQLite::Database raw(dir / "Lib.db", SQLite::OPEN_READWRITE);
    raw.exec("UPDATE rows SET c6='abc' WHERE id=2");  // CHECKSUMS, the seventh column
  }
  const Result text = tool("list Lib.mb");
  EXPECT_EQ(text.status, 1);
  EXPECT_EQ(lines(text.out), 3) << text.out;
  EXPECT_NE(text.err.find("track 2 (" + b.string() + ") is damaged: CHECKSUMS holds \"abc\""), std::string::npos)
      << text.err;
  EXPECT_EQ(lines(text.err), 1);

  const Result json = tool("list Lib.mb --json");
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(json.err, text.err);
  const nlohmann::json list = nlohmann::json::parse(json.out);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1]["DAMAGED"], nlohmann::json::array({"CHECKSUMS"}));
  EXPECT_EQ(list[1]["CHECKSUMS"], 0);  // as the window's "MPEG Info" shows it
  EXPECT_EQ(list[1]["LAYER"], "III");
  EXPECT_FALSE(list[0].contains("DAMAGED"));

  const Result info = tool("info Lib.mb 2");
  EXPECT_EQ(info.status, 1);
  EXPECT_NE(info.out.find("Checksums:     0\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Layer:         III\n"), std::string::npos) << info.out;
  EXPECT_EQ(tool("info Lib.mb 1").status, 0);

  const Result fixed = tool("fix Lib.mb");
  EXPECT_EQ(fixed.status, 0) << fixed.err;
  EXPECT_NE(fixed.out.find("3 stored, 0 not stored"), std::string::npos) << fixed.out;
}

// A stop signal that arrives while a copy runs ends it as Ctrl-C does: the copy is dropped, and nothing of it
// is left in the destination. The signal waits, blocked, for the tool to take it, so that it always falls
// into the copy.
TEST_F(VemlaLibrary, AStoppedCopyLeavesNothingAndSaysSo) {
  ASSERT_EQ(tool("new Lib").status, 0);
  fs::create_directories(dir / "copies");
  for (const int stop : {SIGHUP, SIGINT, SIGTERM}) {
    SCOPED_TRACE("signal " + std::to_string(stop));
    const pid_t child = ::fork();
    if (child == 0) {
      if (::chdir(dir.path().c_str()) != 0) ::_exit(97);
      ::setenv("VEMLA_HOME", "home", 1);
      const int err = ::open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(err, STDERR_FILENO);
      sigset_t blocked;
      sigemptyset(&blocked);
      sigaddset(&blocked, stop);
      ::sigprocmask(SIG_BLOCK, &blocked, nullptr);
      ::raise(stop);
      ::execl(kTool.c_str(), kTool.c_str(), "copy", "Lib.mb", "copies", static_cast<char*>(nullptr));
      ::_exit(96);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(file_text(dir / "err.txt"), "vemla-library: interrupted; nothing was copied\n");
    EXPECT_TRUE(fs::is_empty(dir / "copies"));
  }
  EXPECT_EQ(listing("Lib.mb").size(), 0u);
}

TEST_F(VemlaLibrary, GainMeasuresWhatIsNewAndListAndInfoShowIt) {
  ASSERT_EQ(tool("new Lib").status, 0);
  const fs::path a = copy_track(layer3_file(), dir / "music/a.mp3");
  const fs::path b = copy_track(layer3_file(), dir / "music/b.mp3");
  append_id3v1(a, "A", "", "Album", "", "");
  append_id3v1(b, "B", "", "Album", "", "");
  add_replaygain_txxx(copy_track(layer3_file(), dir / "music/more/tagged.mp3"),
                      ReplayGain{-4.5, 0.75, std::nullopt, std::nullopt});
  ASSERT_EQ(tool("import Lib.mb music").status, 0);
  nlohmann::json list = listing("Lib.mb");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_TRUE(list[0]["REPLAYGAIN_TRACK_GAIN"].is_null());
  EXPECT_TRUE(list[0]["GAIN_SOURCE"].is_null());
  EXPECT_EQ(list[2]["REPLAYGAIN_TRACK_GAIN"], -4.5);
  EXPECT_EQ(list[2]["REPLAYGAIN_TRACK_PEAK"], 0.75);
  EXPECT_TRUE(list[2]["REPLAYGAIN_ALBUM_GAIN"].is_null());
  EXPECT_EQ(list[2]["GAIN_SOURCE"], "tag");

  Result measured = tool("gain Lib.mb");
  EXPECT_EQ(measured.status, 0) << measured.err;
  EXPECT_EQ(lines(measured.out), 4) << measured.out;
  EXPECT_NE(measured.out.find("3 measured, 0 not measured"), std::string::npos) << measured.out;
  list = listing("Lib.mb");
  for (const auto& track : list) {
    EXPECT_EQ(track["GAIN_SOURCE"], "scan");
    EXPECT_TRUE(track["REPLAYGAIN_TRACK_GAIN"].is_number());
    EXPECT_TRUE(track["LOUDNESS"].is_number());
  }
  EXPECT_EQ(list[0]["REPLAYGAIN_ALBUM_GAIN"], list[1]["REPLAYGAIN_ALBUM_GAIN"]);
  EXPECT_TRUE(list[2]["REPLAYGAIN_ALBUM_GAIN"].is_null());
  const Result info = tool("info Lib.mb 3");
  EXPECT_NE(info.out.find("Album gain:    unknown\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Gains from:    scan\n"), std::string::npos) << info.out;

  // Only what is not measured yet, unless all is asked for.
  EXPECT_NE(tool("gain Lib.mb").out.find("0 measured"), std::string::npos);
  EXPECT_NE(tool("gain Lib.mb --all").out.find("3 measured"), std::string::npos);
  fs::remove(a);
  measured = tool("gain Lib.mb --all");
  EXPECT_EQ(measured.status, 1);
  EXPECT_NE(measured.out.find("not measured 1: " + a.string()), std::string::npos) << measured.out;
}

TEST_F(VemlaLibrary, HostileTagCostsNoMoreMemoryThanTheAudio) {
  if (!fs::exists("/usr/bin/time")) GTEST_SKIP() << "/usr/bin/time is missing";
  // A title that unpacks to 256 MB and says so, and an album that unpacks to as much but says 100 bytes.
  const std::string zeros = zlib_zeros(256u << 20);
  const fs::path bomb = copy_track(layer3_file(), dir / "music/bomb.mp3");
  prepend_id3v2(bomb, 4, 0,
                id3v2_frame(4, "TIT2", syncsafe((256u << 20) - 1) + zeros, 0x09) +
                    id3v2_frame(4, "TALB", syncsafe(100) + zeros, 0x09) +
                    id3v2_frame(4, "TPE1", latin1_text("Still read")));
  const fs::path plain = copy_track(layer3_file(), dir / "music/plain.mp3");
  // Peak resident memory (kB) of importing the file into a library of its own.
  const auto peak_kb = [&](const std::string& library, const fs::path& file) {
    EXPECT_EQ(tool("new " + library).status, 0);
    run("cd '" + dir.path().string() + "' && VEMLA_HOME=home /usr/bin/time -f %M -o rss.txt '" + kTool + "' import " +
        library + ".mb '" + file.string() + "' >out.txt 2>err.txt");
    return std::stol(file_text(dir / "rss.txt"));
  };
  const long plain_kb = peak_kb("Plain", plain);
  const long bomb_kb = peak_kb("Bomb", bomb);
  EXPECT_LT(bomb_kb - plain_kb, 100 * 1024) << plain_kb << " kB without the tag, " << bomb_kb << " kB with it";
  const std::string out = file_text(dir / "out.txt");
  EXPECT_NE(out.find("added 1: " + bomb.string() + " (tag: the ID3v2 frame TIT2 (268.4 MB unpacked) was passed over"),
            std::string::npos) << out;
  EXPECT_NE(out.find("TALB is damaged or unpacks to more"), std::string::npos) << out;
  EXPECT_EQ(lines(out), 2) << out;
  EXPECT_EQ(listing("Bomb.mb")[0]["ARTIST"], "Still read");
}

}  // namespace
}  // namespace vemla::test
