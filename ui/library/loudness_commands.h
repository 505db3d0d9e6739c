// "Track > Analyse Loudness": the loudness scan of the current track's album or of every track, run as
// library work with its progress and Cancel in the status bar; the results are kept as the tracks' gains.
#pragma once

#include <QObject>

namespace vemla {

class GainJob;
class LibraryWork;
class TForm1;
class Tdb;
enum class GainScope;

class LoudnessCommands : public QObject {
  Q_OBJECT
 public:
  // Connects the submenu's items of `form`; every reference must outlive the object.
  LoudnessCommands(TForm1& form, Tdb& db, LibraryWork& work, QObject* parent = nullptr);

 public slots:
  // The current track with the other tracks of its album, whose album gain it shares.
  void LoudnessTrack1Click();
  // Every track of the library.
  void LoudnessAll1Click();

 private:
  void analyse(GainScope scope);
  void analysed(const GainJob& job);
  void update_items();

  TForm1& form_;
  Tdb& db_;
  LibraryWork& work_;
};

}  // namespace vemla
