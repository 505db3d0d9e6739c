// The "Options" dialog: player priority, where the audio is kept, the output mix and the read-only flag.
#pragma once

#include <QDialog>

namespace vemla {

class Tdb;

class TForm2 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm2(Tdb& db, QWidget* parent = nullptr);
  ~TForm2() override;

  // The "Mix" item chosen: 0 Stereo, 1 Left, 2 Right, 3 Mono (not stored; Stereo at every start).
  int mix_index() const;
};

}  // namespace vemla
