// The media controls as an MPRIS 2 player on a bus of the test's own: the two interfaces' properties, the
// commands, and the signals that tell a sound menu what changed.
#include "mpris_service.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QSlider>
#include <QToolButton>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "data.h"
#include "data_controls.h"
#include "desktop_library.h"
#include "null_device.h"
#include "private_bus.h"
#include "program.h"
#include "temporary_track.h"
#include "track_ops.h"

namespace vemla {
namespace {

// What the client hears of the player.
class Listener : public QObject {
  Q_OBJECT
 public:
  QList<QVariantMap> changes;
  QList<qlonglong> seeks;
 public slots:
  void properties_changed(const QString& interface, const QVariantMap& changed, const QStringList&) {
    if (interface == QLatin1String(kMprisPlayerInterface)) changes.append(changed);
  }
  void seeked(qlonglong position) { seeks.append(position); }
};

class MprisServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (bus.address().empty()) GTEST_SKIP() << "dbus-daemon is needed for a bus of the test's own";
    program.data_module.Table2.open();
    const QString address = QString::fromStdString(bus.address());
    server = QDBusConnection::connectToBus(address, QStringLiteral("mpris-server"));
    client = QDBusConnection::connectToBus(address, QStringLiteral("mpris-client"));
    ASSERT_TRUE(server.isConnected() && client.isConnected());
    service = std::make_unique<MprisService>(controls, server);
    ASSERT_TRUE(service->register_object());
    const QString path = QString::fromLatin1(kMprisPath);
    client.connect(server.baseService(), path, QStringLiteral("org.freedesktop.DBus.Properties"),
                   QStringLiteral("PropertiesChanged"), &listener,
                   SLOT(properties_changed(QString, QVariantMap, QStringList)));
    client.connect(server.baseService(), path, QString::fromLatin1(kMprisPlayerInterface), QStringLiteral("Seeked"),
                   &listener, SLOT(seeked(qlonglong)));
  }
  void TearDown() override {
    service.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("mpris-server"));
    QDBusConnection::disconnectFromBus(QStringLiteral("mpris-client"));
  }

  // A call from the client, served by the program on this same thread while the client waits.
  QDBusMessage call(const QString& interface, const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(server.baseService(), QString::fromLatin1(kMprisPath), interface, method);
    message.setArguments(arguments);
    return client.call(message, QDBus::BlockWithGui, 20000);
  }
  QVariant property(const char* interface, const char* name) {
    const QDBusMessage reply = call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                    {QString::fromLatin1(interface), QString::fromLatin1(name)});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().front().value<QDBusVariant>().variant();
  }
  QVariant player(const char* name) { return property(kMprisPlayerInterface, name); }
  QDBusMessage set_player(const char* name, const QVariant& value) {
    return call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                {QString::fromLatin1(kMprisPlayerInterface), QString::fromLatin1(name),
                 QVariant::fromValue(QDBusVariant(value))});
  }
  // The library of three tracks, open as the window opens one; false when lame is missing.
  bool open_library() {
    if (test::make_tagged_library(program.data_module, folder.path(), test::three_tracks(), 1.0).empty()) return false;
    program.playlist.ResetClick();
    return true;
  }
  QVariantMap metadata() { return qdbus_cast<QVariantMap>(player("Metadata")); }

  test::PrivateBus bus;
  test::TempDir folder;
  Program program{std::make_unique<NullDevice>(500)};
  MediaControls controls{program.form1, program.data_module, program.player_control, [] {}};
  QDBusConnection server{QString()};
  QDBusConnection client{QString()};
  std::unique_ptr<MprisService> service;
  Listener listener;
};

TEST_F(MprisServiceTest, RootInterfaceNamesThePlayer) {
  EXPECT_EQ(property(kMprisRootInterface, "Identity").toString(), QStringLiteral("Vemla"));
  EXPECT_EQ(property(kMprisRootInterface, "DesktopEntry").toString(), QStringLiteral("vemla"));
  EXPECT_TRUE(property(kMprisRootInterface, "CanQuit").toBool());
  EXPECT_TRUE(property(kMprisRootInterface, "CanRaise").toBool());
  EXPECT_FALSE(property(kMprisRootInterface, "HasTrackList").toBool());
  EXPECT_TRUE(property(kMprisRootInterface, "SupportedUriSchemes").toStringList().isEmpty());
}

TEST_F(MprisServiceTest, StoppedPlayerWithoutALibrary) {
  EXPECT_EQ(player("PlaybackStatus").toString(), QStringLiteral("Stopped"));
  EXPECT_TRUE(metadata().isEmpty());
  EXPECT_EQ(player("Position").toLongLong(), 0);
  EXPECT_EQ(player("Rate").toDouble(), 1.0);
  EXPECT_TRUE(player("CanControl").toBool());
  for (const char* name : {"CanPlay", "CanPause", "CanGoNext", "CanGoPrevious", "CanSeek"})
    EXPECT_FALSE(player(name).toBool()) << name;
  // Commands without a library are answered and change nothing.
  for (const char* method : {"Play", "Pause", "PlayPause", "Stop", "Next", "Previous"})
    EXPECT_EQ(call(QString::fromLatin1(kMprisPlayerInterface), QString::fromLatin1(method)).type(),
              QDBusMessage::ReplyMessage)
        << method;
  EXPECT_EQ(player("PlaybackStatus").toString(), QStringLiteral("Stopped"));
}

TEST_F(MprisServiceTest, OpenedLibraryIsAnnounced) {
  if (!open_library()) GTEST_SKIP() << "lame is needed to make the tracks";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !listener.changes.isEmpty(); }, 20000));
  const QVariantMap told = listener.changes.back();
  EXPECT_TRUE(told.contains(QStringLiteral("Metadata")));
  EXPECT_TRUE(told.value(QStringLiteral("CanPlay")).toBool());
  EXPECT_TRUE(told.value(QStringLiteral("CanGoNext")).toBool());
  EXPECT_FALSE(told.contains(QStringLiteral("PlaybackStatus")));  // unchanged: not told

  const QVariantMap track = metadata();
  EXPECT_EQ(track.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("First"));
  EXPECT_EQ(track.value(QStringLiteral("xesam:artist")).toStringList(), QStringList{QStringLiteral("Artist 1")});
  EXPECT_EQ(track.value(QStringLiteral("xesam:album")).toString(), QStringLiteral("Album 1"));
  EXPECT_GT(track.value(QStringLiteral("mpris:length")).toLongLong(), 900000);
  const QString id = qvariant_cast<QDBusObjectPath>(track.value(QStringLiteral("mpris:trackid"))).path();
  EXPECT_TRUE(id.startsWith(QStringLiteral("/vemla/library_"))) << id.toStdString();
}

TEST_F(MprisServiceTest, AnotherTrackIsAnnounced) {
  if (!open_library()) GTEST_SKIP() << "lame is needed to make the tracks";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !listener.changes.isEmpty(); }, 20000));
  listener.changes.clear();
  program.transport.next();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !listener.changes.isEmpty(); }, 20000));
  const QVariantMap told = listener.changes.back();
  const QVariantMap track = qdbus_cast<QVariantMap>(told.value(QStringLiteral("Metadata")));
  EXPECT_EQ(track.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Second"));
  EXPECT_TRUE(told.value(QStringLiteral("CanGoPrevious")).toBool());
}

// playerctl shuffle and loop: the properties run Shuffle, Reset, Repeat Track and Nonstop Play, and tell
// what changed, also when the window changed it.
TEST_F(MprisServiceTest, ShuffleAndLoopStatusAreWritable) {
  if (!open_library()) GTEST_SKIP() << "lame is needed to make the tracks";
  EXPECT_FALSE(player("Shuffle").toBool());
  EXPECT_EQ(player("LoopStatus").toString(), QStringLiteral("None"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !listener.changes.isEmpty(); }, 20000));
  listener.changes.clear();
  const auto told = [&](const char* name, const QVariant& value) {
    return QTest::qWaitFor(
        [&] {
          for (const QVariantMap& change : listener.changes)
            if (change.value(QString::fromLatin1(name)) == value) return true;
          return false;
        },
        20000);
  };

  program.playlist.set_draw([](uint32_t count) { return count - 1; });  // 1 2 3 -> 3 1 2
  EXPECT_EQ(set_player("Shuffle", true).type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(program.playlist.playlist().entries(), (std::vector<int32_t>{3, 1, 2}));
  EXPECT_EQ(program.data_module.Table1.record_number(), 3) << "the entry at the cursor is current";
  EXPECT_TRUE(player("Shuffle").toBool());
  EXPECT_TRUE(told("Shuffle", true));
  set_player("Shuffle", false);
  EXPECT_EQ(program.playlist.playlist().entries(), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_TRUE(told("Shuffle", false));

  set_player("LoopStatus", QStringLiteral("Track"));
  EXPECT_TRUE(program.form1.CheckBox2->isChecked()) << "Repeat Track";
  EXPECT_TRUE(told("LoopStatus", QStringLiteral("Track")));
  set_player("LoopStatus", QStringLiteral("Playlist"));
  EXPECT_FALSE(program.form1.CheckBox2->isChecked());
  EXPECT_TRUE(program.form1.DBCheckBox3->isChecked()) << "Nonstop Play";
  EXPECT_EQ(player("LoopStatus").toString(), QStringLiteral("Playlist"));
  set_player("LoopStatus", QStringLiteral("Sometimes"));  // no such status: nothing changes
  EXPECT_EQ(player("LoopStatus").toString(), QStringLiteral("Playlist"));
  listener.changes.clear();
  program.form1.DBCheckBox3->click();  // the window's own box
  EXPECT_TRUE(told("LoopStatus", QStringLiteral("None")));
}

// Volume is the slider's position, told when the slider moves or mutes; a Set moves the slider (and unmutes), and
// the player plays at the curve's factor of it.
TEST_F(MprisServiceTest, VolumeFollowsTheSliderBothWays) {
  TForm1& form = program.form1;
  form.volumeSlider->setValue(100);
  form.Mute->setChecked(false);
  EXPECT_DOUBLE_EQ(player("Volume").toDouble(), 1.0);
  listener.changes.clear();
  const auto told = [&](double value) {
    return QTest::qWaitFor(
        [&] {
          for (const QVariantMap& change : listener.changes)
            if (change.contains(QStringLiteral("Volume")) && change.value(QStringLiteral("Volume")).toDouble() == value)
              return true;
          return false;
        },
        20000);
  };

  form.volumeSlider->setValue(40);
  EXPECT_TRUE(told(0.4));
  form.Mute->click();
  EXPECT_TRUE(told(0.0));
  EXPECT_EQ(program.player.volume(), 0.0);
  form.Mute->click();
  EXPECT_TRUE(told(0.4));

  EXPECT_EQ(set_player("Volume", 0.75).type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(form.volumeSlider->value(), 75);
  EXPECT_DOUBLE_EQ(player("Volume").toDouble(), 0.75);
  EXPECT_FLOAT_EQ(program.player.volume(), volume_factor(0.75));
  EXPECT_TRUE(told(0.75));
  set_player("Volume", 1.7);  // out of range: the nearer end
  EXPECT_EQ(form.volumeSlider->value(), 100);
  set_player("Volume", -0.5);
  EXPECT_EQ(form.volumeSlider->value(), 0);
  EXPECT_EQ(program.player.volume(), 0.0);
  form.Mute->click();
  set_player("Volume", 0.5);  // a level asked for is meant to be heard
  EXPECT_FALSE(form.Mute->isChecked());
  EXPECT_DOUBLE_EQ(player("Volume").toDouble(), 0.5);
  form.volumeSlider->setValue(100);
}

TEST_F(MprisServiceTest, OpenUriIsRefused) {
  const QDBusMessage reply = call(QString::fromLatin1(kMprisPlayerInterface), QStringLiteral("OpenUri"),
                                  {QStringLiteral("file:///music/a.mp3")});
  EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.NotSupported"));
}

TEST_F(MprisServiceTest, JumpsAreSentAsSeeked) {
  emit program.transport.seeked(5000000);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !listener.seeks.isEmpty(); }, 20000));
  EXPECT_EQ(listener.seeks.front(), 5000000);
}

// A command whose work meets an error is answered first; the message waits for the user on its own, not
// inside the call (whose caller, a media key's daemon, would wait with it).
TEST_F(MprisServiceTest, CallThatMeetsAnErrorIsAnsweredFirst) {
  if (test::make_tagged_library(program.data_module, folder.path(), test::three_tracks(), 1.0).empty())
    GTEST_SKIP() << "lame is needed to make the tracks";
  FixJob store(program.data_module.Table1);
  ASSERT_TRUE(run_to_end(store)) << store.error();
  go_to_record(program.data_module.Table1, 1);
  // The place of the file a stored track plays from is taken by a folder: Play cannot write it.
  const std::filesystem::path place = temporary_track_path();
  ASSERT_FALSE(place.empty());
  std::filesystem::create_directories(place / "in the way");
  const auto boxes = [] {
    QList<QMessageBox*> shown;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) shown << box;
    }
    return shown;
  };
  QTimer user;  // closes the message after a while, as a user would
  QObject::connect(&user, &QTimer::timeout, [&] {
    for (QMessageBox* box : boxes()) box->accept();
  });
  user.start(3000);
  const QDBusMessage reply = call(QString::fromLatin1(kMprisPlayerInterface), QStringLiteral("Play"));
  EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage);
  const QList<QMessageBox*> shown = boxes();
  EXPECT_EQ(shown.size(), 1) << "answered before the message was shown, or only after it was closed";
  for (QMessageBox* box : shown) {
    EXPECT_TRUE(box->text().contains(QString::fromStdString(place.string()))) << box->text().toStdString();
    box->accept();
  }
  std::filesystem::remove_all(place);
}

}  // namespace
}  // namespace vemla

#include "mpris_service_test.moc"
