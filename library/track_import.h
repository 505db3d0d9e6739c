// Adding MPEG audio files to a library's track table: one file as one track record, and many files (folders
// searched through) as a job of bounded steps.
#pragma once

#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

#include "library_job.h"

namespace vemla {

class Table;

struct ImportOutcome {
  std::filesystem::path file;
  int record = 0;       // the new track's record number, when added
  std::string skipped;  // why the file was not added; empty when it was
  int texts_cut = 0;    // of the title, artist and album, how many were longer than their column
  bool known = false;   // passed over: the library holds the file already
  std::vector<std::string> passed_over = {};  // parts of its tags left out for their size, and why
  bool added() const { return skipped.empty(); }
};

// Appends one track record for the file: the facts of its first frame header, the texts of its tags (tag
// texts of a file that cannot be read for them stay empty), SKIP false, and in PAD the file's absolute path;
// the audio goes into DATA when store is true. The ReplayGain values of its tags are kept as its gains. A file that cannot be opened, has no first frame header, or
// whose path PAD cannot hold while the audio stays on disk is not added and the outcome says why. Errors of
// the table engine are thrown, and leave no new row behind.
ImportOutcome import_track(Table& tracks, const std::filesystem::path& file, bool store);

// Why the file cannot be played or added (unreadable, no frame header, audio the decoder leaves out); empty
// when its first frame header is found.
std::string why_not_playable(const std::filesystem::path& file);

// The files an import of these inputs takes, in this order: a file as it is named; a folder's "*.mp3" and
// "*.mp2" files in any letter case, its subfolders searched too, sorted by path. Inputs that are neither
// (or cannot be listed) go to `unusable` with the reason.
std::vector<std::filesystem::path> import_files(const std::vector<std::filesystem::path>& inputs,
                                                std::vector<ImportOutcome>& unusable);

// The files the track table holds already: the PAD of every row (as written, an absolute path since imports
// store one).
std::vector<std::string> known_files(Table& tracks);

// Imports the files of the inputs (import_files) one after another, the rows of each step committed together
// (a file whose audio is stored, in a step of its own). Progress in files. Cancel keeps the files added so far;
// an error of the table engine ends the job there, keeping the files added before it (on a full disk, every
// whole track that fits). With `pass_known`, a file whose absolute path a track of the table holds already is
// passed over (an outcome marked known). The table must stay open while the job runs.
class ImportJob : public LibraryJob {
 public:
  ImportJob(Table& tracks, const std::vector<std::filesystem::path>& inputs, bool store, bool pass_known = false);

  Progress progress() const override;
  // What became of each file so far, in import order; inputs that were no files or folders come first.
  const std::vector<ImportOutcome>& outcomes() const { return outcomes_; }
  int added() const { return added_; }
  // Files passed over as known, and texts cut to their column, so far.
  int known() const { return known_; }
  int texts_cut() const { return texts_cut_; }
  // The files not added, known ones apart.
  std::vector<ImportOutcome> skipped() const;

 private:
  bool work(Deadline deadline) override;

  Table& tracks_;
  bool store_;
  std::vector<std::filesystem::path> files_;
  size_t next_ = 0;
  int added_ = 0;
  int known_ = 0;
  int texts_cut_ = 0;
  bool pass_known_ = false;
  std::unordered_set<std::string> known_files_;
  std::vector<ImportOutcome> outcomes_;
};

}  // namespace vemla
