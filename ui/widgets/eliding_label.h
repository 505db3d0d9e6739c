// A one-line label that shows the start of a text too long for it, elided at its end, and asks the layout for
// no more width than a few characters, so that a long text never widens the window.
#pragma once

#include <QFrame>
#include <QString>

namespace vemla {

class ElidingLabel : public QFrame {
  Q_OBJECT
 public:
  explicit ElidingLabel(QWidget* parent = nullptr);

  void setText(const QString& text);
  QString text() const { return text_; }
  // The text as drawn at the current width.
  QString shownText() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
};

}  // namespace vemla
