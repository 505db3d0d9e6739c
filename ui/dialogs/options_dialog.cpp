#include "options_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "data.h"
#include "data_controls.h"
#include "error_box.h"
#include "look.h"
#include "replaygain_options.h"
#include "rows.h"

namespace vemla {

namespace {

constexpr const char* kGaplessKey = "GaplessPlayback";

// Back to the row that was current before the table was closed and opened again.
void go_to_record(Table& table, int record) {
  table.first();
  if (record > 1) table.move_by(record - 1);
}

// Closes the table, sets its read-only state and opens it again on the same row; nothing when it has that state.
void reopen(Table& table, bool read_only) {
  if (table.read_only() == read_only && table.is_open()) return;
  const int record = table.is_open() ? table.record_number() : 0;
  table.close();
  table.set_read_only(read_only);
  table.open();
  go_to_record(table, record);
}

}  // namespace

TForm2::TForm2(Tdb& db, QWidget* parent) : QDialog(parent), db_(db) {
  setObjectName(QStringLiteral("TForm2"));
  setWindowTitle(QStringLiteral("Options"));
  help_context(this, 230);

  PageControl1 = named(new QTabWidget(this), "PageControl1");
  TabSheet1 = named(new QWidget(PageControl1), "TabSheet1");
  PageControl1->addTab(TabSheet1, QStringLiteral("MPEG"));

  RzDBRadioGroup2 = named(new DBRadioGroup(QStringLiteral("Player Priority"),
                                           {QStringLiteral("Lowest"), QStringLiteral("Lower"), QStringLiteral("Normal"),
                                            QStringLiteral("Higher"), QStringLiteral("Highest"),
                                            QStringLiteral("Time Critical")},
                                           {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                                            QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6")},
                                           TabSheet1),
                          "RzDBRadioGroup2");
  RzDBRadioGroup2->bind(db_.reg, SettingsTable::priority);
  hint(RzDBRadioGroup2, QStringLiteral("PC-power reserved to Vemla"));

  RzDBRadioGroup1 = named(new DBRadioGroup(QStringLiteral("MPEG Storage"),
                                           {QStringLiteral("Keep on Disk"), QStringLiteral("Store in Base")},
                                           {QStringLiteral("False"), QStringLiteral("True")}, TabSheet1),
                          "RzDBRadioGroup1");
  RzDBRadioGroup1->bind(db_.reg, SettingsTable::storage);
  hint(RzDBRadioGroup1, QStringLiteral("Location of the MPEG files"));

  RadioGroup1 = named(new QGroupBox(QStringLiteral("Mix"), TabSheet1), "RadioGroup1");
  hint(RadioGroup1, QStringLiteral("Choose the output channel"));
  MixButtons = new QButtonGroup(RadioGroup1);
  auto* mix = new QVBoxLayout(RadioGroup1);
  const char* mixes[] = {"Stereo", "Left", "Right", "Mono"};
  for (int i = 0; i < 4; ++i) {
    auto* button = new QRadioButton(QString::fromLatin1(mixes[i]), RadioGroup1);
    MixButtons->addButton(button, i);
    mix->addWidget(button);
  }
  MixButtons->button(0)->setChecked(true);

  CheckBox1 = named(new QCheckBox(QStringLiteral("Make the database Read Only"), TabSheet1), "CheckBox1");
  hint(CheckBox1, QStringLiteral("Make the Database readonly"));

  GaplessPlayback = named(new QCheckBox(QStringLiteral("Gapless playback"), TabSheet1), "GaplessPlayback");
  hint(GaplessPlayback, QStringLiteral("Play tracks that follow each other without a gap or a click between them"));
  GaplessPlayback->setChecked(gapless_playback());
  connect(GaplessPlayback, &QCheckBox::toggled, this, [this](bool on) {
    if (on == gapless_playback()) return;  // shown anew, not changed
    set_gapless_playback(on);
    emit gapless_changed(on);
  });

  for (QGroupBox* group : {static_cast<QGroupBox*>(RzDBRadioGroup2), static_cast<QGroupBox*>(RzDBRadioGroup1),
                           RadioGroup1})
    group->setAccessibleName(group->title());
  CheckBox1->setAccessibleName(CheckBox1->text());
  GaplessPlayback->setAccessibleName(GaplessPlayback->text());

  auto* page = new QGridLayout(TabSheet1);
  page->addWidget(RzDBRadioGroup2, 0, 0, 2, 1);
  page->addWidget(RzDBRadioGroup1, 0, 1);
  page->addWidget(RadioGroup1, 1, 1);
  page->addWidget(CheckBox1, 2, 0, 1, 2);
  page->addWidget(GaplessPlayback, 3, 0, 1, 2);
  ReplayGain = new ReplayGainOptions(TabSheet1);
  connect(ReplayGain, &ReplayGainOptions::changed, this, &TForm2::gains_changed);
  page->addWidget(ReplayGain, 4, 0, 1, 2);
  page->setRowStretch(5, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  BitBtn1 = named(buttons->button(QDialogButtonBox::Ok), "BitBtn1");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PageControl1);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

TForm2::~TForm2() = default;

int TForm2::mix_index() const {
  return std::max(0, MixButtons->checkedId());
}

bool TForm2::gapless_playback() {
  return QSettings().value(QString::fromLatin1(kGaplessKey), true).toBool();
}

void TForm2::set_gapless_playback(bool on) {
  QSettings().setValue(QString::fromLatin1(kGaplessKey), on);
}

void TForm2::FormActivate() {
  bool read_only = false;
  try {
    if (db_.Table3.is_open()) read_only = library_read_only(db_.Table3);
  } catch (const TableError&) {
    // A category table without the flag reads as writable.
  }
  CheckBox1->setChecked(read_only);
  // Without a library there is nothing to make read-only.
  CheckBox1->setEnabled(db_.Table1.is_open());
  GaplessPlayback->setChecked(gapless_playback());
  ReplayGain->show_kept();
}

void TForm2::FormClose() {
  try {
    if (!db_.Table1.is_open()) {
      // The choices of priority and storage are kept at once rather than left pending.
      if (db_.Table2.is_open()) db_.Table2.refresh();
      return;
    }
    apply_read_only(CheckBox1->isChecked());
  } catch (const TableError& error) {
    show_error(this, QString::fromUtf8(error.what()));
  }
}

void TForm2::apply_read_only(bool read_only) {
  Table& tracks = db_.Table1;
  Table& settings = db_.Table2;
  Table& categories = db_.Table3;
  if (settings.is_open()) settings.refresh();
  // The flag is kept in the library's category table, which must be writable to take it.
  const int category_record = categories.is_open() ? categories.record_number() : 0;
  categories.close();
  categories.set_read_only(false);
  categories.open();
  go_to_record(categories, category_record);
  if (settings.is_open()) {
    settings.edit();
    set(settings, SettingsTable::read_only, read_only);
  }
  categories.edit();  // on a new library's empty table this begins its one row
  set(categories, CategoryTable::read_only, read_only);
  if (read_only) {
    tracks.refresh();
    categories.refresh();
    reopen(tracks, true);
    reopen(categories, true);
  } else {
    categories.post();
    reopen(tracks, false);
  }
  if (settings.is_open()) settings.post();
}

void TForm2::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormActivate();
  QDialog::showEvent(event);
}

void TForm2::done(int result) {
  FormClose();
  QDialog::done(result);
}

}  // namespace vemla
