// The "MPEG Info" dialog: the technical facts of the current track, and the file it came from (which can be
// edited).
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace vemla {

class DBLineEdit;
class Tdb;

class TForm4 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm4(Tdb& db, QWidget* parent = nullptr);
  ~TForm4() override;

  // The values, each beside its caption.
  QLabel* DBText1;            // "Code Version:" VERSION
  QLabel* DBText2;            // "Layer:" LAYER
  QLabel* DBText3;            // "Bitrate:" BITRATE
  QLabel* DBText4;            // "Samplerate:" SAMPLERATE
  QLabel* DBText5;            // "Mode:" MODE
  QLabel* DBText6;            // "Checksums:" CHECKSUMS
  QLabel* DBText7;            // "FrameTotal:" FRAMETOTAL
  QLabel* Label11;            // "Copyright:" Yes or No
  QLabel* Label12;            // "Original:" Yes or No
  DBLineEdit* RzDBLineEdit1;  // PAD, under "Original file and path:"
  QPushButton* BitBtn1;       // OK

 public slots:
  // Shows the current track's facts (each time the dialog is shown).
  void FormActivate();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  Tdb& db_;
};

}  // namespace vemla
