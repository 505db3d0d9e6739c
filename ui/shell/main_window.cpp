#include "main_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "data.h"
#include "data_controls.h"
#include "eliding_label.h"
#include "look.h"
#include "cover_view.h"
#include "picture_panel.h"
#include "track_list.h"

namespace vemla {

namespace {

constexpr int kSpacing = 6;

// The lime-on-black display of a time, wide enough for "00:00:00".
QLabel* time_display(QWidget* parent, const char* name, const QString& hint_text) {
  auto* label = named(new QLabel(QStringLiteral("0:00:00"), parent), name);
  black_panel(label);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPixelSize(19);
  font.setBold(true);
  label->setFont(font);
  label->setAlignment(Qt::AlignCenter);
  label->setMargin(2);
  label->setMinimumWidth(QFontMetrics(font).horizontalAdvance(QStringLiteral("00:00:00")) + 16);
  label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  hint(label, hint_text);
  label->setAccessibleName(hint_text);
  help_context(label, 220);
  return label;
}

QToolButton* tool_button(QWidget* parent, const char* name, const QString& caption, const QIcon& icon) {
  auto* button = named(new QToolButton(parent), name);
  button->setText(caption);
  button->setAccessibleName(caption);
  if (!icon.isNull()) {
    button->setIcon(icon);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  }
  button->setFocusPolicy(Qt::StrongFocus);
  return button;
}

}  // namespace

TForm1::TForm1(Tdb& data_module, QWidget* parent) : QMainWindow(parent), db_(data_module) {
  load_resources();
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Vemla"));
  setWindowIcon(vemla_icon());
  help_context(this, 160);

  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("client"));
  build_left_panel();
  build_right_panel();
  build_bottom_panel();
  auto* top = new QHBoxLayout;
  top->setSpacing(kSpacing);
  top->addWidget(RzPanel2, 5);
  top->addWidget(RzPanel6, 7);
  auto* client = new QVBoxLayout(central);
  client->setContentsMargins(kSpacing, kSpacing, kSpacing, kSpacing);
  client->setSpacing(kSpacing);
  client->addLayout(top, 1);
  client->addWidget(RzPanel1);
  RzPanel2->setParent(central);
  RzPanel6->setParent(central);
  RzPanel1->setParent(central);
  // The panels keep their size; the room a larger window has goes to the track list, hidden until there is.
  TrackSplitter = named(new QSplitter(Qt::Horizontal, this), "TrackSplitter");
  TrackSplitter->setChildrenCollapsible(false);
  TrackList1 = new TrackList(db_.Table1, TrackSplitter);
  TrackSplitter->insertWidget(0, central);
  TrackSplitter->setStretchFactor(0, 0);
  TrackSplitter->setStretchFactor(1, 1);
  TrackList1->hide();
  setCentralWidget(TrackSplitter);

  build_status_bar();
  build_menu_bar();
  set_tab_order();
  connect_handlers();

  // Never smaller than at design (it grows only where the font needs it); larger, the track list shows.
  ensurePolished();
  if (layout()) layout()->activate();
  const QSize smallest = default_size().expandedTo(minimumSizeHint());
  setMinimumSize(smallest);
  resize(smallest);
}

TForm1::~TForm1() = default;

QSize TForm1::default_size() {
  return {632, 387};
}

void TForm1::build_left_panel() {
  RzPanel2 = named(new PicturePanel(this), "RzPanel2");
  help_context(RzPanel2, 220);

  auto* fields = new QGridLayout;
  fields->setHorizontalSpacing(kSpacing);
  fields->setVerticalSpacing(kSpacing);
  const struct {
    QLabel*& label;
    const char* label_name;
    const char* caption;
    DBLineEdit*& edit;
    const char* edit_name;
    TextColumn column;
  } rows[] = {{Label1, "Label1", "Title:", RzDBLineEdit1, "RzDBLineEdit1", TrackTable::title},
              {Label2, "Label2", "Artist:", RzDBLineEdit2, "RzDBLineEdit2", TrackTable::artist},
              {Label3, "Label3", "Album:", RzDBLineEdit3, "RzDBLineEdit3", TrackTable::album}};
  int row = 0;
  for (const auto& r : rows) {
    r.label = named(new QLabel(QString::fromLatin1(r.caption), RzPanel2), r.label_name);
    r.edit = named(new DBLineEdit(RzPanel2), r.edit_name);
    r.edit->bind(db_.data, r.column);
    r.label->setBuddy(r.edit);
    r.edit->setAccessibleName(QString::fromLatin1(r.caption).chopped(1));
    fields->addWidget(r.label, row, 0);
    fields->addWidget(r.edit, row, 1);
    ++row;
  }

  Label18 = time_display(RzPanel2, "Label18", QStringLiteral("Total track time"));
  Label17 = time_display(RzPanel2, "Label17", QStringLiteral("Elapsed time"));
  auto* times = new QVBoxLayout;
  times->setSpacing(kSpacing);
  times->addWidget(Label18);
  times->addWidget(Label17);
  times->addStretch();

  CheckBox2 = named(new QCheckBox(QStringLiteral("Repeat Track"), RzPanel2), "CheckBox2");
  DBCheckBox3 = named(new DBCheckBox(QStringLiteral("Nonstop Play"), RzPanel2), "DBCheckBox3");
  DBCheckBox1 = named(new DBCheckBox(QStringLiteral("Auto Skip"), RzPanel2), "DBCheckBox1");
  DBCheckBox2 = named(new DBCheckBox(QStringLiteral("Auto Play"), RzPanel2), "DBCheckBox2");
  hint(CheckBox2, QStringLiteral("repeat this track"));
  hint(DBCheckBox3, QStringLiteral("Repeat total playlist"));
  hint(DBCheckBox1, QStringLiteral("Automatic skip this track"));
  hint(DBCheckBox2, QStringLiteral("Automatically start playing"));
  DBCheckBox3->bind(db_.reg, SettingsTable::nonstop);
  DBCheckBox1->bind(db_.data, TrackTable::skip);
  DBCheckBox2->bind(db_.reg, SettingsTable::autoplay);
  auto* options = new QVBoxLayout;
  options->setSpacing(2);
  for (QCheckBox* box : {CheckBox2, static_cast<QCheckBox*>(DBCheckBox3), static_cast<QCheckBox*>(DBCheckBox1),
                         static_cast<QCheckBox*>(DBCheckBox2)}) {
    box->setAccessibleName(box->text());
    options->addWidget(box);
  }
  options->addStretch();

  auto* middle = new QHBoxLayout;
  middle->setSpacing(2 * kSpacing);
  middle->addLayout(times);
  middle->addLayout(options, 1);

  CoverArt = new CoverView(RzPanel2);
  CoverArt->hide();

  RzTrackBar1 = named(new QSlider(Qt::Horizontal, RzPanel2), "RzTrackBar1");
  RzTrackBar1->setRange(0, 0);
  RzTrackBar1->setAccessibleName(QStringLiteral("Position"));
  RzTrackBar1->setFocusPolicy(Qt::StrongFocus);

  auto* layout = new QVBoxLayout(RzPanel2);
  layout->setContentsMargins(2 * kSpacing, 2 * kSpacing, 2 * kSpacing, kSpacing);
  layout->setSpacing(kSpacing);
  layout->addLayout(fields);
  layout->addSpacing(kSpacing);
  layout->addLayout(middle, 1);
  layout->addWidget(CoverArt, 3);
  layout->addWidget(RzTrackBar1);
}

void TForm1::build_right_panel() {
  RzPanel6 = named(new QFrame(this), "RzPanel6");

  GroupBox1 = named(new QGroupBox(QStringLiteral("PlayList"), RzPanel6), "GroupBox1");
  help_context(GroupBox1, 100);
  RzLabel1 = named(new ElidingLabel(GroupBox1), "RzLabel1");
  black_panel(RzLabel1);
  hint(RzLabel1, QStringLiteral("Tracks to be played"));
  RzLabel1->setAccessibleName(QStringLiteral("Tracks to be played"));
  help_context(RzLabel1, 100);
  Reset = tool_button(GroupBox1, "Reset", QStringLiteral("Reset"),
                      theme_icon("view-refresh", QStyle::SP_BrowserReload));
  Shuffle = tool_button(GroupBox1, "Shuffle", QStringLiteral("Shuffle"),
                        theme_icon("media-playlist-shuffle", QStyle::SP_BrowserReload));
  Arrange = tool_button(GroupBox1, "Arrange", QStringLiteral("Arrange"),
                        theme_icon("view-sort-ascending", QStyle::SP_ArrowDown));
  hint(Reset, QStringLiteral("Reset the playlist"));
  hint(Shuffle, QStringLiteral("Random shuffle the playlist"));
  hint(Arrange, QStringLiteral("Create playlist based on the categories"));
  Arrange->setEnabled(false);  // enabled with an open library
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(kSpacing);
  buttons->addWidget(Reset);
  buttons->addWidget(Shuffle);
  buttons->addWidget(Arrange);
  buttons->addStretch();
  auto* playlist = new QVBoxLayout(GroupBox1);
  playlist->setSpacing(kSpacing);
  playlist->addWidget(RzLabel1);
  playlist->addLayout(buttons);

  GroupBox2 = named(new QGroupBox(QStringLiteral("Memo"), RzPanel6), "GroupBox2");
  DBMemo1 = named(new DBMemo(GroupBox2), "DBMemo1");
  DBMemo1->bind(db_.data, TrackTable::memo);
  hint(DBMemo1, QStringLiteral("a memo on this track"));
  DBMemo1->setAccessibleName(QStringLiteral("a memo on this track"));
  DBMemo1->setMinimumWidth(100);
  auto* memo = new QVBoxLayout(GroupBox2);
  memo->addWidget(DBMemo1);

  GroupBox3 = named(new QGroupBox(QStringLiteral("Categories"), RzPanel6), "GroupBox3");
  Label4 = named(new QLabel(QStringLiteral("Define Category:"), GroupBox3), "Label4");
  RzCheckList1 = named(new QListWidget(GroupBox3), "RzCheckList1");
  for (int k = 1; k <= 64; ++k) {
    auto* item = new QListWidgetItem(QString::number(k), RzCheckList1);
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Unchecked);
  }
  hint(RzCheckList1, QStringLiteral("Categories that fit this track"));
  RzCheckList1->setAccessibleName(QStringLiteral("Define Category"));
  Label4->setBuddy(RzCheckList1);
  Label5 = named(new QLabel(QStringLiteral("Select Category:"), GroupBox3), "Label5");
  ComboBox1 = named(new QComboBox(GroupBox3), "ComboBox1");
  ComboBox1->addItem(QStringLiteral("all"));
  for (int k = 1; k <= 64; ++k) ComboBox1->addItem(QString::number(k));
  ComboBox1->setMaxVisibleItems(16);
  ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  ComboBox1->setMinimumContentsLength(8);
  hint(ComboBox1, QStringLiteral("Play tracks from this category"));
  ComboBox1->setAccessibleName(QStringLiteral("Select Category"));
  Label5->setBuddy(ComboBox1);
  for (QWidget* widget : {static_cast<QWidget*>(Label4), static_cast<QWidget*>(RzCheckList1),
                          static_cast<QWidget*>(Label5), static_cast<QWidget*>(ComboBox1)})
    help_context(widget, 70);
  auto* categories = new QVBoxLayout(GroupBox3);
  categories->setSpacing(2);
  categories->addWidget(Label4);
  categories->addWidget(RzCheckList1, 1);
  categories->addSpacing(kSpacing / 2);
  categories->addWidget(Label5);
  categories->addWidget(ComboBox1);

  auto* lower = new QHBoxLayout;
  lower->setSpacing(kSpacing);
  lower->addWidget(GroupBox2, 3);
  lower->addWidget(GroupBox3, 2);
  auto* layout = new QVBoxLayout(RzPanel6);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(kSpacing);
  layout->addWidget(GroupBox1);
  layout->addLayout(lower, 1);
}

void TForm1::build_bottom_panel() {
  RzPanel1 = named(new PicturePanel(this), "RzPanel1");
  const struct {
    QToolButton*& button;
    const char* name;
    const char* icon;
    QStyle::StandardPixmap fallback;
    Qt::Key key;  // the keyboard's media keys press the buttons too
  } transport[] = {{Play, "Play", "media-playback-start", QStyle::SP_MediaPlay, Qt::Key_MediaPlay},
                   {Pause, "Pause", "media-playback-pause", QStyle::SP_MediaPause, Qt::Key_MediaPause},
                   {Stop, "Stop", "media-playback-stop", QStyle::SP_MediaStop, Qt::Key_MediaStop},
                   {Prior, "Prior", "media-skip-backward", QStyle::SP_MediaSkipBackward, Qt::Key_MediaPrevious},
                   {Next, "Next", "media-skip-forward", QStyle::SP_MediaSkipForward, Qt::Key_MediaNext}};
  for (const auto& t : transport) {
    t.button = tool_button(RzPanel1, t.name, QString::fromLatin1(t.name), theme_icon(t.icon, t.fallback));
    t.button->setShortcut(QKeySequence(t.key));
  }
  PlayerButtons = new QButtonGroup(this);
  PlayerButtons->setObjectName(QStringLiteral("PlayerButtons"));
  PlayerButtons->setExclusive(true);
  for (QToolButton* button : {Play, Pause, Stop}) {
    button->setCheckable(true);
    PlayerButtons->addButton(button);
  }
  Stop->setChecked(true);

  // The speaker shows its level in the volume control's icons; the button keeps to its icon, so the room the
  // transport buttons have at the default size stays theirs.
  Mute = named(new QToolButton(RzPanel1), "Mute");
  Mute->setIcon(theme_icon("audio-volume-high", QStyle::SP_MediaVolume));
  Mute->setCheckable(true);
  Mute->setAutoRaise(true);
  Mute->setAccessibleName(QStringLiteral("Mute"));
  hint(Mute, QStringLiteral("Mute or unmute the sound"));
  volumeSlider = named(new QSlider(Qt::Horizontal, RzPanel1), "volumeSlider");
  volumeSlider->setRange(0, 100);
  volumeSlider->setSingleStep(5);
  volumeSlider->setPageStep(10);
  volumeSlider->setValue(100);
  volumeSlider->setFixedWidth(56);
  volumeSlider->setAccessibleName(QStringLiteral("Volume"));
  hint(volumeSlider, QStringLiteral("Volume (Ctrl+Up, Ctrl+Down, or the mouse wheel over it)"));
  help_context(volumeSlider, 220);

  BitBtn1 = named(new QPushButton(theme_icon("application-exit", QStyle::SP_DialogCloseButton),
                                  QStringLiteral("E&xit"), RzPanel1),
                  "BitBtn1");
  hint(BitBtn1, QStringLiteral("Leave the program"));
  BitBtn1->setAccessibleName(QStringLiteral("Exit"));

  const int icon = style()->pixelMetric(QStyle::PM_ToolBarIconSize);
  auto* layout = new QHBoxLayout(RzPanel1);
  layout->setContentsMargins(2 * kSpacing, kSpacing, 2 * kSpacing, kSpacing);
  layout->setSpacing(kSpacing);
  for (QToolButton* button : {Play, Pause, Stop, Prior, Next}) {
    button->setIconSize(QSize(icon, icon));
    layout->addWidget(button);
    if (button == Stop) layout->addSpacing(2 * kSpacing);
  }
  layout->addStretch();
  layout->addWidget(Mute);
  layout->addWidget(volumeSlider);
  layout->addWidget(BitBtn1);
}

void TForm1::build_status_bar() {
  RzStatusBar1 = named(new QStatusBar(this), "RzStatusBar1");
  setStatusBar(RzStatusBar1);
  RzStatusBar1->setSizeGripEnabled(false);  // the window frame resizes it; a grip would crowd the panes
  // Without the grip the last pane would touch the window's edge and look cut off.
  RzStatusBar1->setContentsMargins(0, 0, kSpacing / 2, 0);
  auto pane = [this](const char* name, const QString& text, int chars) {
    auto* label = named(new QLabel(text, RzStatusBar1), name);
    label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('n'))));
    label->setAlignment(Qt::AlignCenter);
    return label;
  };
  RzStatusPane1 = pane("RzStatusPane1", QStringLiteral("stopped"), 8);
  // The hint keeps its wording; the name read out by screen readers says what the pane shows.
  hint(RzStatusPane1, QStringLiteral("State of the database"));
  RzStatusPane1->setAccessibleName(QStringLiteral("State of the player"));
  RzStatusPane2 = pane("RzStatusPane2", QString(), 9);
  hint(RzStatusPane2, QStringLiteral("track state"));
  RzStatusPane2->setAccessibleName(QStringLiteral("track state"));
  RzProgressBar1 = named(new QProgressBar(RzStatusBar1), "RzProgressBar1");
  RzProgressBar1->setRange(0, 100);
  RzProgressBar1->setValue(0);
  RzProgressBar1->setTextVisible(false);
  RzProgressBar1->ensurePolished();
  RzProgressBar1->setFixedWidth(std::max(RzProgressBar1->minimumSizeHint().width(),
                                         RzProgressBar1->fontMetrics().horizontalAdvance(QString(12, QLatin1Char('n')))));
  RzProgressBar1->setMaximumHeight(RzStatusPane1->sizeHint().height());
  RzProgressBar1->setAccessibleName(QStringLiteral("Progress"));
  RzStatusPane3 = pane("RzStatusPane3", QString(), 2);
  RzStatusBar1->addPermanentWidget(RzStatusPane1);
  RzStatusBar1->addPermanentWidget(RzStatusPane2);
  RzStatusBar1->addPermanentWidget(RzProgressBar1);
  RzStatusBar1->addPermanentWidget(RzStatusPane3);
}

void TForm1::set_tab_order() {
  const QWidget* order[] = {RzDBLineEdit1, RzDBLineEdit2, RzDBLineEdit3, CheckBox2, DBCheckBox3, DBCheckBox1,
                            DBCheckBox2,   RzTrackBar1,   Reset,         Shuffle,   Arrange,     DBMemo1,
                            RzCheckList1,  ComboBox1,     Play,          Pause,     Stop,        Prior,
                            Next,          Mute,          volumeSlider,  BitBtn1};
  for (size_t i = 0; i + 1 < std::size(order); ++i)
    setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
}

// Where the window's handlers are connected. A handler that lands is connected here, and the menu item it
// serves is enabled here (the menu bar is built with every unfinished item disabled).
void TForm1::connect_handlers() {
  connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
  connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
  Exit1->setEnabled(true);
}

void TForm1::BitBtn1Click() {
  close();
}

void TForm1::Exit1Click() {
  BitBtn1->click();
}

}  // namespace vemla
