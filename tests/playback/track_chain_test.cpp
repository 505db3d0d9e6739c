// The chain of tracks a run goes on into: what the decode thread is handed at the end of each stream, what it
// notes it took, and the owner's answer read whole from another thread.
#include "track_chain.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vemla {
namespace {

TEST(TrackChain, HandsOutOnlyWhatFollowsTheStreamThatEnded) {
  TrackChain chain;
  int told = 0;
  chain.on_followed = [&] { ++told; };
  EXPECT_EQ(chain.following_file(), "") << "nothing follows at first";

  chain.set_following({2, "/music/b.mp3", 0});
  EXPECT_EQ(chain.following_file(), "/music/b.mp3");
  EXPECT_EQ(chain.following_scale(32768.0f), 32768.0f) << "no gain of its own: the run's";
  chain.followed();
  EXPECT_EQ(told, 1);
  EXPECT_EQ(chain.streams_taken(), 1u);
  EXPECT_EQ(chain.stream_track(1), (FollowingTrack{2, "/music/b.mp3", 0}));
  EXPECT_EQ(chain.stream_track(2), FollowingTrack{});

  // Stream 1 ends before the owner worked out what follows it: the answer for stream 0 is stale.
  EXPECT_EQ(chain.following_file(), "");
  chain.set_following({3, "/music/c.mp3", 1});
  EXPECT_EQ(chain.following_file(), "/music/c.mp3");
  // A file handed out but not taken (another format) is not noted.
  chain.set_following({4, "/music/d.mp3", 1, 8192.0f});
  EXPECT_EQ(chain.following_file(), "/music/d.mp3");
  EXPECT_EQ(chain.following_scale(32768.0f), 8192.0f);
  chain.followed();
  EXPECT_EQ(chain.stream_track(2).record, 4);

  // A track to get a run of its own has no file; record 0 is nothing.
  chain.set_following({5, "", 2});
  EXPECT_EQ(chain.following_file(), "");
  chain.set_following({0, "/music/x.mp3", 2});
  EXPECT_EQ(chain.following_file(), "");

  chain.new_run();
  EXPECT_EQ(chain.streams_taken(), 0u);
  EXPECT_EQ(chain.following(), FollowingTrack{});
  EXPECT_EQ(told, 2);
}

TEST(TrackChain, TheFollowingTrackIsReadWholeFromAnotherThread) {
  TrackChain chain;
  const FollowingTrack a{2, std::string(300, 'a'), 0}, b{3, "/music/b.mp3", 0};
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, reads{0};
  std::thread reader([&] {
    while (!done) {
      const FollowingTrack seen = chain.following();
      const std::string file = chain.following_file();
      if (!(seen == a || seen == b || seen == FollowingTrack{})) ++torn;
      if (!(file == a.file || file == b.file || file.empty())) ++torn;
      ++reads;
    }
  });
  for (int i = 0; i < 2000 || reads < 100; ++i) chain.set_following(i % 2 ? a : b);
  done = true;
  reader.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace vemla
