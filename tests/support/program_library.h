// The window suites' whole program: a Program on a silent device that plays 500 times faster than real time
// (or one the test gives), the settings table open, and a library made at test time from short tracks encoded
// with lame and opened as the window opens one (the library, then Reset and the category captions). Track k
// of a library is encoded at its own sampling rate, so that the device's log tells which tracks played.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "data_controls.h"
#include "error_box.h"
#include "library_files.h"
#include "null_device.h"
#include "playlist.h"
#include "program.h"
#include "rows.h"
#include "support.h"
#include "test_streams.h"
#include "track_import.h"

namespace vemla::test {

// The silent device, with a log of the sampling rate of every run it was opened for.
class LoggingDevice final : public SoundDevice {
 public:
  explicit LoggingDevice(double speed) : device_(speed) {}
  bool open(const PcmFormat& format, std::string& reason) override {
    {
      std::lock_guard lock(mutex_);
      rates_.push_back(format.frequency);
    }
    return device_.open(format, reason);
  }
  bool is_open() const override { return device_.is_open(); }
  void write(const WaveBlock& block) override { device_.write(block); }
  bool still_playing(const WaveBlock& block) override { return device_.still_playing(block); }
  bool wait(const WaveBlock* block, std::chrono::milliseconds timeout) override {
    return device_.wait(block, timeout);
  }
  void pause() override { device_.pause(); }
  void restart() override { device_.restart(); }
  void reset() override { device_.reset(); }
  bool close() override { return device_.close(); }
  std::string last_error() const override { return device_.last_error(); }
  uint64_t played_frames() override { return device_.played_frames(); }

  NullDevice& null() { return device_; }
  std::vector<unsigned> rates() const {
    std::lock_guard lock(mutex_);
    return rates_;
  }

 private:
  NullDevice device_;
  mutable std::mutex mutex_;
  std::vector<unsigned> rates_;
};

// The sampling rate of the short track k (1 ... 6).
inline unsigned rate_of_track(int k) {
  static const unsigned rates[] = {44100, 48000, 32000, 22050, 24000, 16000};
  return rates[(k - 1) % 6];
}

// Processes events until the condition holds; false when it still does not after a generous deadline (for a
// machine busy with other work). GoogleTest's assertions then report it, which QTRY_* would not.
template <typename F>
bool settles(F condition) {
  return QTest::qWaitFor(condition, 20000);
}

struct TestTrack {
  CategoryMask categories = 0;
  bool skip = false;
  bool store = false;  // the audio goes into the library
};

class ProgramTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sources_ = new TempDir;
    made_ = make_long_layer3(long_track(), 1);
    for (int k = 1; k <= 6 && made_; ++k) made_ = make_layer3(short_track(k), 2, rate_of_track(k), 1.0);
  }
  static void TearDownTestSuite() {
    delete sources_;
    sources_ = nullptr;
  }
  // One second of a test signal (at the rate of track k), and twenty.
  static std::filesystem::path short_track(int k) { return *sources_ / ("short" + std::to_string(k) + ".mp3"); }
  static std::filesystem::path long_track() { return *sources_ / "long.mp3"; }

  void SetUp() override {
    if (!made_) GTEST_SKIP() << "lame is needed to make the tracks";
    set_error_handler([this](const QString& text) { errors.push_back(text.toStdString()); });
    auto device = std::make_unique<LoggingDevice>(500);
    log = device.get();
    null = &device->null();
    make_program(std::move(device));
  }
  void TearDown() override {
    box_watch.reset();
    program.reset();
    set_error_handler({});
  }

  // A new program on `device`, with the settings table open and the playing options off.
  void make_program(std::unique_ptr<SoundDevice> device) {
    if (log != device.get()) {
      log = nullptr;
      null = nullptr;
    }
    program.reset();
    program = std::make_unique<Program>(std::move(device));
    Table& settings = program->data_module.Table2;
    settings.open();
    for (FlagColumn option : {SettingsTable::autoplay, SettingsTable::nonstop, SettingsTable::storage})
      write_setting(settings, option, false);
  }

  // Library "Lib" in the test's folder with one track per entry (a copy of short track k for track k, or of
  // `source`), opened as the window opens one.
  void open_library(const std::vector<TestTrack>& tracks, const std::filesystem::path& source = {}) {
    Tdb& db = program->data_module;
    const LibraryPath library{dir.path(), "Lib"};
    if (!library_exists(library)) create_library(db, library);
    open_library_tables();
    for (const TestTrack& track : tracks) {
      const int k = db.Table1.record_count() + 1;
      const std::filesystem::path file = dir / ("t" + std::to_string(k) + ".mp3");
      std::filesystem::copy_file(source.empty() ? short_track(k) : source, file,
                                 std::filesystem::copy_options::overwrite_existing);
      const ImportOutcome outcome = import_track(db.Table1, file, track.store);
      ASSERT_TRUE(outcome.added()) << outcome.skipped;
      db.Table1.edit();
      for (int k = 0; k < 64; ++k) {
        if (track.categories >> k & 1) db.Table1.field_by_position(k).set_boolean(true);
      }
      db.Table1.field_by_name("SKIP").set_boolean(track.skip);
      db.Table1.post();
    }
    show_library();
  }
  void open_library_tables() { vemla::open_library(program->data_module, {dir.path(), "Lib"}); }
  // What opening a library does in the window after the tables are open.
  void show_library() {
    program->playlist.refresh_category_captions();
    program->playlist.ResetClick();
  }

  Table& tracks() { return program->data_module.Table1; }
  TForm1& window() { return program->form1; }
  PlayerControl& control() { return program->player_control; }
  PlayerState state() { return program->player_control.player_state(); }
  int record() { return tracks().record_number(); }
  std::string pane() { return window().RzStatusPane1->text().toStdString(); }
  // Ticks a playing option as the user does: through its check box, which writes the settings record.
  void tick(DBCheckBox* box, bool on) {
    if (box->isChecked() != on) box->click();
  }

  // The tracks the device played, in order, told by their rates.
  std::vector<int> played() {
    std::vector<int> tracks;
    for (unsigned rate : log->rates()) {
      int k = 1;
      while (k <= 6 && rate_of_track(k) != rate) ++k;
      tracks.push_back(k);
    }
    return tracks;
  }

  // Closes each message box that comes up and keeps its text.
  void answer_message_boxes() {
    box_watch = std::make_unique<QTimer>();
    QObject::connect(box_watch.get(), &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxes.push_back(box->text().toStdString());
        box->accept();
      }
    });
    box_watch->start(10);
  }

  static inline TempDir* sources_ = nullptr;
  static inline bool made_ = false;
  TempDir dir;
  LoggingDevice* log = nullptr;  // null when the test made a program on another device
  NullDevice* null = nullptr;
  std::vector<std::string> errors;  // texts of the standard error box
  std::vector<std::string> boxes;   // texts of message boxes answered
  std::unique_ptr<QTimer> box_watch;
  std::unique_ptr<Program> program;
};

}  // namespace vemla::test
