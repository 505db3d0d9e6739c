// The volume of the main window: the slider's position (0 ... 100, a place on the cubic volume curve of
// gain_stage.h) and the speaker button that mutes, applied to the player at once (a playing track from its
// next block on), kept with QSettings ("Volume", "Muted") beside the window's geometry. The keys, the wheel and
// the media controls move the same slider. User-interface thread only.
#pragma once

#include <QObject>

namespace vemla {

class Player;
class TForm1;

class VolumeControl : public QObject {
  Q_OBJECT
 public:
  // Shows the kept volume and applies it. Both must outlive the object.
  VolumeControl(TForm1& form, Player& player, QObject* parent = nullptr);

  // Steps of the slider up (positive) or down (the keys).
  void step(int steps);

 private:
  void apply();

  TForm1& form_;
  Player& player_;
};

}  // namespace vemla
