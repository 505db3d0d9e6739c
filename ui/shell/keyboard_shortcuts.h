// The main window's keyboard: the usual shortcuts of the menus (Ctrl+O opens a library, Ctrl+Q leaves ...), shown
// beside their items, and space, which plays and pauses wherever the focused control has no use of its own for
// it (a text field types it, a check box or a button is pressed by it, a list ticks with it).
#pragma once

#include <QKeySequence>
#include <QObject>
#include <functional>
#include <vector>

class QAction;

namespace vemla {

class TForm1;

struct MenuShortcut {
  QAction* action;
  QKeySequence key;
};

// The menu items of `form` that get a shortcut, with their keys; the same list the help page shows.
std::vector<MenuShortcut> menu_shortcuts(TForm1& form);

class KeyboardShortcuts : public QObject {
  Q_OBJECT
 public:
  // Sets the menu shortcuts and watches `form` for space, which calls `play_pause`. The transport buttons stop
  // taking the focus from a mouse click, so that space still plays and pauses after one was clicked (the Tab key
  // still reaches them); the window starts with no text field focused. `form` must outlive the object.
  KeyboardShortcuts(TForm1& form, std::function<void()> play_pause, QObject* parent = nullptr);
  ~KeyboardShortcuts() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TForm1& form_;
  std::function<void()> play_pause_;
  bool shown_ = false;
};

}  // namespace vemla
