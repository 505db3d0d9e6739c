#include "keyboard_shortcuts.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>

#include "main_window.h"

namespace vemla {

std::vector<MenuShortcut> menu_shortcuts(TForm1& form) {
  // The desktop's common keys where an item has a common meaning (fixed, as some platforms' themes name none);
  // Add and Export as in Import and Export.
  return {{form.Open1, QKeySequence(Qt::CTRL | Qt::Key_O)},
          {form.New1, QKeySequence(Qt::CTRL | Qt::Key_N)},
          {form.Exit1, QKeySequence(Qt::CTRL | Qt::Key_Q)},
          {form.Import1, QKeySequence(Qt::CTRL | Qt::Key_I)},
          {form.Export1, QKeySequence(Qt::CTRL | Qt::Key_E)},
          {form.Info1, QKeySequence(Qt::ALT | Qt::Key_Return)},
          {form.Options1, QKeySequence(Qt::CTRL | Qt::Key_Comma)},
          {form.Memo1, QKeySequence(Qt::CTRL | Qt::Key_M)}};
}

KeyboardShortcuts::KeyboardShortcuts(TForm1& form, std::function<void()> play_pause, QObject* parent)
    : QObject(parent), form_(form), play_pause_(std::move(play_pause)) {
  for (const MenuShortcut& item : menu_shortcuts(form_)) item.action->setShortcut(item.key);
  for (QToolButton* button : {form_.Play, form_.Pause, form_.Stop, form_.Prior, form_.Next})
    button->setFocusPolicy(Qt::TabFocus);
  form_.installEventFilter(this);
}

KeyboardShortcuts::~KeyboardShortcuts() {
  form_.removeEventFilter(this);
}

// A key reaches the window itself only when the focused control left it unused: controls that take space
// accept it on the way.
bool KeyboardShortcuts::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &form_ && event->type() == QEvent::Show && !shown_) {
    shown_ = true;
    // The window would start with the title's field focused, where a space meant to play would be typed into
    // the track's title: it starts with no control focused instead, and Tab reaches the first one.
    QTimer::singleShot(0, this, [this] {
      QWidget* focused = form_.focusWidget();
      if (focused && (qobject_cast<QLineEdit*>(focused) || qobject_cast<QPlainTextEdit*>(focused)))
        focused->clearFocus();
    });
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
