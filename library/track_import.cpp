#include "track_import.h"

#include <algorithm>
#include <cctype>

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

fs::path absolute_path(const fs::path& file) {
  std::error_code error;
  const fs::path absolute = fs::absolute(file, error);
  return error ? file : absolute.lexically_normal();
}

bool is_track_file(const fs::path& file) {
  std::string extension = file.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".mp3" || extension == ".mp2";
}

// Of the texts, how many the columns cut (a column's recorded width governs).
int texts_cut(Table& tracks, const TagTexts& tag) {
  int cut = 0;
  for (const auto& [column, text] : {std::pair<TextColumn, const std::string*>{TrackTable::title, &tag.title},
                                     {TrackTable::artist, &tag.artist},
                                     {TrackTable::album, &tag.album}}) {
    const Field field = vemla::field(tracks, column);
    if (field.type() == ColumnType::String && cut_text(*text, field.size()) != *text) ++cut;
  }
  return cut;
}

void write_track(Table& tracks, const TrackFacts& facts, const TagTexts& tag, const fs::path& file,
                 bool store) {
  tracks.append();
  try {
    using T = TrackTable;
    if (store) field(tracks, T::data).load_from_file(file);
    set(tracks, T::layer, facts.layer);
    set(tracks, T::mode, facts.mode);
    set(tracks, T::checksums, facts.checksums ? 1 : 0);
    set(tracks, T::samplerate, facts.samplerate);
    set(tracks, T::bitrate, facts.bitrate);
    set(tracks, T::version, facts.version);
    set(tracks, T::copyright, facts.copyright);
    set(tracks, T::original, facts.original);
    set(tracks, T::tracktotal, facts.tracktotal);
    set(tracks, T::frametotal, facts.frametotal);
    set(tracks, T::pad, file.string());
    set(tracks, T::skip, false);
    set(tracks, T::title, tag.title);
    set(tracks, T::album, tag.album);
    set(tracks, T::artist, tag.artist);
    set(tracks, T::memo, tag.comment);
    tracks.post();
  } catch (...) {
    tracks.cancel();
    throw;
  }
}

// Reads the first frame header; on failure, why none was found.
std::string find_first_frame(Ibitstream& stream, Header& header) {
  // What the decoder would tell the user (an unknown sampling frequency, say) becomes the reason the file is
  // skipped, instead of a message box per file.
  FirstMessage message;
  ThreadNotifierScope scope(message);
  Crc16* crc = nullptr;
  if (stream.is_open() && header.read_frame_header(stream, crc)) return {};
  return message.empty() ? "no MPEG audio frame header found" : message.text;
}

}  // namespace

std::string why_not_playable(const fs::path& file) {
  std::string why = why_unreadable(file);
  if (!why.empty()) return why;
  Ibitstream stream(file.string());
  Header header;
  return find_first_frame(stream, header);
}

ImportOutcome import_track(Table& tracks, const fs::path& file, bool store) {
  ImportOutcome outcome{absolute_path(file), 0, {}};
  const fs::path& path = outcome.file;
  outcome.skipped = why_unreadable(path);
  if (!outcome.skipped.empty()) return outcome;
  const int pad_width = field(tracks, TrackTable::pad).size();
  if (!store && cut_text(path.string(), pad_width) != path.string()) {
    outcome.skipped = "its path is longer than the " + std::to_string(pad_width) +
                      " characters this database keeps for a file name";
    return outcome;
  }
  TrackFacts facts;
  {
    Ibitstream stream(path.string());
    Header header;
    outcome.skipped = find_first_frame(stream, header);
    if (!outcome.skipped.empty()) return outcome;
    facts = track_facts(header, stream);
    // An encoder's header with nothing after it (a file cut short) would be a track that never plays.
    if (header.tag_frame() && facts.frametotal == 0) {
      outcome.skipped = "no audio frame follows the encoder's header";
      return outcome;
    }
  }
  TagReading tags = read_tags(path);
  write_track(tracks, facts, tags.texts, path, store);
  outcome.record = tracks.record_number();
  outcome.texts_cut = texts_cut(tracks, tags.texts);
  outcome.passed_over = std::move(tags.passed_over);
  try {
    if (!tags.gain.empty()) write_gains(tracks, TrackGains{tags.gain, std::nullopt, GainSource::Tag});
  } catch (...) {
    // The track goes with its gains: no half-added track stays behind the error.
    try {
      tracks.delete_record();
    } catch (...) {
    }
    throw;
  }
  return outcome;
}

std::vector<fs::path> import_files(const std::vector<fs::path>& inputs, std::vector<ImportOutcome>& unusable) {
  std::vector<fs::path> files;
  for (const fs::path& input : inputs) {
    std::error_code error;
    if (!fs::is_directory(input, error)) {
      if (fs::exists(input, error)) {
        files.push_back(input);
      } else {
        unusable.push_back({absolute_path(input), 0, "no such file or folder"});
      }
      continue;
    }
    std::vector<fs::path> found;
    fs::recursive_directory_iterator entry(input, fs::directory_options::skip_permission_denied, error);
    for (; !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
      std::error_code kind_error;
      if (entry->is_regular_file(kind_error) && is_track_file(entry->path())) found.push_back(entry->path());
    }
    if (error) unusable.push_back({absolute_path(input), 0, "cannot be listed: " + error.message()});
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

std::vector<std::string> known_files(Table& tracks) {
  std::vector<std::string> files;
  Store* store = tracks.is_open() ? tracks.store() : nullptr;
  if (!store) return files;
  const int pad = store->position_of(TrackTable::pad.name);
  if (pad < 0 || stored_apart(store->columns()[pad].type)) return files;
  try {
    SQLite::Statement select(store->sql(), "SELECT " + row_column(pad) + " FROM rows WHERE " + row_column(pad) +
                                               " IS NOT NULL");
    while (select.executeStep()) files.push_back(select.getColumn(0).getString());
  } catch (const std::exception& error) {
    throw_store_error(error, store->paths().table);
  }
  return files;
}

ImportJob::ImportJob(Table& tracks, const std::vector<fs::path>& inputs, bool store, bool pass_known)
    : tracks_(tracks), store_(store), pass_known_(pass_known) {
  files_ = import_files(inputs, outcomes_);
  if (pass_known_) {
    for (std::string& file : known_files(tracks)) known_files_.insert(std::move(file));
  }
}

LibraryJob::Progress ImportJob::progress() const {
  return {static_cast<int64_t>(next_), static_cast<int64_t>(files_.size())};
}

std::vector<ImportOutcome> ImportJob::skipped() const {
  std::vector<ImportOutcome> result;
  for (const ImportOutcome& outcome : outcomes_) {
    if (!outcome.added() && !outcome.known) result.push_back(outcome);
  }
  return result;
}

bool ImportJob::work(Deadline deadline) {
  if (next_ == files_.size()) return false;
  // One commit for the step's rows: a commit waits for the disk, a row alone does not.
  TableBatch batch(tracks_);
  std::vector<ImportOutcome> done;
  size_t next = next_;
  const auto keep_done = [&] {
    batch.commit();
    for (ImportOutcome& outcome : done) {
      added_ += outcome.added();
      known_ += outcome.known;
      texts_cut_ += outcome.texts_cut;
      outcomes_.push_back(std::move(outcome));
    }
    next_ = next;
  };
  do {
    const fs::path file = absolute_path(files_[next]);
    if (pass_known_ && known_files_.count(file.string())) {
      done.push_back({file, 0, "already in the database", 0, true});
    } else {
      try {
        done.push_back(import_track(tracks_, files_[next], store_));
      } catch (...) {
        keep_done_then_rethrow(keep_done);
      }
      // The same file twice in one import is added once.
      if (pass_known_ && done.back().added()) known_files_.insert(done.back().file.string());
    }
    ++next;
    // A track whose audio goes into the library is committed on its own: a full disk, which takes the whole
    // transaction with it, then loses no track that fitted (and a commit costs little beside the audio).
  } while (!store_ && next < files_.size() && std::chrono::steady_clock::now() < deadline);
  keep_done();
  return next_ < files_.size();
}

}  // namespace vemla
