// The track list in the whole program: the room of a larger window, the rows over a real library (sorting,
// searching with accents, the current track followed, the playlist's rows), playing from the list, the
// window's title, and the commands on selected rows.
#include "track_list.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFont>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableView>
#include <QTest>

#include "cover_view.h"
#include "program_library.h"
#include "qt_print.h"
#include "track_list_model.h"
#include "track_ops.h"

namespace vemla {
namespace {

using test::settles;
using test::TestTrack;

class TrackListTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    QSettings().clear();  // no list settings kept by a test before
    ProgramTest::SetUp();
  }
  TrackList& list() { return *window().TrackList1; }
  TrackListModel& model() { return list().model(); }
  // The records of the rows, in the list's order, once the list's index is whole.
  std::vector<int> rows() {
    program->track_list.sync();
    model().finish_building();
    std::vector<int> records;
    for (int row = 0; row < model().rowCount(); ++row) records.push_back(model().record_at(row));
    return records;
  }
  // Titles and artists as a user would have typed them in.
  void name_tracks(const std::vector<std::pair<std::string, std::string>>& names) {
    for (size_t i = 0; i < names.size(); ++i) {
      ASSERT_TRUE(go_to_record(tracks(), static_cast<int>(i) + 1));
      tracks().edit();
      tracks().field_by_name("TITLE").set_text(names[i].first);
      tracks().field_by_name("ARTIST").set_text(names[i].second);
      tracks().post();
    }
    tracks().first();
  }
  void show_large() {
    window().show();
    window().resize(window().minimumSize() + QSize(500, 200));
    QCoreApplication::processEvents();
  }
  // A double click as the desktop delivers one: press, release, double click, release.
  void double_click(const QPoint& at) {
    QWidget* viewport = list().View->viewport();
    const QPointF local(at), global(viewport->mapToGlobal(at));
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                              QEvent::MouseButtonRelease}) {
      const bool down = type != QEvent::MouseButtonRelease;
      QMouseEvent event(type, local, global, Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
      QApplication::sendEvent(viewport, &event);
    }
  }
  QPoint row_point(int record) {
    const QModelIndex index = model().index(model().row_of(record), 1);
    return list().View->visualRect(index).center();
  }
};

TEST_F(TrackListTest, TheRoomOfALargerWindowGoesToTheList) {
  window().show();
  ASSERT_TRUE(settles([&] { return window().isVisible(); }));
  EXPECT_EQ(window().size(), window().minimumSize());
  EXPECT_FALSE(list().isVisible()) << "at its default size the window is the panels alone";
  EXPECT_FALSE(window().View1->menuAction()->isVisible());
  EXPECT_FALSE(window().ViewTrackList->isChecked());

  window().resize(window().minimumSize() + QSize(400, 0));
  ASSERT_TRUE(settles([&] { return list().isVisible(); }));
  EXPECT_EQ(window().TrackSplitter->orientation(), Qt::Horizontal);
  EXPECT_TRUE(window().View1->menuAction()->isVisible());
  EXPECT_TRUE(window().ViewTrackList->isChecked());
  // The panels keep their width; the list takes the rest.
  EXPECT_NEAR(window().TrackSplitter->sizes().front(), window().minimumSize().width(), 2);

  window().resize(window().minimumSize() + QSize(100, 300));
  ASSERT_TRUE(settles([&] { return window().TrackSplitter->orientation() == Qt::Vertical; }));
  EXPECT_TRUE(list().isVisible()) << "below the panels on a tall window";

  // "View > Track List" off gives the room back; on again, the window grows for it.
  window().ViewTrackList->trigger();
  EXPECT_FALSE(list().isVisible());
  EXPECT_EQ(window().size(), window().minimumSize());
  window().ViewTrackList->trigger();
  EXPECT_TRUE(list().isVisible());
  EXPECT_GT(window().width() + window().height(), window().minimumSize().width() + window().minimumSize().height() + 150);
  // Ctrl+F ("Find Track") goes to the search field.
  window().ViewTrackList->trigger();
  EXPECT_FALSE(list().isVisible());
  window().findChild<QAction*>(QStringLiteral("FindTrack"))->trigger();
  EXPECT_TRUE(list().isVisible()) << "shown for the search";
  EXPECT_EQ(window().focusWidget(), list().Search);

  // Kept for the next start.
  window().close();
  QSettings settings;
  EXPECT_TRUE(settings.value(QStringLiteral("TrackList")).toBool());
  EXPECT_FALSE(settings.value(QStringLiteral("TrackSplitSide")).toByteArray().isEmpty());
}

TEST_F(TrackListTest, TextColumnsShareTheWidthUntilTheUserSizesOne) {
  open_library({{}, {}});
  show_large();
  QHeaderView* header = list().View->horizontalHeader();
  QWidget* viewport = list().View->viewport();
  const auto fits = [&] { return list().isVisible() && header->length() == viewport->width(); };
  ASSERT_TRUE(settles(fits)) << header->length() << " beside " << viewport->width();
  const int title = static_cast<int>(TrackColumn::Title);
  const int time = static_cast<int>(TrackColumn::Time);
  const int narrow = header->sectionSize(title);
  const int time_width = header->sectionSize(time);

  window().resize(window().size() + QSize(300, 0));
  ASSERT_TRUE(settles([&] { return fits() && header->sectionSize(title) > narrow; }));
  EXPECT_EQ(header->sectionSize(time), time_width) << "the figures' columns keep their width";
  header->setSectionHidden(static_cast<int>(TrackColumn::Categories), true);
  EXPECT_TRUE(fits()) << "a column hidden leaves its room to the others";
  EXPECT_FALSE(list().columns_sized());

  // A width the user gives stays, whatever the window does.
  header->resizeSection(title, 333);
  EXPECT_TRUE(list().columns_sized());
  window().resize(window().size() + QSize(200, 0));
  ASSERT_TRUE(settles([&] { return viewport->width() > header->length(); }));
  EXPECT_EQ(header->sectionSize(title), 333);
  window().close();
  EXPECT_TRUE(QSettings().value(QStringLiteral("TrackColumnsSized")).toBool());
}

TEST_F(TrackListTest, RowsSortAndSearchCaseAndAccentsAside) {
  open_library({{}, {}, {}, {}});
  name_tracks({{"Jóga", "Björk"}, {"army of me", "Bjork"}, {"Hoppípolla", "Sigur Rós"}, {"", "Ólafur Arnalds"}});
  show_large();
  EXPECT_EQ(rows(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(model().data(model().index(0, 1), Qt::DisplayRole).toString(), QStringLiteral("Jóga"));
  EXPECT_EQ(model().data(model().index(0, 4), Qt::DisplayRole).toString(), QStringLiteral("0:01"));

  // A click on a header sorts by its column; a second click turns the order round.
  QHeaderView* header = list().View->horizontalHeader();
  const QPoint title(header->sectionViewportPosition(1) + 5, header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, title);
  EXPECT_EQ(rows(), (std::vector<int>{2, 3, 1, 4})) << "a track without a title last";
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, title);
  EXPECT_EQ(rows(), (std::vector<int>{4, 1, 3, 2}));

  QTest::keyClicks(list().Search, QStringLiteral("BJORK"));
  EXPECT_EQ(rows(), (std::vector<int>{1, 2}));
  list().Search->clear();
  QTest::keyClicks(list().Search, QStringLiteral("ros hoppi"));
  EXPECT_EQ(rows(), (std::vector<int>{3}));
  QTest::keyClicks(list().Search, QStringLiteral("zz"));
  EXPECT_TRUE(rows().empty());
  EXPECT_TRUE(list().Message->isVisible());
  EXPECT_TRUE(list().Message->text().contains(QStringLiteral("No track matches")));
  // Escape clears the search.
  QTest::keyClick(list().Search, Qt::Key_Escape);
  EXPECT_EQ(list().Search->text(), QString());
  EXPECT_EQ(rows().size(), 4u);
  EXPECT_FALSE(list().Message->isVisible());
}

TEST_F(TrackListTest, TheCurrentTrackIsFollowedPlayedAndNamed) {
  open_library({{}, {}, {}});
  name_tracks({{"First", "Ada"}, {"Second", ""}, {"", "Nobody"}});
  show_large();
  rows();
  EXPECT_EQ(model().current(), 1);
  EXPECT_EQ(window().windowTitle(), QStringLiteral("First \u2013 Ada \u2014 Lib \u2014 Vemla"));

  control().NextClick();
  rows();
  EXPECT_EQ(model().current(), 2);
  EXPECT_EQ(model().record_at(list().View->currentIndex().row()), 2) << "the list follows Next";
  EXPECT_EQ(window().windowTitle(), QStringLiteral("Second \u2014 Lib \u2014 Vemla"));

  // A click makes a track current; a double click plays it.
  QTest::mouseClick(list().View->viewport(), Qt::LeftButton, {}, row_point(3));
  EXPECT_EQ(record(), 3);
  EXPECT_EQ(program->playlist.playlist().cursor(), 2) << "Next goes on from the chosen track";
  EXPECT_EQ(window().windowTitle(), QStringLiteral("t3 \u2013 Nobody \u2014 Lib \u2014 Vemla"))
      << "a track without a title goes by its file's name";
  double_click(row_point(1));
  ASSERT_TRUE(settles([&] { return played().size() == 1; }));
  EXPECT_EQ(record(), 1);
  // Enter in the search field plays the first match, whatever played.
  QTest::keyClicks(list().Search, QStringLiteral("second"));
  QTest::keyClick(list().Search, Qt::Key_Return);
  ASSERT_TRUE(settles([&] { return played().size() >= 2; }));
  EXPECT_EQ(played(), (std::vector<int>{1, 2}));
  EXPECT_EQ(record(), 2);

  control().StopClick();
  tracks().close();
  rows();
  EXPECT_EQ(window().windowTitle(), QStringLiteral("Vemla"));
}

TEST_F(TrackListTest, RowsThePlaylistWillNotPlayAreShownSo) {
  open_library({{0b01}, {0b10}, {0b11}});
  show_large();
  rows();
  for (int record : {1, 2, 3}) EXPECT_TRUE(model().played(record)) << record;
  window().ComboBox1->setCurrentIndex(2);  // category 2: tracks 2 and 3
  rows();
  EXPECT_FALSE(model().played(1));
  EXPECT_TRUE(model().played(2));
  EXPECT_TRUE(model().data(model().index(0, 1), Qt::ForegroundRole).isValid()) << "greyed";
  EXPECT_FALSE(model().data(model().index(1, 1), Qt::ForegroundRole).isValid());
  window().ComboBox1->setCurrentIndex(0);
  program->playlist.ResetClick();
  rows();
  EXPECT_TRUE(model().played(1));
}

TEST_F(TrackListTest, CommandsWorkOnEverySelectedRow) {
  open_library({{}, {}, {}, {0b1}});
  show_large();
  rows();
  QTest::mouseClick(list().View->viewport(), Qt::LeftButton, {}, row_point(1));
  QTest::mouseClick(list().View->viewport(), Qt::LeftButton, Qt::ControlModifier, row_point(3));
  ASSERT_EQ(list().selected_records(), (QList<int>{1, 3}));
  EXPECT_EQ(record(), 3);

  SelectionCommands& commands = program->selection;
  std::unique_ptr<QMenu> menu(commands.make_menu(list().selected_records(), &window()));
  ASSERT_TRUE(menu);
  EXPECT_TRUE(menu->findChild<QMenu*>(QStringLiteral("TrackCategories")));
  ASSERT_TRUE(commands.set_category(list().selected_records(), 4, true));
  EXPECT_EQ(record(), 3) << "the current track stays";
  for (int record : {1, 2, 3, 4}) {
    tracks().first();
    tracks().move_by(record - 1);
    EXPECT_EQ(tracks().field_by_position(4).as_boolean(), record != 2 && record != 4) << record;
  }
  EXPECT_EQ(model().data(model().index(0, 8), Qt::DisplayRole).toString(), QStringLiteral("5"));

  const QString folder = QString::fromStdString((dir / "out").string());
  std::filesystem::create_directories(dir / "out");
  EXPECT_EQ(commands.export_tracks({1, 3}, folder), 0) << "their audio is kept on disk";
  commands.fix_tracks({1, 3});
  ASSERT_TRUE(settles([&] { return !program->work.running(); }));
  EXPECT_EQ(commands.export_tracks({1, 3}, folder), 2);
  EXPECT_EQ(commands.export_tracks({1}, folder), 1);
  EXPECT_TRUE(std::filesystem::exists(dir / "out/t1 (2).mp3")) << "a name taken is not overwritten";

  ASSERT_TRUE(commands.delete_tracks({1, 3}, false));
  EXPECT_EQ(tracks().record_count(), 2);
  EXPECT_EQ(rows().size(), 2u);
  tracks().first();
  tracks().move_by(1);
  EXPECT_TRUE(tracks().field_by_position(0).as_boolean()) << "the fourth track is second now";
}

// Deleting rows takes them out of the view where they stand: no reset of the view, the order and the search
// kept, the current track marked.
TEST_F(TrackListTest, DeletedRowsLeaveTheViewInPlace) {
  open_library({{}, {}, {}, {}, {}, {}});
  name_tracks({{"F", "x"}, {"E", "x"}, {"D", "y"}, {"C", "x"}, {"B", "x"}, {"A", "x"}});
  show_large();
  list().View->sortByColumn(1, Qt::AscendingOrder);
  EXPECT_EQ(rows(), (std::vector<int>{6, 5, 4, 3, 2, 1}));
  QSignalSpy resets(&model(), &QAbstractItemModel::modelReset);
  QSignalSpy removed(&model(), &QAbstractItemModel::rowsRemoved);
  const auto removed_runs = [&] {
    std::vector<std::pair<int, int>> runs;
    for (const QList<QVariant>& args : removed) runs.emplace_back(args.at(1).toInt(), args.at(2).toInt());
    removed.clear();
    return runs;
  };
  const auto title = [&](int row) { return model().data(model().index(row, 1), Qt::DisplayRole).toString(); };
  // The list takes rows that came and went in at most every few hundred milliseconds.
  const auto taken_in = [&] { return settles([&] { return model().total() == tracks().record_count(); }); };

  ASSERT_TRUE(program->selection.delete_tracks({5, 4}, false));  // B and C
  ASSERT_TRUE(taken_in());
  EXPECT_EQ(rows(), (std::vector<int>{4, 3, 2, 1}));
  EXPECT_EQ(removed_runs(), (std::vector<std::pair<int, int>>{{1, 2}}));
  EXPECT_EQ(title(0), QStringLiteral("A"));
  EXPECT_EQ(title(1), QStringLiteral("D"));
  EXPECT_EQ(model().data(model().index(0, 0), Qt::DisplayRole).toInt(), 4) << "numbered anew";
  EXPECT_EQ(resets.count(), 0);

  // The main window's Delete takes the current track; with a search, rows hidden by it go unseen.
  QTest::keyClicks(list().Search, QStringLiteral("x"));
  EXPECT_EQ(rows(), (std::vector<int>{4, 2, 1}));
  resets.clear();
  QTest::mouseClick(list().View->viewport(), Qt::LeftButton, {}, row_point(2));
  ASSERT_EQ(record(), 2);
  program->tracks.Delete2Click();
  ASSERT_TRUE(taken_in());
  EXPECT_EQ(rows(), (std::vector<int>{3, 1}));
  EXPECT_EQ(removed_runs(), (std::vector<std::pair<int, int>>{{1, 1}}));
  ASSERT_TRUE(go_to_record(tracks(), 2));  // D, hidden by the search
  program->tracks.Delete2Click();
  ASSERT_TRUE(taken_in());
  EXPECT_EQ(rows(), (std::vector<int>{2, 1}));
  EXPECT_TRUE(removed_runs().empty());
  EXPECT_EQ(title(0), QStringLiteral("A"));
  EXPECT_EQ(title(1), QStringLiteral("F"));
  EXPECT_EQ(model().current(), record());
  const int current_row = model().row_of(record());
  ASSERT_GE(current_row, 0);
  EXPECT_TRUE(model().data(model().index(current_row, 1), Qt::FontRole).value<QFont>().bold()) << "marked";
  EXPECT_EQ(resets.count(), 0);
}

// Tab goes through the window's controls; in the list it is no trap that walks every cell of every row.
TEST_F(TrackListTest, TabPassesThroughTheList) {
  open_library({{}, {}, {}});
  show_large();
  window().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
  window().BitBtn1->setFocus(Qt::TabFocusReason);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), list().Search);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), list().View);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_NE(QApplication::focusWidget(), list().View) << "Tab stays in the list";
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), list().View);
}

}  // namespace
}  // namespace vemla
