// Waiting in tests without timing anything: conditions are polled up to a generous limit, and a call that
// must return is run on its own thread so that a hang fails the test instead of stalling the suite.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>

namespace vemla::test {

template <typename F>
bool eventually(F condition) {
  for (int i = 0; i < 6000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

// Runs f and fails when it has not returned after a generous limit. The program then ends at once, because
// f would go on using data that the test is about to destroy.
template <typename F>
void returns(F f, const char* what) {
  auto finished = std::make_shared<std::promise<void>>();
  std::future<void> result = finished->get_future();
  std::thread([f, finished]() mutable {
    f();
    finished->set_value();
  }).detach();
  if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << what << " did not return";
    std::fflush(stdout);
    std::_Exit(1);
  }
}

}  // namespace vemla::test
