#include "track_ops.h"

#include <unistd.h>

#include <optional>

#include "bitstream.h"
#include "file_check.h"
#include "header.h"
#include "notifier.h"
#include "rows.h"
#include "schema.h"
#include "store.h"
#include "table.h"
#include "track_facts.h"
#include "track_gains.h"
#include "track_tag.h"

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

// A track filled from its file takes the file's ReplayGain tags, unless the scan has measured it.
void take_tag_gains(Table& tracks, const fs::path& file) {
  const std::optional<TrackGains> kept = read_gains(tracks);
  if (kept && kept->source == GainSource::Scan) return;
  const ReplayGain gain = read_tags(file).gain;
  if (!gain.empty()) write_gains(tracks, TrackGains{gain, std::nullopt, GainSource::Tag});
}

}  // namespace

void export_track(Table& tracks, const fs::path& file) {
  if (tracks.record_count() == 0) throw TableError("There is no track to export");
  const Field data = field(tracks, TrackTable::data);
  // A track kept on disk is exported from its file.
  fs::path kept;
  if (data.is_empty()) {
    kept = get(tracks, TrackTable::pad);
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
  return !is_empty(tracks, TrackTable::data) ||
         why_unreadable(get(tracks, TrackTable::pad)).empty();
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
  using T = TrackTable;
  TrackInfo info;
  info.version = get(tracks, T::version);
  info.layer = get(tracks, T::layer);
  info.bitrate = get(tracks, T::bitrate);
  info.samplerate = get(tracks, T::samplerate);
  info.mode = get(tracks, T::mode);
  info.checksums = get_or_note(tracks, T::checksums, info.damaged);
  info.frametotal = get_or_note(tracks, T::frametotal, info.damaged);
  info.tracktotal = get_or_note(tracks, T::tracktotal, info.damaged);
  info.copyright = get_or_note(tracks, T::copyright, info.damaged);
  info.original = get_or_note(tracks, T::original, info.damaged);
  info.stored = !is_empty(tracks, T::data);
  info.pad = get(tracks, T::pad);
  info.title = get(tracks, T::title);
  info.artist = get(tracks, T::artist);
  info.album = get(tracks, T::album);
  return info;
}

const char* yes_no(bool value) {
  return value ? "Yes" : "No";
}

bool storage(Table& settings) {
  return get(settings, SettingsTable::storage);
}

void set_storage(Table& settings, bool stored) {
  settings.edit();
  set(settings, SettingsTable::storage, stored);
  settings.refresh();
}

bool sync_storage(Table& tracks, Table& settings) {
  const bool stored = tracks.record_count() > 0 && !is_empty(tracks, TrackTable::data);
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
    FixOutcome outcome{record, {}, {}};
    try {
      if (go_to_record(tracks_, record) && is_empty(tracks_, TrackTable::data)) {
        outcome.file = get(tracks_, TrackTable::pad);
        outcome.failed = why_unreadable(outcome.file);
        if (outcome.failed.empty()) {
          tracks_.edit();
          field(tracks_, TrackTable::data).load_from_file(outcome.file);
          // Tracks added by earlier versions get the time that is heard.
          if (const std::optional<int32_t> time = exact_playing_time(outcome.file))
            set(tracks_, TrackTable::tracktotal, *time);
          tracks_.post();
          take_tag_gains(tracks_, outcome.file);
          stored = true;
        }
        done.push_back(std::move(outcome));
      }
    } catch (const std::exception& error) {
      tracks_.cancel();
      // The track is named: in a library of thousands the error alone would not say which one stopped it.
      const std::string file = outcome.file.empty() ? std::string() : " (" + outcome.file.string() + ")";
      const TableError named("track " + std::to_string(record) + file + ": " + error.what());
      try {
        keep_done();
      } catch (...) {
        // Nothing of the step was kept; the error being handled says why.
      }
      throw named;
    }
    ++next;
    // Each track's audio is committed on its own: a full disk, which takes the whole transaction with it, then
    // loses no track that fitted (and a commit costs little beside the audio).
  } while (!stored && next <= total_ && std::chrono::steady_clock::now() < deadline);
  keep_done();
  return next_ <= total_;
}

}  // namespace vemla
