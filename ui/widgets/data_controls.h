// Data-aware controls: a line edit, a check box, a memo and a radio group bound to one column of a data
// source. Each shows that column of the table's current row, writes through the data source when the user
// changes it, turns read-only with a read-only table and disabled and empty with a closed one (or a table
// without the column). They cut nothing themselves (the table store cuts long texts) and never write back a
// value they were only shown. User-interface thread only.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <functional>
#include <string>
#include <string_view>

#include "data.h"
#include "schema.h"

class QButtonGroup;
class QGridLayout;

namespace vemla {

// The binding the four controls share. The control gives three calls: show a field's value, clear itself,
// and turn read-only or not; the binding calls them whenever the table opens, closes, moves, re-reads or a
// value of the current row is set by someone else.
class ColumnBinding : private DataObserver {
 public:
  struct Control {
    QWidget* widget;
    std::function<void(const Field&)> show;
    std::function<void()> clear;
    std::function<void(bool read_only)> set_read_only;
  };
  explicit ColumnBinding(Control control);
  ~ColumnBinding() override;
  ColumnBinding(const ColumnBinding&) = delete;
  ColumnBinding& operator=(const ColumnBinding&) = delete;

  // Binds to a column (its name as the table lists it) of a source that must outlive the binding, or to
  // nothing with a null source.
  void bind(DataSource* source, std::string column);
  DataSource* source() const { return source_; }
  const std::string& column() const { return column_; }

  // True while the binding puts a value into the control, so that the control's change signals can tell that
  // from the user's change.
  bool showing() const { return showing_ > 0; }

  // What the control calls when the user changed it. An error of the table store is shown in a message box
  // and the control shows the stored value again.
  void write_text(std::string_view text);
  void write_boolean(bool value);

  // Shows the current row's value again (and the enabled and read-only state).
  void update();

 private:
  void state_changed(DataSource&) override { update(); }
  void row_changed(DataSource&) override { update(); }
  void field_changed(DataSource&, const Field& field) override;
  void write(const std::function<void()>& action);

  Control control_;
  DataSource* source_ = nullptr;
  std::string column_;
  int showing_ = 0;
  bool writing_ = false;
};

// A one-line edit (TITLE, ARTIST, ALBUM).
class DBLineEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit DBLineEdit(QWidget* parent = nullptr);
  void bind(DataSource& source, TextColumn column) { binding_.bind(&source, std::string(column.name)); }
  ColumnBinding& binding() { return binding_; }

 private:
  ColumnBinding binding_;
};

// A check box on a boolean column (SKIP, AUTOPLAY, CONTINUE, STORAGE).
class DBCheckBox : public QCheckBox {
  Q_OBJECT
 public:
  explicit DBCheckBox(const QString& text, QWidget* parent = nullptr);
  void bind(DataSource& source, FlagColumn column) { binding_.bind(&source, std::string(column.name)); }
  ColumnBinding& binding() { return binding_; }

 private:
  ColumnBinding binding_;
};

// A multi-line memo (MEMO).
class DBMemo : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit DBMemo(QWidget* parent = nullptr);
  void bind(DataSource& source, MemoColumn column) { binding_.bind(&source, std::string(column.name)); }
  ColumnBinding& binding() { return binding_; }

 private:
  ColumnBinding binding_;
};

// A group of radio buttons, one per item; the column holds the chosen item's value as text ("1" ... "6" for
// PRIORITY, "True" and "False" for a boolean). A value that is no item's checks no button.
class DBRadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  // values[i] is what item i stands for; without values, the items' captions (less their "&") are.
  DBRadioGroup(const QString& title, const QStringList& items, const QStringList& values = {},
               QWidget* parent = nullptr);
  void bind(DataSource& source, NumberColumn column) { binding_.bind(&source, std::string(column.name)); }
  void bind(DataSource& source, FlagColumn column) { binding_.bind(&source, std::string(column.name)); }
  ColumnBinding& binding() { return binding_; }

  // The checked item, or -1.
  int item_index() const;
  QAbstractButton* button(int item) const;

 private:
  void show_value(const QString& value);
  void check_item(int item);

  QStringList values_;
  QButtonGroup* buttons_;
  ColumnBinding binding_;
};

}  // namespace vemla
