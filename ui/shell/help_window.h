// The help window: the bundled manual in a browser with Back, Forward and Contents, and the help key (F1),
// which opens the page of the focused control's context from any window of the program.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>

class QTextBrowser;
class QToolButton;

namespace vemla {

class HelpWindow : public QDialog {
  Q_OBJECT
 public:
  explicit HelpWindow(QWidget* parent = nullptr);
  ~HelpWindow() override;

  // Shows the page of a help context and brings the window to the front. While a modal dialog is open the
  // window is shown over that dialog, so that it can be used.
  void show_context(int context);
  QUrl page() const;

  QTextBrowser* Browser;
  QToolButton* Back;
  QToolButton* Forward;
  QToolButton* Contents;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  QPointer<QWidget> home_;  // the owner outside modal dialogs
};

// The help key. Installs itself on the application object for its lifetime; F1 (or the keyboard's Help key)
// pressed in any window calls `open` with the help context of the control that has the focus.
class HelpKey : public QObject {
  Q_OBJECT
 public:
  explicit HelpKey(std::function<void(int context)> open, QObject* parent = nullptr);
  ~HelpKey() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void(int)> open_;
};

}  // namespace vemla
