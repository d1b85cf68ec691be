#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// A worker thread with a Terminate flag, cooperative Suspend/Resume, a priority
// and Synchronize, which runs a step on the GUI (QCoreApplication) thread and
// waits for it.
//
// The thread is created suspended: no OS thread exists until the first Resume.
// Suspend takes effect at the thread's next WaitWhileSuspended or SleepFor, so a
// suspended thread never stops in the middle of a Synchronize step.
//
// The object owns its OS thread: TerminateAndWait (also run by the destructor)
// terminates it, lets it leave a suspension, runs the steps it still asks of the
// GUI thread and joins it, so deleting the object on the GUI thread never
// deadlocks on a pending Synchronize. A derived class whose Execute calls its own
// virtual functions must call TerminateAndWait in its destructor, before its part
// of the object is gone.
class TThread {
public:
  enum class TPriority { Idle, Lowest, Lower, Normal, Higher };

  TThread();
  virtual ~TThread();
  TThread(const TThread &) = delete;
  TThread &operator=(const TThread &) = delete;

  // Lets the thread run; starts the OS thread on the first call.
  void Resume();
  // Makes the thread wait at its next suspension point until Resume.
  void Suspend();
  bool IsSuspended() const { return Suspended; }

  // Asks Execute to end; also cuts a SleepFor short and ends a suspension.
  void Terminate();
  bool IsTerminated() const { return Terminated; }

  // Cuts the current or the next WaitForWake short. Any thread.
  void Wake();

  // True once Execute has returned (also after it threw).
  bool IsFinished() const { return Finished; }

  // Applied when the OS thread starts, or at once when it runs already. On Linux
  // a priority below normal raises the thread's nice value; raising the priority
  // above normal needs privileges and is silently not done without them.
  void SetPriority(TPriority priority);
  TPriority GetPriority() const { return Priority; }

  // Waits until Execute has returned. On the GUI thread it runs the thread's
  // Synchronize steps meanwhile, so it cannot deadlock with them; it does not
  // resume a suspended thread, so call Terminate and Resume first.
  void WaitFor();

  // True on the thread that runs QCoreApplication's event loop (or when there is
  // no application object, on any thread: then nothing could serve a request).
  static bool IsGuiThread();

protected:
  // The thread body. Exceptions that escape it end the thread; they are swallowed.
  virtual void Execute() = 0;

  // Runs step on the GUI thread and waits until it has run; runs it at once when
  // called on the GUI thread. An exception thrown by the step is rethrown here.
  void Synchronize(const std::function<void()> &step);

  // Terminates the thread and waits for it as WaitFor does, then joins it.
  // Nothing to do when the thread never started.
  void TerminateAndWait();

  // Blocks while the thread is suspended and not terminated.
  void WaitWhileSuspended();

  // Sleeps for the period or until Terminate; then waits while suspended.
  void SleepFor(std::chrono::milliseconds period);

  // Like SleepFor, but Wake also ends it; returns at once when Wake was called
  // since the last WaitForWake.
  void WaitForWake(std::chrono::milliseconds period);

private:
  struct TSyncRequest;
  struct TSyncState;

  void Run();
  void ApplyPriority();
  // Runs the request's step on the GUI thread unless it was run already.
  static void ServeRequest(TSyncState &state, const std::shared_ptr<TSyncRequest> &request);

  std::mutex StateMutex;
  std::condition_variable StateChanged;
  std::atomic<bool> Suspended{true};
  std::atomic<bool> Terminated{false};
  bool WakeRequested = false;
  std::atomic<bool> Finished{false};
  std::atomic<TPriority> Priority{TPriority::Normal};
  std::atomic<int> NativeId{0};
  std::thread Worker;
  std::shared_ptr<TSyncState> Sync;
};
