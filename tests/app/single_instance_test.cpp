// One Vemla per user: the first start claims the bus name, a later one hands its library over and is told to
// end, and a name held by something else leaves a start on its own.
#include "single_instance.h"

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QTest>

#include "private_bus.h"

namespace vemla {
namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (bus.address().empty()) GTEST_SKIP() << "dbus-daemon is needed for a bus of the test's own";
    first = connect(QStringLiteral("first"));
    later = connect(QStringLiteral("later"));
  }
  void TearDown() override {
    running.reset();
    for (const char* name : {"first", "later"}) QDBusConnection::disconnectFromBus(QString::fromLatin1(name));
  }
  QDBusConnection connect(const QString& name) {
    return QDBusConnection::connectToBus(QString::fromStdString(bus.address()), name);
  }
  // The running Vemla: its object on the first connection, which then claims the name.
  ClaimResult start_first() {
    running = std::make_unique<InstanceService>([this](const QString& library) { activations << library; }, first);
    EXPECT_TRUE(running->register_object());
    QString problem;
    return claim_or_hand_over(first, QString(), problem);
  }

  test::PrivateBus bus;
  QDBusConnection first{QString()};
  QDBusConnection later{QString()};
  std::unique_ptr<InstanceService> running;
  QStringList activations;
};

TEST_F(SingleInstanceTest, LaterStartHandsItsLibraryOver) {
  ASSERT_EQ(start_first(), ClaimResult::Owned);
  EXPECT_EQ(first.interface()->serviceOwner(QString::fromLatin1(kBusName)).value(), first.baseService());
  QString problem;
  EXPECT_EQ(claim_or_hand_over(later, QStringLiteral("/music/Set.mb"), problem), ClaimResult::HandedOver);
  EXPECT_TRUE(problem.isEmpty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !activations.isEmpty(); }, 20000));
  EXPECT_EQ(activations, QStringList{QStringLiteral("/music/Set.mb")});
  // The name stays with the first.
  EXPECT_EQ(first.interface()->serviceOwner(QString::fromLatin1(kBusName)).value(), first.baseService());
}

TEST_F(SingleInstanceTest, StartWithoutALibraryOnlyRaises) {
  ASSERT_EQ(start_first(), ClaimResult::Owned);
  QString problem;
  ASSERT_TRUE(hand_over(later, QString(), problem));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !activations.isEmpty(); }, 20000));
  EXPECT_EQ(activations, QStringList{QString()});
}

TEST_F(SingleInstanceTest, NameHeldByAStrangerLeavesTheStartAlone) {
  // Holds the name but answers nothing.
  ASSERT_TRUE(first.registerService(QString::fromLatin1(kBusName)));
  QString problem;
  EXPECT_EQ(claim_or_hand_over(later, QStringLiteral("/music/Set.mb"), problem), ClaimResult::Alone);
  EXPECT_FALSE(problem.isEmpty());
}

TEST_F(SingleInstanceTest, WithoutABusEachStartRunsAlone) {
  QDBusConnection none(QStringLiteral("no such connection"));
  QString problem;
  EXPECT_EQ(claim_or_hand_over(none, QStringLiteral("/music/Set.mb"), problem), ClaimResult::Alone);
  EXPECT_TRUE(problem.isEmpty());
  InstanceService service([](const QString&) {}, none);
  EXPECT_FALSE(service.register_object());
}

}  // namespace
}  // namespace vemla
