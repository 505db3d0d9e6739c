// vemla-library: the library and track operations of the desktop program from the command line: create,
// import into, list, fix, measure the loudness of, copy, move and delete libraries, and show, export and delete
// their tracks. File names are printed one to a line, whatever they hold (printable.h).
// Exit status: 0 done, 1 a failure (or a file not imported, a track not fixed or measured), 2 a usage error.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "data.h"
#include "gain_job.h"
#include "library_copy.h"
#include "library_files.h"
#include "printable.h"
#include "settings_location.h"
#include "stop_signals.h"
#include "table.h"
#include "track_import.h"
#include "track_listing.h"
#include "track_ops.h"

using namespace vemla;
namespace fs = std::filesystem;

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

// A failure the user is told of in one line.
struct Failure {
  std::string text;
  int status = kFailed;
};

// Runs the job to its end; Ctrl-C (or SIGTERM, SIGHUP, SIGQUIT) cancels it between steps. report is called
// after each step; cancelled tells what a cancel leaves ("what was done is kept", "nothing was copied").
void run_job(LibraryJob& job, const std::function<void()>& report, const std::string& cancelled) {
  const StopSignals stop;
  for (;;) {
    if (StopSignals::stop_requested()) job.cancel();
    const bool more = job.step();
    report();
    if (!more) break;
  }
  if (!job.error().empty()) throw Failure{job.error()};
  if (job.cancelled()) throw Failure{"interrupted; " + cancelled};
}

constexpr const char* kDoneIsKept = "what was done is kept";

// The library a command names by its ".mb" file (or its ".db" file, or its path without an extension).
LibraryPath existing_library(const std::string& named) {
  const LibraryPath library = split_library_path(named);
  if (library.base.empty() || !library_exists(library)) throw Failure{"no database " + named};
  return library;
}

// The library the data module has open, opened for the command.
struct OpenLibrary {
  explicit OpenLibrary(const std::string& named) : db(settings_folder()) {
    open_library(db, existing_library(named));
  }
  Table& tracks() { return db.Table1; }
  void go_to(int record) {
    if (!go_to_record(db.Table1, record)) {
      throw Failure{"the database has no track " + std::to_string(record) + " (it has " +
                    std::to_string(db.Table1.record_count()) + ")"};
    }
  }
  Tdb db;
};

int create(const std::string& named) {
  fs::path path(named);
  std::string base = path.filename().string();
  for (const char* extension : {".mb", ".MB", ".db", ".DB"}) {
    if (path.extension() == extension) base = path.stem().string();
  }
  LibraryPath library{fs::absolute(path).parent_path().lexically_normal(), base};
  Tdb db(settings_folder());
  switch (create_library(db, library)) {
    case CreateResult::NoName:
      throw Failure{"name the database to create: FOLDER/NAME", kUsage};
    case CreateResult::Exists:
      throw Failure{"there is a database " + base + " in " + library.folder.string() + " already"};
    case CreateResult::Created:
      break;
  }
  std::printf("created %s\n", library.store().c_str());
  return 0;
}

int import(const std::string& named, const std::vector<std::string>& inputs, bool store) {
  OpenLibrary library(named);
  ImportJob job(library.tracks(), std::vector<fs::path>(inputs.begin(), inputs.end()), store);
  size_t shown = 0;
  const auto show = [&] {
    for (; shown < job.outcomes().size(); ++shown) {
      const ImportOutcome& outcome = job.outcomes()[shown];
      if (outcome.added()) {
        std::string passed_over;
        for (const std::string& reason : outcome.passed_over) passed_over += (passed_over.empty() ? "" : "; ") + reason;
        std::printf("added %d: %s%s\n", outcome.record, printable(outcome.file.string()).c_str(),
                    passed_over.empty() ? "" : (" (tag: " + passed_over + ")").c_str());
      } else {
        std::printf("skipped %s: %s\n", printable(outcome.file.string()).c_str(), outcome.skipped.c_str());
      }
    }
    std::fflush(stdout);
  };
  try {
    run_job(job, show, kDoneIsKept);
  } catch (const Failure&) {
    std::printf("%d added before the import ended\n", job.added());
    throw;
  }
  const std::vector<ImportOutcome> skipped = job.skipped();
  std::printf("%d added, %zu skipped", job.added(), skipped.size());
  // Texts longer than their column are kept cut; the user hears of it.
  if (job.texts_cut() > 0) std::printf(", %d %s cut to fit the database", job.texts_cut(), job.texts_cut() == 1 ? "text" : "texts");
  std::printf("\n");
  for (const ImportOutcome& outcome : skipped)
    std::printf("not added: %s: %s\n", printable(outcome.file.string()).c_str(), outcome.skipped.c_str());
  return skipped.empty() ? 0 : kFailed;
}

// Prints the listing, and a line on standard error for each damaged track; 1 when there was one.
int show(const Listing& listing) {
  std::fwrite(listing.text.data(), 1, listing.text.size(), stdout);
  std::fflush(stdout);
  for (const std::string& line : listing.damaged) std::cerr << "vemla-library: " << line << '\n';
  return listing.damaged.empty() ? 0 : kFailed;
}

int list(const std::string& named, bool json) {
  OpenLibrary library(named);
  return show(json ? tracks_json(library.tracks()) : tracks_text(library.tracks()));
}

int info(const std::string& named, int record) {
  OpenLibrary library(named);
  library.go_to(record);
  return show(track_info_text(library.tracks()));
}

int export_audio(const std::string& named, int record, const std::string& out) {
  OpenLibrary library(named);
  library.go_to(record);
  export_track(library.tracks(), out);
  return 0;
}

int fix(const std::string& named) {
  OpenLibrary library(named);
  FixJob job(library.tracks());
  size_t shown = 0;
  run_job(job, [&] {
    for (; shown < job.outcomes().size(); ++shown) {
      const FixOutcome& outcome = job.outcomes()[shown];
      if (outcome.failed.empty()) {
        std::printf("stored %d: %s\n", outcome.record, printable(outcome.file.string()).c_str());
      } else {
        std::printf("not stored %d: %s: %s\n", outcome.record, printable(outcome.file.string()).c_str(),
                    outcome.failed.c_str());
      }
    }
    std::fflush(stdout);
  }, kDoneIsKept);
  const int failed = static_cast<int>(job.outcomes().size()) - job.filled();
  std::printf("%d stored, %d not stored\n", job.filled(), failed);
  return failed == 0 ? 0 : kFailed;
}

// "measured 3: -14.20 LUFS, track gain -3.80 dB, peak 0.912, album gain -4.10 dB: FILE"
std::string gain_line(const GainOutcome& outcome) {
  const std::string record = std::to_string(outcome.record);
  if (!outcome.failed.empty())
    return "not measured " + record + ": " + printable(outcome.file.string()) + ": " + outcome.failed;
  const auto number = [](const char* format, const std::optional<double>& value, const char* none) {
    if (!value) return std::string(none);
    char text[32];
    std::snprintf(text, sizeof text, format, *value);
    return std::string(text);
  };
  const TrackGains& g = outcome.gains;
  std::string line = "measured " + record + ": " + number("%.2f LUFS", g.loudness, "silent") + ", track gain " +
                     number("%+.2f dB", g.gain.track_gain, "none") + ", peak " +
                     number("%.3f", g.gain.track_peak, "none");
  if (g.gain.album_gain) line += ", album gain " + number("%+.2f dB", g.gain.album_gain, "none");
  return line + ": " + printable(outcome.file.string());
}

int gain(const std::string& named, bool all) {
  OpenLibrary library(named);
  GainJob job(library.tracks(), all ? GainScope::All : GainScope::Unmeasured);
  size_t shown = 0;
  run_job(job, [&] {
    for (; shown < job.outcomes().size(); ++shown) std::printf("%s\n", gain_line(job.outcomes()[shown]).c_str());
    std::fflush(stdout);
    }, kDoneIsKept);
  const int failed = static_cast<int>(job.outcomes().size()) - job.measured();
  std::printf("%d measured, %d not measured (%.0f s of audio)\n", job.measured(), failed, job.seconds());
  return failed == 0 ? 0 : kFailed;
}

int delete_one_track(const std::string& named, int record) {
  OpenLibrary library(named);
  library.go_to(record);
  delete_track(library.tracks());
  std::printf("deleted track %d\n", record);
  return 0;
}

int copy_or_move(const std::string& named, const std::string& destination, CopyKind kind) {
  CopyJob job(existing_library(named), destination, kind, false);
  run_job(job, [] {}, kind == CopyKind::Move ? "nothing was moved" : "nothing was copied");
  std::printf("%s %s\n", kind == CopyKind::Move ? "moved to" : "copied to", job.destination().store().c_str());
  return 0;
}

int delete_whole(const std::string& named) {
  const LibraryPath library = existing_library(named);
  delete_library(library);
  std::printf("deleted %s\n", library.store().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Creates, fills, lists and changes Vemla's track libraries (LIB.mb names a library)."};
  app.require_subcommand(1);
  std::string library, folder, out;
  std::vector<std::string> inputs;
  bool store = false, json = false;
  int record = 0;
  const auto library_arg = [&](CLI::App* command) {
    command->add_option("library", library, "the library's .mb file")->required();
  };
  const auto record_arg = [&](CLI::App* command) {
    command->add_option("record", record, "the track's record number, from 1")->required();
  };

  CLI::App* make = app.add_subcommand("new", "create an empty library FOLDER/NAME (NAME.db, NAME.mb, NAME1.db)");
  make->add_option("path", library, "FOLDER/NAME")->required();
  CLI::App* add = app.add_subcommand("import", "add MPEG audio files; folders are searched for *.mp3 and *.mp2");
  library_arg(add);
  add->add_option("files", inputs, "files and folders")->required();
  add->add_flag("--store", store, "store the audio in the library (default: keep it on disk)");
  CLI::App* show = app.add_subcommand("list", "list the tracks");
  library_arg(show);
  show->add_flag("--json", json, "one JSON array with an object per track");
  CLI::App* facts = app.add_subcommand("info", "the facts of a track");
  library_arg(facts);
  record_arg(facts);
  CLI::App* save = app.add_subcommand("export", "write a track's stored audio to a file");
  library_arg(save);
  record_arg(save);
  save->add_option("out", out, "the file to write (replaced when it exists)")->required();
  CLI::App* repair = app.add_subcommand("fix", "store the audio of every track that keeps it on disk");
  library_arg(repair);
  bool all = false;
  CLI::App* measure = app.add_subcommand(
      "gain", "measure the loudness of the tracks not measured yet (whole albums) and keep their ReplayGain");
  library_arg(measure);
  measure->add_flag("--all", all, "measure every track again");
  CLI::App* remove_track = app.add_subcommand("delete-track", "delete a track");
  library_arg(remove_track);
  record_arg(remove_track);
  CLI::App* copy = app.add_subcommand("copy", "copy a library into another folder");
  library_arg(copy);
  copy->add_option("destination", folder, "the destination folder")->required();
  CLI::App* move = app.add_subcommand("move", "move a library into another folder");
  library_arg(move);
  move->add_option("destination", folder, "the destination folder")->required();
  CLI::App* remove = app.add_subcommand("delete", "delete a library (without asking)");
  library_arg(remove);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    std::cerr << "vemla-library: " << error.what() << " (see vemla-library --help)\n";
    return kUsage;
  }

  try {
    if (make->parsed()) return create(library);
    if (add->parsed()) return import(library, inputs, store);
    if (show->parsed()) return list(library, json);
    if (facts->parsed()) return info(library, record);
    if (save->parsed()) return export_audio(library, record, out);
    if (repair->parsed()) return fix(library);
    if (measure->parsed()) return gain(library, all);
    if (remove_track->parsed()) return delete_one_track(library, record);
    if (copy->parsed()) return copy_or_move(library, folder, CopyKind::Copy);
    if (move->parsed()) return copy_or_move(library, folder, CopyKind::Move);
    if (remove->parsed()) return delete_whole(library);
  } catch (const Failure& failure) {
    std::fflush(stdout);
    std::cerr << "vemla-library: " << printable(failure.text) << '\n';
    return failure.status;
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::cerr << "vemla-library: " << printable(error.what()) << '\n';
    return kFailed;
  }
  return kUsage;
}
