// The library Vemla opens at start when none is named: the one that was open when it last closed, while the
// option "Reopen the last library at start" is ticked (on by default; its check box is added to the "Options"
// dialog). Both are kept with QSettings beside the window's geometry.
#pragma once

#include <QObject>
#include <QString>

class QCheckBox;
class QDialog;

namespace vemla {

class LibraryCommands;
class TForm1;

class LastLibrary : public QObject {
  Q_OBJECT
 public:
  // Notes the library open when `form` closes (or the program ends without closing it) and adds the option's
  // check box to `options`. Every reference must outlive the object.
  LastLibrary(TForm1& form, LibraryCommands& library, QDialog& options, QObject* parent = nullptr);
  ~LastLibrary() override;

  // The library to open at start: empty when the option is off, no library was open, or its track table is gone
  // (a library that was deleted or moved meanwhile is simply not opened).
  QString library_to_reopen() const;

  static bool reopen_enabled();
  static void set_reopen_enabled(bool on);
  // The library noted last; empty when none was open.
  static QString noted_library();

  QCheckBox* check_box() const { return check_box_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void add_check_box(QDialog& options);
  void note(const QString& library);

  TForm1& form_;
  LibraryCommands& library_;
  QDialog& options_;
  QCheckBox* check_box_ = nullptr;
  QString open_;  // the library open now, as last told
};

}  // namespace vemla
