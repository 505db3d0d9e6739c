// The application's hint switch: while it is off, no control shows its tool tip or its status-bar text. One
// event filter on the application object holds them all back at once, whatever window they are in.
#pragma once

#include <QObject>

namespace vemla {

class HintSwitch : public QObject {
  Q_OBJECT
 public:
  // Installs itself on the application object (which must exist) for its lifetime; on at start.
  explicit HintSwitch(QObject* parent = nullptr);
  ~HintSwitch() override;

  bool on() const { return on_; }
  // Switching off also hides a tool tip on show.
  void set_on(bool on);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool on_ = true;
};

}  // namespace vemla
