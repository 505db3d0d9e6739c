// The loudness scan of a library: measures tracks (loudness_meter.h) and keeps their ReplayGain values as
// their gains (track_gains.h), album by album, as long work of bounded steps.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "library_job.h"
#include "loudness_meter.h"
#include "track_gains.h"

namespace vemla {

class Table;

// Which tracks a scan measures. An album is measured whole, since its gain comes from all its tracks.
enum class GainScope {
  Unmeasured,  // the albums (and lone tracks) with a track the scan has not measured yet
  All,         // every track
  AlbumOf,     // the album of one track; the track alone when it belongs to none
};

// What makes tracks one album: the same ALBUM text (blanks around it and ASCII letter case aside) and files
// in the same folder, so that two "Greatest Hits" of different artists stay apart while a compilation's
// artists do not split it. Empty for a track without an album text: it stands alone, without album gain.
std::string album_key(const std::string& album, const std::filesystem::path& pad);

struct GainOutcome {
  int record = 0;
  std::filesystem::path file;  // PAD
  std::string failed;          // why it was not measured; empty when it was
  TrackGains gains;            // what was kept, when measured
};

// Measures the tracks of the scope and keeps, for each, its loudness, its track gain toward -18 LUFS and its
// peak, and for the tracks of an album the album's gain and peak; a silent track gets no gain. A track kept on
// disk is read from its file, a stored one from a scratch copy of its audio. Each album's gains are written
// together once all its tracks are measured (an album with a track that cannot be read is measured from the
// others); cancel keeps the albums done. Progress in tracks. Each step leaves the table's current row where it
// found it; the table must stay open, and its rows unchanged, while the job runs.
class GainJob : public LibraryJob {
 public:
  GainJob(Table& tracks, GainScope scope, int record = 0, LoudnessMeter::Peak peak = LoudnessMeter::Peak::Sample);
  ~GainJob() override;

  Progress progress() const override;
  // The tracks of the albums finished so far, in order.
  const std::vector<GainOutcome>& outcomes() const { return outcomes_; }
  int measured() const { return measured_; }
  // Seconds of audio measured so far.
  double seconds() const { return seconds_; }

 private:
  struct Member {
    int record;
    int64_t row_id;
  };
  struct Album {
    bool is_album;
    std::vector<Member> members;
  };

  bool work(Deadline deadline) override;
  void end() noexcept override;
  // Opens the meter of the current album's next track; false, with its outcome noted, when it cannot be.
  bool open_meter();
  void finish_album();
  void drop_scratch() noexcept;

  Table& tracks_;
  LoudnessMeter::Peak peak_;
  std::vector<Album> albums_;
  int64_t total_ = 0;
  int64_t done_ = 0;
  size_t album_ = 0;
  size_t member_ = 0;
  std::unique_ptr<LoudnessMeter> meter_;
  // The current album's tracks measured or failed so far, with their meters (null when failed).
  std::vector<std::pair<GainOutcome, std::unique_ptr<LoudnessMeter>>> pending_;
  std::filesystem::path scratch_;
  std::vector<GainOutcome> outcomes_;
  int measured_ = 0;
  double seconds_ = 0;
};

}  // namespace vemla
