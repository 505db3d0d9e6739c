// The tracks that follow the one playing without a break (gapless play). Keeps the decode thread told which
// track follows, and after which of the run's streams, writing a stored track's audio into a temporary file of
// its own; learns which tracks the run went on into; and when the next one is heard (not when it is decoded),
// has the transport make it the current track. The temporary files go once no run needs them. User-interface
// thread only.
#pragma once

#include <QObject>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "gain_stage.h"
#include "track_chain.h"

class QTimer;

namespace vemla {

class Table;
class Tdb;
class Transport;

// The ReplayGain values the library keeps for record `record` (1-based) of the track table, read without moving
// the table; none when it has none or they cannot be read (the track then plays at the fixed gain).
ReplayGain record_gain(Table& tracks, int32_t record);
// The same of the table's current row.
ReplayGain current_gain(Table& tracks);

class FollowingTracks : public QObject {
  Q_OBJECT
 public:
  // Hands the player's runs the chain. Both must outlive the object.
  FollowingTracks(Transport& transport, Tdb& db, QObject* parent = nullptr);
  ~FollowingTracks() override;

  // The transport opened a run on the current track: it has gone on into nothing yet.
  void run_opened();
  // Works out the following track again, now or soon (the cursor, the list, the filter, a track's flags or
  // the playing options changed, or a run began or ended).
  void update();
  void update_soon();

  // Whether the run has gone on into a track that is not heard yet: the decoder is ahead of what the window
  // shows.
  bool ahead() const;
  // Whether the device already plays a stream the window does not show yet (for a moment, until the next
  // look).
  bool behind() const;
  // Makes every stream heard by now current, in order; false when the transport ended or restarted the run
  // instead (the play order no longer agreed with what the decoder took).
  bool catch_up();

  const TrackChain& chain() const { return chain_; }
  // Removes the temporary files made for following tracks.
  void delete_files();

 private:
  // A stream the run went on into, not heard yet, and where the playlist's cursor goes when it is.
  struct Taken {
    uint32_t stream = 0;
    int cursor = 0;
    int32_t record = 0;
    std::string file;
  };

  // The decode thread took further streams: they are noted, and what follows the last is worked out.
  void streams_taken();
  void take_in();
  // Looks for the next stream heard while one is taken, and rests otherwise.
  void watch();
  // The file the following track plays from, or empty when it is to get a run of its own.
  std::string file_of(int32_t record, int32_t playing, const std::string& playing_file);
  // Removes the temporary files no run can open any more.
  void prune_files();

  Transport& transport_;
  Tdb& db_;
  TrackChain chain_;
  QTimer* watch_;
  std::deque<Taken> taken_;
  uint32_t shown_stream_ = 0;  // the run's stream the window shows
  bool update_pending_ = false;

  struct File {
    std::filesystem::path path;
    int32_t record = 0;
  };
  std::vector<File> files_;  // written for following stored tracks, not removed yet
  unsigned files_made_ = 0;
};

}  // namespace vemla
