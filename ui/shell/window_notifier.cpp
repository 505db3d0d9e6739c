#include "window_notifier.h"

#include <QLabel>
#include <QMessageBox>

namespace vemla {
namespace {

QString text_of(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::Icon box_icon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error:
      return QMessageBox::Critical;
    case MessageIcon::Warning:
      return QMessageBox::Warning;
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void MessageBoxNotifier::notify(std::string_view caption, std::string_view text, MessageIcon icon) {
  QMessageBox box(box_icon(icon), text_of(caption), text_of(text), QMessageBox::Ok, parent_.data());
  box.exec();
}

void LabelTitle::set_title_caption(std::string_view caption) {
  if (label_) label_->setText(text_of(caption));
}

void LabelTitle::restore_title_caption() {
  if (label_) label_->setText(caption_);
}

}  // namespace vemla
