// Files that appear in a folder, or leave it, together as far as a kill of the program lets them, and the
// settling of what killed programs left behind. A library is three files (N.db, N.mb, N1.db) that no rename
// can move at once; this is how copy, move, create and delete keep it whole.
//
// How. The work has a stage: a folder ".vemla-stage-PID-XXXXXX" beside the files, which its program holds
// locked (flock) for as long as it lives. Files to appear are built in the stage. The work is decided by a
// marker written into the stage (written whole under another name, then renamed): to put files in place it
// names them, and only after it do they move into the folder one by one; to remove files it names them with
// their inode numbers, and only after it are they unlinked one by one. Then the stage goes.
//
// A program that settles the folder (before it opens, creates, copies into or deletes a library there) looks
// at the stages no live program holds: one without its marker is undecided work and is removed, leaving the
// folder as it was; one with its marker is decided work, whose renames or unlinks it completes before
// removing it. So a kill at any moment leaves, once the folder is settled, either the files as they were or
// the files as the work would have left them; never a part of them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vemla {

// Files built in a stage and then put in place together.
class StagedFiles {
 public:
  // Makes the stage in the folder; a TableError when the folder takes no new file.
  explicit StagedFiles(const std::filesystem::path& folder);
  // A stage not committed goes with what was built in it.
  ~StagedFiles();
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;

  const std::filesystem::path& folder() const { return folder_; }
  // The stage itself, and where to build the file that is to appear as folder/name.
  const std::filesystem::path& stage() const { return stage_; }
  std::filesystem::path path(const std::string& name) const { return stage_ / name; }

  // Puts the named files of the stage into the folder in this order, each in place of a file of its name
  // (whose journals go with it). Files the stage lacks are passed over. A TableError when the work cannot be
  // decided (nothing changed then); once decided it is completed here or by the next settle.
  void commit(const std::vector<std::string>& names);

 private:
  friend void remove_together(const std::filesystem::path&, const std::vector<std::string>&);
  void remove_files(const std::vector<std::string>& names);

  std::filesystem::path folder_;
  std::filesystem::path stage_;
  int lock_ = -1;
  bool decided_ = false;
  bool done_ = false;
};

// Removes a file's rollback journal and the super-journals of commits over two files named after it.
void remove_journals(const std::filesystem::path& file);

// Removes the named files of the folder (those that exist), with their journals, together. The caller
// makes sure that no other program has them open. A TableError when they cannot be removed.
void remove_together(const std::filesystem::path& folder, const std::vector<std::string>& names);

// Settles the folder: completes the decided work of stages whose program is gone, removes their undecided
// stages, and removes the scratch files of tables whose program is gone (scratch_name in store_files.h).
// What cannot be settled (a folder that cannot be written) is left for the next time, without an error.
void settle_folder(const std::filesystem::path& folder);

// For tests: called with the name of each step of a commit or removal ("decided", "put", "remove", "done")
// just before it is taken, so that a test can stop the program there; null for none.
using StageFaultPoint = void (*)(const char* step);
void set_stage_fault_point(StageFaultPoint point);

}  // namespace vemla
