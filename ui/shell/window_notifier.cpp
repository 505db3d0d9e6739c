#include "window_notifier.h"

#include <QLabel>

#include "message_boxes.h"

namespace vemla {
namespace {

QString text_of(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void MessageBoxNotifier::notify(std::string_view caption, std::string_view text, MessageIcon icon) {
  show_message(parent_.data(), text_of(caption), text_of(text), icon);
}

void LabelTitle::set_title_caption(std::string_view caption) {
  if (label_) label_->setText(text_of(caption));
}

void LabelTitle::restore_title_caption() {
  if (label_) label_->setText(caption_);
}

}  // namespace vemla
