// Messages for the user as message boxes over the main window (message_boxes.h), and the main window's title
// label as the place where the player says why a file cannot be played.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>

#include "notifier.h"
#include "player.h"

namespace vemla {

class MessageBoxNotifier final : public Notifier {
 public:
  explicit MessageBoxNotifier(QWidget* parent) : parent_(parent) {}
  // The user-interface thread only (the player delivers messages of its decode thread there).
  void notify(std::string_view caption, std::string_view text, MessageIcon icon) override;

 private:
  QPointer<QWidget> parent_;
};

class LabelTitle final : public TitleLabel {
 public:
  explicit LabelTitle(QLabel& label) : label_(&label), caption_(label.text()) {}
  void set_title_caption(std::string_view caption) override;
  void restore_title_caption() override;

 private:
  QPointer<QLabel> label_;
  QString caption_;  // the label's own
};

}  // namespace vemla
