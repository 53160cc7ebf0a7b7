#include "link/HandOver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "link/LinkTestSupport.h"

using namespace panora;

using panora::test::LoopHandOver;

TEST(HandOver, SendRunsOnTheUiThreadAndWaitsPostDoesNot) {
  LoopHandOver h;
  std::thread::id ranOn;
  int value = 0;
  std::thread worker([&] {
    EXPECT_TRUE(h.Send([&] {
      ranOn = std::this_thread::get_id();
      value = 42;
    }));
    EXPECT_EQ(value, 42);  // visible at once: Send waited for the call
  });
  worker.join();
  EXPECT_EQ(ranOn, h.LoopId());

  std::atomic<int> posted{0};
  std::promise<void> seen;
  h.Post([&] { posted = 1; });
  h.RunOnLoop([&] { seen.set_value(); });
  seen.get_future().wait();
  EXPECT_EQ(posted.load(), 1);
}

TEST(HandOver, OwnerJoiningItsWorkerOnTheUiThreadDoesNotDeadlock) {
  LoopHandOver h;
  std::atomic<bool> stop{false};
  std::atomic<int> ranAfterStop{0};
  std::atomic<bool> sendReturned{false}, sendResult{true};
  std::thread worker;
  std::promise<void> joined;
  // The worker keeps handing blocks over, as a reader does.
  worker = std::thread([&] {
    while (!stop.load()) {
      const bool ok = h.Send(
          [&] {
            if (stop.load()) ++ranAfterStop;
          },
          &stop);
      if (!ok) {
        sendResult = false;
        break;
      }
    }
    sendReturned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  // On the UI thread: stop and join, as a closing port does, while the worker
  // may be waiting for this very thread.
  h.RunOnLoop([&] {
    stop = true;
    h.WakeWaiters();
    worker.join();
    joined.set_value();
  });
  ASSERT_EQ(joined.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_TRUE(sendReturned.load());
  // A call abandoned before it began is skipped afterwards.
  std::promise<void> drained;
  h.RunOnLoop([&] { drained.set_value(); });
  drained.get_future().wait();
  EXPECT_EQ(ranAfterStop.load(), 0);
}

TEST(HandOver, CloseReleasesWaitersAndDropsNewCalls) {
  LoopHandOver h;
  std::promise<void> blockLoop;
  auto release = blockLoop.get_future().share();
  h.RunOnLoop([release] { release.wait(); });  // the UI thread is busy
  std::atomic<int> results{0};
  std::vector<std::thread> workers;
  for (int i = 0; i < 3; ++i) {
    workers.emplace_back([&] {
      if (!h.Send([] {})) ++results;
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  h.Close();
  for (auto& w : workers) w.join();
  EXPECT_EQ(results.load(), 3);
  int ran = 0;
  h.Post([&] { ++ran; });
  EXPECT_FALSE(h.Send([&] { ++ran; }));
  blockLoop.set_value();
  std::promise<void> drained;
  h.RunOnLoop([&] { drained.set_value(); });
  drained.get_future().wait();
  EXPECT_EQ(ran, 0);
}
