// The main window's keyboard: the usual shortcuts of the menus (Ctrl+O opens a library, Ctrl+Q leaves ...),
// shown beside their items, which work in its text fields too; keys for the player (Stop, Next, Prior: the
// desktop's media keys, Ctrl+., Ctrl+Right and Ctrl+Left; the volume:
// Ctrl+Up and Ctrl+Down); and space, which plays and pauses wherever the
// focused control has no use of its own for it (a text field types it, a check box or a button is pressed by
// it, a list ticks with it).
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

// What the player's keys do: the window's transport commands.
struct TransportCommands {
  std::function<void()> play;
  std::function<void()> pause;
  std::function<void()> play_pause;
  std::function<void()> stop;
  std::function<void()> next;
  std::function<void()> prior;
  std::function<void()> volume_up;
  std::function<void()> volume_down;
};

struct TransportShortcut {
  QKeySequence key;
  std::function<void()> TransportCommands::*command;
};

// The player's keys, the same list the help page shows.
const std::vector<TransportShortcut>& transport_shortcuts();

class KeyboardShortcuts : public QObject {
  Q_OBJECT
 public:
  // Sets the menu shortcuts and watches `form` for space, which calls `play_pause`. The transport buttons
  // stop taking the focus from a mouse click, so that space still plays and pauses after one was clicked (the
  // Tab key still reaches every one of them); the window starts with no text field focused. `form` must
  // outlive the object.
  KeyboardShortcuts(TForm1& form, std::function<void()> play_pause, QObject* parent = nullptr);
  ~KeyboardShortcuts() override;

  // Binds the player's keys to the commands (while the main window is active).
  void bind_transport(TransportCommands commands);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Puts the focus where space plays: on the window rather than in a text field.
  void focus_no_text_field();
  // Whether a text field of the window would take the key from a menu item.
  bool menu_key_in_text_field(QObject* watched, QEvent* event) const;

  TForm1& form_;
  std::function<void()> play_pause_;
  TransportCommands transport_;
  bool shown_ = false;
};

}  // namespace vemla
