#include "data_controls.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cctype>
#include <utility>

#include "error_box.h"
#include "table_error.h"

namespace vemla {

namespace {

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Counts the binding's own display work, so that change signals raised by it are not taken for the user's.
class Showing {
 public:
  explicit Showing(int& depth) : depth_(depth) { ++depth_; }
  ~Showing() { --depth_; }
  Showing(const Showing&) = delete;
  Showing& operator=(const Showing&) = delete;

 private:
  int& depth_;
};

QString text_of(const Field& field) {
  return QString::fromStdString(field.as_text());
}

}  // namespace

ColumnBinding::ColumnBinding(Control control) : control_(std::move(control)) {
  update();
}

ColumnBinding::~ColumnBinding() {
  if (source_) source_->detach(*this);
}

void ColumnBinding::bind(DataSource* source, std::string column) {
  if (source_) source_->detach(*this);
  source_ = source;
  column_ = std::move(column);
  if (source_) source_->attach(*this);
  update();
}

void ColumnBinding::update() {
  // A write of our own puts the row into edit mode and sets the value the control already shows.
  if (writing_) return;
  Showing showing(showing_);
  if (!source_ || !source_->table().is_open()) {
    control_.clear();
    control_.widget->setEnabled(false);
    return;
  }
  Table& table = source_->table();
  try {
    const Field field = table.field_by_name(column_);
    control_.widget->setEnabled(true);
    control_.set_read_only(!source_->editable());
    control_.show(field);
  } catch (const TableError&) {
    // No such column, or a value that does not read as the control's kind: nothing to show or edit.
    control_.clear();
    control_.widget->setEnabled(false);
  }
}

void ColumnBinding::field_changed(DataSource&, const Field& field) {
  if (!writing_ && same_name(field.name(), column_)) update();
}

void ColumnBinding::write(const std::function<void()>& action) {
  if (showing() || !source_) return;
  writing_ = true;
  try {
    action();
    writing_ = false;
  } catch (const TableError& error) {
    writing_ = false;
    show_error(control_.widget, QString::fromUtf8(error.what()));
    update();
  }
}

void ColumnBinding::write_text(std::string_view text) {
  write([&] { source_->write_text(column_, text); });
}

void ColumnBinding::write_boolean(bool value) {
  write([&] { source_->write_boolean(column_, value); });
}

DBLineEdit::DBLineEdit(QWidget* parent)
    : QLineEdit(parent),
      binding_({this,
                [this](const Field& field) {
                  const QString value = text_of(field);
                  if (text() != value) {
                    setText(value);
                    setCursorPosition(0);
                  }
                },
                [this] { clear(); }, [this](bool read_only) { setReadOnly(read_only); }}) {
  connect(this, &QLineEdit::textEdited, this,
          [this](const QString& value) { binding_.write_text(value.toStdString()); });
}

DBCheckBox::DBCheckBox(const QString& text, QWidget* parent)
    : QCheckBox(text, parent),
      binding_({this, [this](const Field& field) { setChecked(field.as_boolean()); }, [this] { setChecked(false); },
                [this](bool read_only) { setEnabled(!read_only); }}) {
  connect(this, &QCheckBox::clicked, this, [this](bool checked) { binding_.write_boolean(checked); });
}

DBMemo::DBMemo(QWidget* parent)
    : QPlainTextEdit(parent),
      binding_({this,
                [this](const Field& field) {
                  const QString value = text_of(field);
                  if (toPlainText() != value) setPlainText(value);
                },
                [this] {
                  if (!toPlainText().isEmpty()) clear();
                },
                [this](bool read_only) { setReadOnly(read_only); }}) {
  setTabChangesFocus(true);
  connect(this, &QPlainTextEdit::textChanged, this, [this] { binding_.write_text(toPlainText().toStdString()); });
}

DBRadioGroup::DBRadioGroup(const QString& title, const QStringList& items, const QStringList& values,
                           QWidget* parent)
    : QGroupBox(title, parent),
      values_(values),
      buttons_(new QButtonGroup(this)),
      binding_({this, [this](const Field& field) { show_value(text_of(field)); }, [this] { check_item(-1); },
                [this](bool read_only) { setEnabled(!read_only); }}) {
  auto* layout = new QVBoxLayout(this);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    buttons_->addButton(button, i);
    layout->addWidget(button);
    if (values_.size() <= i) values_.append(QString(items[i]).remove(QLatin1Char('&')));
  }
  connect(buttons_, &QButtonGroup::idClicked, this,
          [this](int item) { binding_.write_text(values_[item].toStdString()); });
  binding_.update();
}

int DBRadioGroup::item_index() const {
  return buttons_->checkedId();
}

QAbstractButton* DBRadioGroup::button(int item) const {
  return buttons_->button(item);
}

void DBRadioGroup::show_value(const QString& value) {
  check_item(static_cast<int>(values_.indexOf(value)));
}

void DBRadioGroup::check_item(int item) {
  if (item >= 0 && item < buttons_->buttons().size()) {
    buttons_->button(item)->setChecked(true);
    return;
  }
  // An exclusive group keeps one button checked; letting go of exclusiveness is the way to clear it.
  buttons_->setExclusive(false);
  for (QAbstractButton* button : buttons_->buttons()) button->setChecked(false);
  buttons_->setExclusive(true);
}

}  // namespace vemla
