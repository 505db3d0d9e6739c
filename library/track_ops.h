// Work on the tracks of an open library: export of a track's stored audio, fix (storing the audio of every
// track that keeps it on disk), delete, the facts the info window shows, and the settings' storage flag.
// They work on the track table's current row; errors of the table engine are TableErrors.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "library_job.h"
#include "rows.h"

namespace vemla {

class Table;

// Writes the current track's audio to the file, replacing it without asking: its stored audio, or a copy of
// the file it keeps its audio in. The file is written under another name beside it and renamed into place, so
// that a failed export leaves an existing file as it was; errors name the file asked for. An error, with
// nothing written, when the track has neither stored audio nor a readable file (an empty file would pass for
// a copy), when the table is empty, or when the file is one of the library's own.
void export_track(Table& tracks, const std::filesystem::path& file);
// Whether export_track has audio to write for the current track: stored audio, or a readable file.
bool can_export(Table& tracks);

// Deletes the current track; false, with nothing done, when the table has no row.
bool delete_track(Table& tracks);

// The track table's current row, by record number (1-based); false when there is no such row.
bool go_to_record(Table& tracks, int record);

// What the info window shows of the current track. A number or flag whose cell cannot be read as one reads as
// 0 or false and is named in `damaged`, so that one bad cell costs that value, not the track.
struct TrackInfo {
  std::string version, layer, bitrate, samplerate, mode;
  int checksums = 0;
  int frametotal = 0;
  int tracktotal = 0;  // ms
  bool copyright = false, original = false;
  bool stored = false;  // DATA holds the audio
  std::string pad;
  std::string title, artist, album;
  std::vector<BadCell> damaged;
};
TrackInfo track_info(Table& tracks);
// "Yes" or "No", as the info window shows the copyright and original bits.
const char* yes_no(bool value);

// The settings' STORAGE (the settings table must be open).
bool storage(Table& settings);
void set_storage(Table& settings, bool stored);
// Makes STORAGE say whether the current track's audio is stored (DATA not empty); returns it. On an empty
// track table STORAGE becomes false.
bool sync_storage(Table& tracks, Table& settings);

struct FixOutcome {
  int record = 0;
  std::filesystem::path file;  // PAD
  std::string failed;          // why the audio was not stored; empty when it was
};

// Stores the audio of every track whose DATA is empty, loaded from the file its PAD names (a bare name from
// an older library is taken relative to the current folder), walking the rows in order, with the ReplayGain
// values of the file's tags unless the loudness scan has measured the track; tracks with stored audio are not
// touched. A track whose file cannot be opened keeps its empty DATA and the fix goes on; an error of the table
// engine (a read-only library, a full disk) ends the job there, keeping the tracks filled before it. Progress
// in tracks; each step's rows are committed together, so cancel keeps the tracks filled so far. The job moves
// the table's current row; the table must stay open while it runs.
class FixJob : public LibraryJob {
 public:
  explicit FixJob(Table& tracks);
  // Only these tracks (record numbers, in this order); no rows may be added or deleted while it runs.
  FixJob(Table& tracks, std::vector<int> records);

  Progress progress() const override;
  // The tracks it tried to fill, in order.
  const std::vector<FixOutcome>& outcomes() const { return outcomes_; }
  int filled() const { return filled_; }

 private:
  bool work(Deadline deadline) override;

  // The record number of the n-th track to look at (1-based).
  int record_of(int n) const { return records_.empty() ? n : records_[static_cast<size_t>(n - 1)]; }

  Table& tracks_;
  std::vector<int> records_;  // empty: every track
  int next_ = 1;              // the next track to look at, counted from 1
  int total_ = 0;
  int filled_ = 0;
  std::vector<FixOutcome> outcomes_;
};

}  // namespace vemla
