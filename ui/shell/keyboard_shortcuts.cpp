#include "keyboard_shortcuts.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include "main_window.h"

namespace vemla {

namespace {

bool is_text_field(const QObject* widget) {
  return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget) ||
         qobject_cast<const QTextEdit*>(widget);
}

// Whether the text field has typing of its own to take back: then Ctrl+Z is its.
bool has_own_undo(const QObject* widget) {
  if (const auto* line = qobject_cast<const QLineEdit*>(widget)) return line->isUndoAvailable();
  if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget))
    return plain->document()->isUndoAvailable();
  if (const auto* rich = qobject_cast<const QTextEdit*>(widget)) return rich->document()->isUndoAvailable();
  return false;
}

}  // namespace

std::vector<MenuShortcut> menu_shortcuts(TForm1& form) {
  // The desktop's common keys where an item has a common meaning (fixed, as some platforms' themes name none);
  // Add and Export as in Import and Export.
  return {{form.Open1, QKeySequence(Qt::CTRL | Qt::Key_O)},
          {form.New1, QKeySequence(Qt::CTRL | Qt::Key_N)},
          {form.Exit1, QKeySequence(Qt::CTRL | Qt::Key_Q)},
          {form.Import1, QKeySequence(Qt::CTRL | Qt::Key_I)},
          {form.Export1, QKeySequence(Qt::CTRL | Qt::Key_E)},
          {form.UndoDelete1, QKeySequence(Qt::CTRL | Qt::Key_Z)},
          {form.Info1, QKeySequence(Qt::ALT | Qt::Key_Return)},
          {form.Options1, QKeySequence(Qt::CTRL | Qt::Key_Comma)},
          {form.Memo1, QKeySequence(Qt::CTRL | Qt::Key_M)}};
}

const std::vector<TransportShortcut>& transport_shortcuts() {
  using T = TransportCommands;
  static const std::vector<TransportShortcut> keys{
      {QKeySequence(Qt::Key_MediaPlay), &T::play},
      {QKeySequence(Qt::Key_MediaPause), &T::pause},
      {QKeySequence(Qt::Key_MediaTogglePlayPause), &T::play_pause},
      {QKeySequence(Qt::Key_MediaStop), &T::stop},
      {QKeySequence(Qt::CTRL | Qt::Key_Period), &T::stop},
      {QKeySequence(Qt::Key_MediaNext), &T::next},
      {QKeySequence(Qt::CTRL | Qt::Key_Right), &T::next},
      {QKeySequence(Qt::Key_MediaPrevious), &T::prior},
      {QKeySequence(Qt::CTRL | Qt::Key_Left), &T::prior},
      {QKeySequence(Qt::CTRL | Qt::Key_Up), &T::volume_up},
      {QKeySequence(Qt::CTRL | Qt::Key_Down), &T::volume_down}};
  return keys;
}

KeyboardShortcuts::KeyboardShortcuts(TForm1& form, std::function<void()> play_pause, QObject* parent)
    : QObject(parent), form_(form), play_pause_(std::move(play_pause)) {
  for (const MenuShortcut& item : menu_shortcuts(form_)) item.action->setShortcut(item.key);
  for (QToolButton* button : {form_.Play, form_.Pause, form_.Stop, form_.Prior, form_.Next, form_.Mute})
    button->setFocusPolicy(Qt::TabFocus);
  // Through the application, which sees a key before the text field it is meant for does.
  qApp->installEventFilter(this);
}

KeyboardShortcuts::~KeyboardShortcuts() {
  qApp->removeEventFilter(this);
}

void KeyboardShortcuts::bind_transport(TransportCommands commands) {
  transport_ = std::move(commands);
  for (const TransportShortcut& key : transport_shortcuts()) {
    auto* shortcut = new QShortcut(key.key, &form_);
    connect(shortcut, &QShortcut::activated, this, [this, command = key.command] {
      if (transport_.*command) (transport_.*command)();
    });
  }
}

void KeyboardShortcuts::focus_no_text_field() {
  QWidget* focused = form_.focusWidget();
  if (focused && !is_text_field(focused)) return;
  // The window itself (its central part) holds the focus: space reaches it unused, and Tab goes on from
  // there. With no focus at all the window would give it to its first text field once it became active.
  if (QWidget* centre = form_.centralWidget()) centre->setFocus(Qt::OtherFocusReason);
}

bool KeyboardShortcuts::menu_key_in_text_field(QObject* watched, QEvent* event) const {
  if (event->type() != QEvent::ShortcutOverride || !is_text_field(watched)) return false;
  if (!form_.isAncestorOf(static_cast<QWidget*>(watched))) return false;
  const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
  for (const MenuShortcut& item : menu_shortcuts(form_)) {
    if (item.key != pressed) continue;
    return !(item.action == form_.UndoDelete1 && has_own_undo(watched));
  }
  return false;
}

// A key reaches the window itself only when the focused control left it unused: controls that take space
// accept it on the way.
bool KeyboardShortcuts::eventFilter(QObject* watched, QEvent* event) {
  // A text field would keep Ctrl+E (the end of its line) and the like for itself: the menus' keys are the
  // window's. Left unaccepted, the key goes on to its menu item.
  if (menu_key_in_text_field(watched, event)) return true;
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::FocusOut) {
    // A button of the Play, Pause and Stop group that takes the focus takes Tab from the other two; Tab is to
    // reach each of them.
    auto* button = qobject_cast<QToolButton*>(watched);
    if (button && button->group() && form_.isAncestorOf(button)) {
      for (QAbstractButton* member : button->group()->buttons()) member->setFocusPolicy(Qt::TabFocus);
    }
  }
  if (watched == &form_ && event->type() == QEvent::Show && !shown_) {
    shown_ = true;
    // The window would start with the title's field focused, where a space meant to play would be typed into
    // the track's title. Once shown (the toolkit chooses its focus then), it starts with the window focused.
    focus_no_text_field();
    QTimer::singleShot(0, this, [this] { focus_no_text_field(); });
  }
  if (watched == &form_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Space && modifiers == Qt::NoModifier) {
      if (!key->isAutoRepeat() && play_pause_) play_pause_();
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace vemla
