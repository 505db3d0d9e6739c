// The room of a main window larger than its default size: the track list takes it (to the right of the panels,
// or below them on a tall window; a splitter keeps the user's share), the left panel shows the cover picture,
// and the "View" menu appears. At its default size the window is the panels alone. "View > Track List" (F9)
// shows or hides the list, growing the window for it or giving the room back. The list's settings (shown,
// splitter, columns, sort) and the maximised state are kept with the window's geometry, under keys of their own.
#pragma once

#include <QByteArray>
#include <QObject>

namespace vemla {

class TForm1;

class WindowRoom : public QObject {
  Q_OBJECT
 public:
  // Reads the kept settings and watches `form`, which must outlive the object.
  explicit WindowRoom(TForm1& form, QObject* parent = nullptr);
  ~WindowRoom() override;

  // Whether the user wants the list ("View > Track List"), and whether it shows now.
  bool list_wanted() const { return wanted_; }
  bool list_shown() const;
  // A picture to show: the cover view shows while the window is larger than its default size.
  void set_cover_available(bool available);
  // Writes the settings; the window's closing does it too.
  void save();

 public slots:
  void ViewTrackListClick(bool on);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Lays the room out for the window's size.
  void arrange();
  void restore_state();

  TForm1& form_;
  bool wanted_ = true;
  bool cover_available_ = false;
  bool restored_ = false;
  int orientation_ = 0;  // 0: no list, else Qt::Orientation
  QByteArray split_[2];  // the splitter's state, side by side and one above the other
};

}  // namespace vemla
