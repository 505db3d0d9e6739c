#include "track_ops.h"

#include <unistd.h>

#include <optional>

#include "bitstream.h"
#include "file_check.h"
#include "header.h"
#include "notifier.h"
#include "schema.h"
#include "store.h"
#include "table.h"
#include "track_facts.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

bool same_file(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error);
}

// The track table's own files and its library's category-name table.
bool is_library_file(Table& tracks, const fs::path& file) {
  const fs::path table = tracks.file_path();
  const fs::path categories = table.parent_path() / library_tables(table.stem().string()).categories;
  return same_file(file, table) || same_file(file, companion_of(table)) || same_file(file, categories);
}

// The playing time of the file's exact sample count, where the encoder's figures give it.
std::optional<int32_t> exact_playing_time(const fs::path& file) {
  FirstMessage quiet;  // a file without frames keeps the time it has
  ThreadNotifierScope scope(quiet);
  Ibitstream stream(file.string());
  Header header;
  Crc16* crc = nullptr;
  if (!stream.is_open() || !header.read_frame_header(stream, crc)) return {};
  const TrackFacts facts = track_facts(header, stream);
  if (!facts.exact) return {};
  return facts.tracktotal;
}

void remove_quietly(const fs::path& file) {
  std::error_code ignored;
  fs::remove(file, ignored);
}

}  // namespace

void export_track(Table& tracks, const fs::path& file) {
  if (tracks.record_count() == 0) throw TableError("There is no track to export");
  const Field data = tracks.field_by_name("DATA");
  // A track kept on disk is exported from its file.
  fs::path kept;
  if (data.is_empty()) {
    kept = tracks.field_by_name("PAD").as_text();
    const std::string why = why_unreadable(kept);
    if (!why.empty()) {
      throw TableError("The audio of this track is not stored in the database, and its file " +
                       kept.string() + ": " + why);
    }
  }
  if (is_library_file(tracks, file)) throw TableError(file.string() + " is a file of the open database");
  // Through links to the file they name (which may not exist yet), so that the links stay.
  fs::path target = file;
  std::error_code error;
  for (int hops = 0; hops < 40 && fs::is_symlink(target, error); ++hops) {
    const fs::path to = fs::read_symlink(target, error);
    if (error) break;
    target = to.is_absolute() ? to : target.parent_path() / to;
  }
  // Only the start of a long name: the temporary name must fit the folder's 255-byte names too.
  const fs::path scratch = target.parent_path() / ("." + target.filename().string().substr(0, 200) +
                                                   ".export-" + std::to_string(::getpid()));
  try {
    if (kept.empty()) {
      data.save_to_file(scratch);
    } else {
      fs::copy_file(kept, scratch, fs::copy_options::overwrite_existing);
    }
  } catch (const fs::filesystem_error& failed) {
    remove_quietly(scratch);
    throw TableError("Cannot export " + kept.string() + " to " + file.string() + ": " +
                     failed.code().message());
  } catch (const std::exception& failed) {
    remove_quietly(scratch);
    // The user asked for the file, not for its hidden scratch name.
    std::string text = failed.what();
    for (size_t at = 0; (at = text.find(scratch.string(), at)) != std::string::npos;
         at += file.string().size())
      text.replace(at, scratch.string().size(), file.string());
    throw TableError(text);
  }
  fs::rename(scratch, target, error);
  if (error) {
    remove_quietly(scratch);
    throw TableError("Cannot write " + target.string() + ": " + error.message());
  }
}

bool can_export(Table& tracks) {
  if (!tracks.is_open() || tracks.record_count() == 0 || tracks.state() == TableState::Insert) return false;
  return !tracks.field_by_name("DATA").is_empty() ||
         why_unreadable(tracks.field_by_name("PAD").as_text()).empty();
}

bool delete_track(Table& tracks) {
  if (tracks.record_count() == 0) return false;
  tracks.delete_record();
  return true;
}

bool go_to_record(Table& tracks, int record) {
  if (record < 1 || record > tracks.record_count()) return false;
  tracks.first();
  tracks.move_by(record - 1);
  return true;
}

TrackInfo track_info(Table& tracks) {
  const auto text = [&](const char* name) { return tracks.field_by_name(name).as_text(); };
  const auto number = [&](const char* name) { return tracks.field_by_name(name).as_integer(); };
  const auto flag = [&](const char* name) { return tracks.field_by_name(name).as_boolean(); };
  TrackInfo info;
  info.version = text("VERSION");
  info.layer = text("LAYER");
  info.bitrate = text("BITRATE");
  info.samplerate = text("SAMPLERATE");
  info.mode = text("MODE");
  info.checksums = number("CHECKSUMS");
  info.frametotal = number("FRAMETOTAL");
  info.tracktotal = number("TRACKTOTAL");
  info.copyright = flag("COPYRIGHT");
  info.original = flag("ORIGINAL");
  info.stored = !tracks.field_by_name("DATA").is_empty();
  info.pad = text("PAD");
  info.title = text("TITLE");
  info.artist = text("ARTIST");
  info.album = text("ALBUM");
  return info;
}

const char* yes_no(bool value) {
  return value ? "Yes" : "No";
}

bool storage(Table& settings) {
  return settings.field_by_name("STORAGE").as_boolean();
}

void set_storage(Table& settings, bool stored) {
  settings.edit();
  settings.field_by_name("STORAGE").set_boolean(stored);
  settings.refresh();
}

bool sync_storage(Table& tracks, Table& settings) {
  const bool stored = tracks.record_count() > 0 && !tracks.field_by_name("DATA").is_empty();
  if (storage(settings) != stored) set_storage(settings, stored);
  return stored;
}

FixJob::FixJob(Table& tracks) : tracks_(tracks), total_(tracks.record_count()) {}

FixJob::FixJob(Table& tracks, std::vector<int> records)
    : tracks_(tracks), records_(std::move(records)), total_(static_cast<int>(records_.size())) {}

LibraryJob::Progress FixJob::progress() const {
  return {next_ - 1, total_};
}

bool FixJob::work(Deadline deadline) {
  total_ = records_.empty() ? tracks_.record_count() : static_cast<int>(records_.size());
  if (next_ > total_) return false;
  TableBatch batch(tracks_);
  std::vector<FixOutcome> done;
  int next = next_;
  bool stored = false;
  const auto keep_done = [&] {
    batch.commit();
    for (FixOutcome& outcome : done) {
      filled_ += outcome.failed.empty();
      outcomes_.push_back(std::move(outcome));
    }
    next_ = next;
  };
  do {
    const int record = record_of(next);
    if (go_to_record(tracks_, record) && tracks_.field_by_name("DATA").is_empty()) {
      FixOutcome outcome{record, tracks_.field_by_name("PAD").as_text(), {}};
      outcome.failed = why_unreadable(outcome.file);
      if (outcome.failed.empty()) {
        try {
          tracks_.edit();
          tracks_.field_by_name("DATA").load_from_file(outcome.file);
          // Tracks added by earlier versions get the time that is heard.
          if (const std::optional<int32_t> time = exact_playing_time(outcome.file))
            tracks_.field_by_name("TRACKTOTAL").set_integer(*time);
          tracks_.post();
        } catch (...) {
          tracks_.cancel();
          keep_done_then_rethrow(keep_done);
        }
        stored = true;
      }
      done.push_back(std::move(outcome));
    }
    ++next;
    // Each track's audio is committed on its own: a full disk, which takes the whole transaction with it, then
    // loses no track that fitted (and a commit costs little beside the audio).
  } while (!stored && next <= total_ && std::chrono::steady_clock::now() < deadline);
  keep_done();
  return next_ <= total_;
}

}  // namespace vemla
