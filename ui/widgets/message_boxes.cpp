#include "message_boxes.h"

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>

namespace vemla {

namespace {

const char* const kKeyProperty = "vemla_message";
const char* const kCountProperty = "vemla_repeats";

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

// The boxes shown and not yet closed.
QList<QPointer<QMessageBox>>& shown_boxes() {
  static QList<QPointer<QMessageBox>> boxes;
  return boxes;
}

QString key_of(const QString& caption, const QString& text, MessageIcon icon) {
  return QString::number(static_cast<int>(icon)) + QLatin1Char('\n') + caption + QLatin1Char('\n') + text;
}

QMessageBox* shown_box(const QString& key) {
  QList<QPointer<QMessageBox>>& boxes = shown_boxes();
  boxes.removeAll(nullptr);
  for (const QPointer<QMessageBox>& box : boxes) {
    if (box->isVisible() && box->property(kKeyProperty).toString() == key) return box.data();
  }
  return nullptr;
}

QMessageBox* make_box(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon) {
  auto* box = new QMessageBox(box_icon(icon), caption, with_long_words_elided(text), QMessageBox::Ok, parent);
  box->setWindowModality(Qt::ApplicationModal);
  return box;
}

}  // namespace

void show_message(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon) {
  const QString key = key_of(caption, text, icon);
  if (QMessageBox* box = shown_box(key)) {
    const int repeats = box->property(kCountProperty).toInt() + 1;
    box->setProperty(kCountProperty, repeats);
    box->setInformativeText(QStringLiteral("(and %1 more)").arg(repeats));
    return;
  }
  QMessageBox* box = make_box(parent, caption, text, icon);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setProperty(kKeyProperty, key);
  box->setProperty(kCountProperty, 0);
  shown_boxes().append(box);
  box->show();
}

void show_message_and_wait(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon) {
  QMessageBox* box = make_box(parent, caption, text, icon);
  QPointer<QMessageBox> guard(box);
  box->exec();
  delete guard.data();
}

bool is_message_box(const QWidget* widget) {
  return widget && widget->property(kKeyProperty).isValid();
}

QString with_long_words_elided(const QString& text, int longest) {
  if (longest < 3) longest = 3;
  QString result;
  result.reserve(text.size());
  static const QRegularExpression word(QStringLiteral("\\S+"));
  qsizetype done = 0;
  for (QRegularExpressionMatchIterator it = word.globalMatch(text); it.hasNext();) {
    const QRegularExpressionMatch match = it.next();
    result += QStringView(text).mid(done, match.capturedStart() - done);
    const QStringView run = match.capturedView();
    if (run.size() > longest) {
      qsizetype head = (longest - 1) / 2;
      qsizetype tail = longest - 1 - head;
      // Not between the two halves of a character outside the basic plane.
      if (run[head - 1].isHighSurrogate()) --head;
      if (run[run.size() - tail].isLowSurrogate()) --tail;
      result += run.left(head);
      result += QChar(0x2026);
      result += run.right(tail);
    } else {
      result += run;
    }
    done = match.capturedEnd();
  }
  result += QStringView(text).mid(done);
  return result;
}

}  // namespace vemla
