// The track list beside the main window's panels: a search field above a table of the open library's tracks.
// It shows and forwards: a click asks for the track to become current, a double click or Enter asks for it
// to play; the track list control decides what follows.
#pragma once

#include <QFrame>
#include <QList>

class QLabel;
class QLineEdit;
class QTableView;

namespace vemla {

class Table;
class TrackListModel;

class TrackList : public QFrame {
  Q_OBJECT
 public:
  // The track table of the open library; it must outlive the widget.
  explicit TrackList(Table& tracks, QWidget* parent = nullptr);
  ~TrackList() override;

  TrackListModel& model() { return *model_; }

  QLineEdit* Search;   // "TrackSearch"
  QTableView* View;    // "TrackView"
  QLabel* Message;     // over the empty list: why it is empty

  // The records of the selected rows, in the list's order.
  QList<int> selected_records() const;
  // Makes the record's row the view's current one and shows it; the selection follows unless several rows
  // are selected.
  void show_record(int record);
  // What the empty list says ("" when the list is not empty).
  void set_empty_text(const QString& text);
  // Beside the panels or below them: its margins meet the window's edges as theirs do.
  void set_beside(bool beside);
  // Focuses the search field with its text selected.
  void focus_search();
  // Until the user sizes a column, the text columns share the list's width (no sideways scrolling); once sized,
  // the widths stay as the user left them.
  bool columns_sized() const { return columns_sized_; }
  void set_columns_sized(bool sized);

 signals:
  void current_requested(int record);
  void play_requested(int record);
  // The selection's context menu was asked for at a global position.
  void menu_requested(const QPoint& position);
  // The Delete key in the list.
  void delete_requested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void search_changed(const QString& text);
  // Enter in the search field: the selected track, else the first match.
  void play_from_search();
  void show_message();
  void remember_view();
  void restore_view();
  void fit_columns();

  TrackListModel* model_;
  QString empty_text_;
  // Kept across a reset of the model (a search, rows added): the current row's record and the selection.
  int kept_current_ = 0;
  QList<int> kept_selection_;
  bool columns_sized_ = false;
  bool fitting_ = false;  // the header's resizes are ours, not the user's
};

}  // namespace vemla
