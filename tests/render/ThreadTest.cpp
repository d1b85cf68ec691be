#include "render/Thread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// A thread whose body is given by the test; Execute runs it once.
class TTestThread : public TThread {
public:
  explicit TTestThread(std::function<void(TTestThread &)> body) : Body(std::move(body)) {}
  ~TTestThread() override { TerminateAndWait(); }

  using TThread::SleepFor;
  using TThread::Synchronize;
  using TThread::WaitWhileSuspended;

protected:
  void Execute() override { Body(*this); }

private:
  std::function<void(TTestThread &)> Body;
};

template <typename Predicate> bool WaitUntil(Predicate predicate, int timeoutMs = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!predicate()) {
    if (timer.elapsed() > timeoutMs)
      return false;
    QTest::qWait(2);
  }
  return true;
}

TEST(Thread, CreatedSuspendedAndStartedByResume) {
  std::atomic<bool> ran{false};
  TTestThread thread([&](TTestThread &) { ran = true; });
  EXPECT_TRUE(thread.IsSuspended());
  QTest::qWait(20);
  EXPECT_FALSE(ran);
  thread.Resume();
  ASSERT_TRUE(WaitUntil([&] { return thread.IsFinished(); }));
  EXPECT_TRUE(ran);
}

TEST(Thread, SynchronizeRunsTheStepOnTheGuiThreadAndWaitsForIt) {
  std::atomic<bool> stepOnGui{false};
  std::atomic<bool> stepDone{false};
  std::atomic<bool> doneSeenAfterReturn{false};
  TTestThread thread([&](TTestThread &self) {
    self.Synchronize([&] {
      stepOnGui = QThread::currentThread() == QCoreApplication::instance()->thread();
      QThread::msleep(30);
      stepDone = true;
    });
    doneSeenAfterReturn = stepDone.load();
  });
  thread.Resume();
  ASSERT_TRUE(WaitUntil([&] { return thread.IsFinished(); }));
  EXPECT_TRUE(stepOnGui);
  EXPECT_TRUE(doneSeenAfterReturn);
}

TEST(Thread, SynchronizeOnTheGuiThreadRunsAtOnce) {
  TTestThread thread([](TTestThread &) {});
  bool ran = false;
  thread.Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(Thread, AnExceptionOfTheStepReachesTheThread) {
  std::atomic<bool> caught{false};
  TTestThread thread([&](TTestThread &self) {
    try {
      self.Synchronize([] { throw std::runtime_error("step failed"); });
    } catch (const std::runtime_error &) {
      caught = true;
    }
  });
  thread.Resume();
  ASSERT_TRUE(WaitUntil([&] { return thread.IsFinished(); }));
  EXPECT_TRUE(caught);
}

TEST(Thread, AnExceptionOfExecuteEndsTheThread) {
  TTestThread thread([](TTestThread &) { throw std::runtime_error("body failed"); });
  thread.Resume();
  EXPECT_TRUE(WaitUntil([&] { return thread.IsFinished(); }));
}

TEST(Thread, SuspendHoldsTheLoopAndResumeLetsItGoOn) {
  std::atomic<int> passes{0};
  TTestThread thread([&](TTestThread &self) {
    while (!self.IsTerminated()) {
      ++passes;
      self.SleepFor(std::chrono::milliseconds(1));
    }
  });
  thread.Resume();
  ASSERT_TRUE(WaitUntil([&] { return passes > 3; }));
  thread.Suspend();
  QTest::qWait(20); // the pass under way ends
  const int held = passes;
  QTest::qWait(50);
  EXPECT_EQ(passes, held);
  thread.Resume();
  EXPECT_TRUE(WaitUntil([&] { return passes > held + 3; }));
}

TEST(Thread, TerminateCutsALongSleepShortAndEndsASuspension) {
  TTestThread sleeper([](TTestThread &self) { self.SleepFor(std::chrono::hours(1)); });
  sleeper.Resume();
  QTest::qWait(10);
  QElapsedTimer timer;
  timer.start();
  sleeper.Terminate();
  ASSERT_TRUE(WaitUntil([&] { return sleeper.IsFinished(); }));
  EXPECT_LT(timer.elapsed(), 1000);

  TTestThread parked([](TTestThread &self) {
    while (!self.IsTerminated())
      self.WaitWhileSuspended();
  });
  parked.Resume();
  parked.Suspend();
  parked.Terminate();
  EXPECT_TRUE(WaitUntil([&] { return parked.IsFinished(); }));
}

TEST(Thread, DeletingOnTheGuiThreadServesAPendingSynchronize) {
  // The GUI thread sits in the destructor, not in the event loop, while the
  // thread waits for its step: the destructor must run the step itself.
  std::atomic<bool> waiting{false};
  std::atomic<int> steps{0};
  auto thread = std::make_unique<TTestThread>([&](TTestThread &self) {
    while (!self.IsTerminated()) {
      waiting = true;
      self.Synchronize([&] { ++steps; });
    }
  });
  thread->Resume();
  while (!waiting)
    QThread::msleep(1);
  QElapsedTimer timer;
  timer.start();
  thread.reset();
  EXPECT_LT(timer.elapsed(), 2000);
  EXPECT_GE(steps, 1);
  // The event posted for the served step finds nothing left to do.
  QCoreApplication::processEvents();
}

TEST(Thread, PriorityBelowNormalRaisesTheNiceValue) {
  std::atomic<int> nice{-100};
  TTestThread thread([&](TTestThread &) {
    errno = 0;
    nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  });
  thread.SetPriority(TThread::TPriority::Lower);
  thread.Resume();
  ASSERT_TRUE(WaitUntil([&] { return thread.IsFinished(); }));
  EXPECT_EQ(nice, std::min(getpriority(PRIO_PROCESS, 0) + 1, 19));
}

} // namespace
