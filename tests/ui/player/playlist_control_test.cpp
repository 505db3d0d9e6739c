// The playlist in the whole program: Reset through the category filter and the label, the "Found" pane, the
// category names and ticks (written at once, refused by a read-only library), Shuffle and Arrange with their
// draws, a list longer than the label and an Arrange cancelled in its progress window.
#include "playlist_control.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QProgressDialog>
#include <QTest>
#include <algorithm>
#include <numeric>
#include <random>

#include "eliding_label.h"
#include "program_library.h"
#include "qt_print.h"
#include "schema.h"

namespace vemla {
namespace {

using test::TestTrack;

Draw seeded(unsigned seed) {
  auto generator = std::make_shared<std::mt19937>(seed);
  return [generator](uint32_t count) { return std::uniform_int_distribution<uint32_t>(0, count - 1)(*generator); };
}

class PlaylistControlTest : public test::ProgramTest {
 protected:
  PlaylistControl& list() { return program->playlist; }
  std::string label() { return window().RzLabel1->text().toStdString(); }
  std::string found() { return window().RzStatusPane2->text().toStdString(); }
  QListWidgetItem* category(int k) { return window().RzCheckList1->item(k - 1); }
  bool ticked(int k) { return category(k)->checkState() == Qt::Checked; }
  // A copy of the window's list, to replay an operation on.
  std::unique_ptr<Playlist> copy_of_list() {
    auto copy = std::make_unique<Playlist>(tracks());
    const std::vector<int32_t>& entries = list().playlist().entries();
    for (size_t i = 0; i < entries.size(); ++i) copy->set_entry(i, entries[i]);
    copy->set_cursor(list().playlist().cursor());
    return copy;
  }
};

TEST_F(PlaylistControlTest, ResetFollowsTheFilterAndShowsWhatWasFound) {
  const CategoryMask third = 4;  // category 3
  open_library({{third}, {third | 1}, {0}, {third}, {2}});
  EXPECT_EQ(label(), "01 02 03 04 05 ");
  EXPECT_EQ(found(), "Found");
  EXPECT_EQ(record(), 1);
  EXPECT_TRUE(ticked(3));
  list().playlist().set_cursor(-1);  // read as the first entry
  list().refresh_playlist_label();
  EXPECT_EQ(label(), "01 02 03 04 05 ");

  window().ComboBox1->setCurrentIndex(3);
  list().ResetClick();
  EXPECT_EQ(label(), "01 02 04 ");
  EXPECT_FALSE(list().go_to_track(3));
  EXPECT_EQ(found(), "Not Found");
  EXPECT_EQ(record(), 3) << "the table moves to a track the filter leaves out";
  EXPECT_FALSE(ticked(3)) << "the ticks are those of the track shown";
  EXPECT_TRUE(list().go_to_track(4));
  EXPECT_EQ(found(), "Found");
  EXPECT_EQ(label(), "01 02 04 ") << "the label starts at the cursor, not at the track";
  EXPECT_FALSE(list().go_to_track(-1));
  EXPECT_EQ(found(), "Not Found");
  EXPECT_EQ(record(), 1);

  // No track in the category: an empty list.
  window().ComboBox1->setCurrentIndex(64);
  list().ResetClick();
  EXPECT_EQ(label(), "");
  EXPECT_EQ(found(), "Not Found");

  // Reset stops a track that plays.
  window().ComboBox1->setCurrentIndex(0);
  list().ResetClick();
  control().PlayClick();
  EXPECT_EQ(state(), Playing);
  list().ResetClick();
  EXPECT_EQ(state(), Stopped);
  EXPECT_FALSE(control().player().run_open());
  EXPECT_TRUE(errors.empty());
}

TEST_F(PlaylistControlTest, CategoryNamesAndTicksOfTheCurrentTrack) {
  open_library({{1}, {0}});
  Table& names = program->data_module.Table3;
  names.edit();
  names.field_by_name("C1").set_text("Rock");
  names.field_by_name("C64").set_text("Last of all");
  names.post();
  window().ComboBox1->setCurrentIndex(5);
  list().refresh_category_captions();
  EXPECT_EQ(category(1)->text(), "Rock");
  EXPECT_EQ(category(2)->text(), "2") << "an unnamed category goes by its number";
  EXPECT_EQ(category(64)->text(), "Last of all");
  EXPECT_EQ(window().ComboBox1->itemText(1), "Rock");
  EXPECT_EQ(window().ComboBox1->itemText(64), "Last of all");
  EXPECT_EQ(window().ComboBox1->currentIndex(), 0);
  EXPECT_TRUE(ticked(1));
  EXPECT_FALSE(ticked(64));

  // A tick is written at once: nothing waits to be posted, and the library opened again shows it.
  category(64)->setCheckState(Qt::Checked);
  category(1)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(tracks().state(), TableState::Browse);
  EXPECT_TRUE(tracks().field_by_position(63).as_boolean());
  EXPECT_FALSE(tracks().field_by_position(0).as_boolean());
  open_library_tables();
  show_library();
  EXPECT_TRUE(ticked(64));
  EXPECT_FALSE(ticked(1));

  // A read-only library puts the tick back and writes nothing.
  names.edit();
  names.field_by_name("READONLY").set_boolean(true);
  names.post();
  open_library_tables();
  show_library();
  ASSERT_TRUE(tracks().read_only());
  category(6)->setCheckState(Qt::Checked);
  EXPECT_FALSE(ticked(6));
  EXPECT_FALSE(tracks().field_by_position(5).as_boolean());
  EXPECT_TRUE(errors.empty()) << errors.front();
}

TEST_F(PlaylistControlTest, ShuffleAndArrangeFollowTheirDraws) {
  open_library({{1}, {2}, {1}, {4}, {2 | 4}, {8}});
  list().playlist().set_cursor(2);
  auto model = copy_of_list();
  model->shuffle(seeded(7));
  list().set_draw(seeded(7));
  list().ShuffleClick();
  EXPECT_EQ(list().playlist().entries(), model->entries());
  EXPECT_EQ(list().playlist().cursor(), 2);
  EXPECT_EQ(label(), model->label_text());
  std::vector<int32_t> sorted = list().playlist().entries();
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));

  // With Auto Play, Shuffle plays the entry at the cursor.
  tick(window().DBCheckBox2, true);
  list().set_draw(seeded(8));
  list().ShuffleClick();
  EXPECT_EQ(state(), Playing);
  EXPECT_EQ(record(), list().playlist().entry(2));

  // Arrange stops the track, clears the filter and starts from the first entry, which Auto Play plays.
  window().ComboBox1->setCurrentIndex(2);
  tick(window().DBCheckBox2, false);
  model = copy_of_list();
  model->arrange(seeded(9));
  list().set_draw(seeded(9));
  list().ArrangeClick();
  EXPECT_EQ(state(), Stopped);
  EXPECT_EQ(window().ComboBox1->currentIndex(), 0);
  EXPECT_EQ(list().playlist().entries(), model->entries());
  EXPECT_EQ(list().playlist().cursor(), 0);
  EXPECT_EQ(record(), list().playlist().entry(0));
  EXPECT_EQ(found(), "Found");
  EXPECT_EQ(label(), model->label_text());
  tick(window().DBCheckBox2, true);
  list().ArrangeClick();
  EXPECT_EQ(state(), Playing);
  EXPECT_EQ(record(), list().playlist().entry(0));
  control().StopClick();
}

TEST_F(PlaylistControlTest, ALongListAndACancelledArrange) {
  open_library({});
  const int count = 1500;  // more than the 1024 entries a list once had
  {
    TableBatch batch(tracks());
    for (int r = 1; r <= count; ++r) {
      tracks().append();
      tracks().field_by_position(r % 7).set_boolean(true);
      tracks().post();
    }
    batch.commit();
  }
  window().show();
  show_library();
  EXPECT_EQ(list().playlist().entries().size(), static_cast<size_t>(count));
  EXPECT_EQ(label().rfind("01 02 03 04 05 06 07 08 09 10 ", 0), 0u);
  EXPECT_LT(label().size(), 2000u) << "only what can be seen is written";
  EXPECT_TRUE(window().RzLabel1->shownText().endsWith(QChar(0x2026)));

  // The progress window shows at once here; its Cancel keeps every entry.
  bool cancelled = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget())) {
      progress->cancel();
      cancelled = true;
    }
  });
  watch.start(0);
  list().set_arrange_progress_delays(0, 0, 0);
  list().set_draw(seeded(3));
  list().ArrangeClick();
  EXPECT_TRUE(cancelled);
  std::vector<int32_t> sorted = list().playlist().entries();
  std::sort(sorted.begin(), sorted.end());
  std::vector<int32_t> all(count);
  std::iota(all.begin(), all.end(), 1);
  EXPECT_EQ(sorted, all);
  EXPECT_EQ(list().playlist().cursor(), 0);
  EXPECT_EQ(record(), list().playlist().entry(0));
}


// Arrange once left categorised tracks out: of 32 tracks, four categorised, the list of one category
// arranged read "02 01 04" under the filter "all", and track 3 (of another category) never appeared. Arrange
// is over every track, as the filter it shows says.
TEST_F(PlaylistControlTest, ArrangeKeepsEveryTrackInTheList) {
  std::vector<TestTrack> all(32);
  for (int k : {0, 1, 3}) all[static_cast<size_t>(k)].categories = 1;
  all[2].categories = 2;
  open_library(all, short_track(1));
  window().ComboBox1->setCurrentIndex(1);
  list().ResetClick();
  EXPECT_EQ(label(), "01 02 04 ");
  for (unsigned attempt = 0; attempt < 4; ++attempt) {
    list().set_draw(seeded(attempt));
    list().ArrangeClick();
    EXPECT_EQ(window().ComboBox1->currentIndex(), 0);
    std::vector<int32_t> sorted;
    for (long i = 0; list().playlist().entry(i) != Playlist::kEmpty; ++i) sorted.push_back(list().playlist().entry(i));
    std::sort(sorted.begin(), sorted.end());
    std::vector<int32_t> every(32);
    std::iota(every.begin(), every.end(), 1);
    EXPECT_EQ(sorted, every) << "label " << label();
    EXPECT_EQ(label().size(), 32u * 3) << label();
  }
}

}  // namespace
}  // namespace vemla
