#include "gain_job.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <map>

#include "file_check.h"
#include "rows.h"
#include "schema.h"
#include "table.h"
#include "track_ops.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

std::string trimmed_lower(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  std::string out = text.substr(first, last - first + 1);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// A name for the scratch copy of a stored track's audio, in the system's temporary folder.
fs::path scratch_name() {
  static std::atomic<unsigned> counter{0};
  std::error_code error;
  fs::path folder = fs::temp_directory_path(error);
  if (error) folder = "/tmp";
  return folder / ("vemla-scan-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".mp3");
}

}  // namespace

std::string album_key(const std::string& album, const fs::path& pad) {
  const std::string name = trimmed_lower(album);
  if (name.empty()) return {};
  return name + '\n' + pad.parent_path().string();
}

GainJob::GainJob(Table& tracks, GainScope scope, int record, LoudnessMeter::Peak peak)
    : tracks_(tracks), peak_(peak) {
  if (tracks.read_only())
    throw TableError("The database is read-only: the loudness of its tracks cannot be kept in it");
  const std::unordered_map<int64_t, TrackGains> gains = read_all_gains(tracks);
  // Albums in the order of their first track; lone tracks each on their own.
  std::map<std::string, size_t> album_at;
  std::vector<Album> all;
  std::vector<bool> measured;
  size_t wanted_album = SIZE_MAX;
  const int count = tracks.record_count();
  const int home = tracks.record_number();
  // Only what the grouping needs is read: a library of many thousand tracks is planned in a moment.
  const Field album = field(tracks, TrackTable::album);
  const Field pad = field(tracks, TrackTable::pad);
  tracks.first();
  for (int r = 1; r <= count; ++r, tracks.next()) {
    const Member member{r, tracks.row_id()};
    const std::string key = album_key(album.as_text(), pad.as_text());
    size_t at;
    const auto found = key.empty() ? album_at.end() : album_at.find(key);
    if (found != album_at.end()) {
      at = found->second;
    } else {
      at = all.size();
      all.push_back({!key.empty(), {}});
      measured.push_back(true);
      if (!key.empty()) album_at.emplace(key, at);
    }
    all[at].members.push_back(member);
    const auto kept = gains.find(member.row_id);
    if (kept == gains.end() || kept->second.source != GainSource::Scan) measured[at] = false;
    if (r == record) wanted_album = at;
  }
  go_to_record(tracks, home);
  for (size_t a = 0; a < all.size(); ++a) {
    const bool take = scope == GainScope::All || (scope == GainScope::Unmeasured && !measured[a]) ||
                      (scope == GainScope::AlbumOf && a == wanted_album);
    if (!take) continue;
    total_ += static_cast<int64_t>(all[a].members.size());
    albums_.push_back(std::move(all[a]));
  }
}

GainJob::~GainJob() {
  drop_scratch();
}

LibraryJob::Progress GainJob::progress() const {
  return {done_, total_};
}

void GainJob::drop_scratch() noexcept {
  if (scratch_.empty()) return;
  std::error_code ignored;
  fs::remove(scratch_, ignored);
  scratch_.clear();
}

void GainJob::end() noexcept {
  meter_.reset();
  pending_.clear();
  drop_scratch();
}

bool GainJob::open_meter() {
  const Member& member = albums_[album_].members[member_];
  GainOutcome outcome;
  outcome.record = member.record;
  if (!go_to_record(tracks_, member.record) || tracks_.row_id() != member.row_id)
    throw TableError("The tracks changed while their loudness was measured; measure them again");
  const TrackInfo info = track_info(tracks_);
  outcome.file = info.pad;
  fs::path source = info.pad;
  if (!info.stored && !(outcome.failed = why_unreadable(source)).empty()) {
    pending_.emplace_back(std::move(outcome), nullptr);
    return false;
  }
  if (info.stored) {
    scratch_ = scratch_name();
    export_track(tracks_, scratch_);
    source = scratch_;
  }
  meter_ = std::make_unique<LoudnessMeter>(source, peak_);
  // The meter holds the file open: the scratch copy needs no name any more.
  drop_scratch();
  if (meter_->failed().empty()) {
    pending_.emplace_back(std::move(outcome), nullptr);
    return true;
  }
  outcome.failed = meter_->failed();
  meter_.reset();
  pending_.emplace_back(std::move(outcome), nullptr);
  return false;
}

bool GainJob::work(Deadline deadline) {
  if (album_ >= albums_.size()) return false;
  // The user's track is current again after every step: a long scan runs while the window is used.
  struct BackHome {
    Table& tracks;
    int record;
    ~BackHome() {
      try {
        go_to_record(tracks, record);
      } catch (...) {
        // The step's own error, if any, is the one to report.
      }
    }
  } home{tracks_, tracks_.record_number()};
  do {
    const Album& album = albums_[album_];
    if (member_ < album.members.size()) {
      if (!meter_ && !open_meter()) {
        ++member_;
        ++done_;
        continue;
      }
      if (!meter_->measure(deadline)) return true;
      if (!meter_->failed().empty()) pending_.back().first.failed = meter_->failed();
      seconds_ += meter_->seconds();
      pending_.back().second = std::move(meter_);
      ++member_;
      ++done_;
      continue;
    }
    finish_album();
    ++album_;
    member_ = 0;
  } while (album_ < albums_.size() && std::chrono::steady_clock::now() < deadline);
  return album_ < albums_.size();
}

void GainJob::finish_album() {
  const bool is_album = albums_[album_].is_album;
  std::vector<const LoudnessMeter*> meters;
  double album_peak = 0;
  for (const auto& [outcome, meter] : pending_) {
    if (!meter || !outcome.failed.empty()) continue;
    meters.push_back(meter.get());
    album_peak = std::max(album_peak, meter->peak());
  }
  const std::optional<double> album_gain =
      is_album && !meters.empty() ? gain_for_loudness(LoudnessMeter::loudness_of(meters)) : std::nullopt;
  const std::vector<Member>& members = albums_[album_].members;
  {
    TableBatch batch(tracks_);
    for (size_t i = 0; i < pending_.size(); ++i) {
      auto& [outcome, meter] = pending_[i];
      if (!meter || !outcome.failed.empty()) continue;
      TrackGains& gains = outcome.gains;
      gains.source = GainSource::Scan;
      const double loudness = meter->loudness();
      if (std::isfinite(loudness)) gains.loudness = loudness;
      gains.gain.track_gain = gain_for_loudness(loudness);
      gains.gain.track_peak = sane_peak(meter->peak());
      if (album_gain) {
        gains.gain.album_gain = album_gain;
        gains.gain.album_peak = sane_peak(album_peak);
      }
      write_gains(tracks_, members[i].row_id, gains);
    }
    batch.commit();
  }
  for (auto& [outcome, meter] : pending_) {
    measured_ += outcome.failed.empty();
    outcomes_.push_back(std::move(outcome));
  }
  pending_.clear();
}

}  // namespace vemla
