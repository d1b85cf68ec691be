#include "render/Thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <exception>

#include <sys/resource.h>
#include <unistd.h>

// One Synchronize call: the step, whether the GUI thread has taken it and run it,
// and what it threw.
struct TThread::TSyncRequest {
  std::function<void()> Step;
  bool Taken = false;
  bool Done = false;
  std::exception_ptr Error;
};

// Shared with the events posted to the GUI thread, so that an event that arrives
// after the thread object is gone finds its request already served.
struct TThread::TSyncState {
  std::mutex Mutex;
  std::condition_variable Changed;
  std::shared_ptr<TSyncRequest> Pending;
};

TThread::TThread() : Sync(std::make_shared<TSyncState>()) {}

TThread::~TThread() {
  TerminateAndWait();
}

void TThread::TerminateAndWait() {
  Terminate();
  if (Worker.joinable()) {
    WaitFor();
    Worker.join();
  }
}

void TThread::ServeRequest(TSyncState &state, const std::shared_ptr<TSyncRequest> &request) {
  {
    std::lock_guard lock(state.Mutex);
    if (request->Taken)
      return;
    request->Taken = true;
  }
  try {
    request->Step();
  } catch (...) {
    request->Error = std::current_exception();
  }
  {
    std::lock_guard lock(state.Mutex);
    request->Done = true;
    if (state.Pending == request)
      state.Pending.reset();
  }
  state.Changed.notify_all();
}

void TThread::Resume() {
  {
    std::lock_guard lock(StateMutex);
    Suspended = false;
    if (!Worker.joinable() && !Finished)
      Worker = std::thread(&TThread::Run, this);
  }
  StateChanged.notify_all();
}

void TThread::Suspend() {
  std::lock_guard lock(StateMutex);
  Suspended = true;
}

void TThread::Terminate() {
  {
    std::lock_guard lock(StateMutex);
    Terminated = true;
  }
  StateChanged.notify_all();
}

void TThread::Wake() {
  {
    std::lock_guard lock(StateMutex);
    WakeRequested = true;
  }
  StateChanged.notify_all();
}

void TThread::SetPriority(TPriority priority) {
  Priority = priority;
  if (NativeId != 0)
    ApplyPriority();
}

void TThread::ApplyPriority() {
  const int id = NativeId;
  // Linux keeps a nice value per thread; the process's value is the base.
  const int base = getpriority(PRIO_PROCESS, 0);
  int nice = base;
  switch (Priority.load()) {
  case TPriority::Idle:
    nice = 19;
    break;
  case TPriority::Lowest:
    nice = base + 2;
    break;
  case TPriority::Lower:
    nice = base + 1;
    break;
  case TPriority::Normal:
    break;
  case TPriority::Higher:
    nice = base - 1;
    break;
  }
  // Failure (no privilege to lower the nice value again) keeps the current value.
  setpriority(PRIO_PROCESS, static_cast<id_t>(id), nice > 19 ? 19 : nice);
}

bool TThread::IsGuiThread() {
  const QCoreApplication *app = QCoreApplication::instance();
  return app == nullptr || QThread::currentThread() == app->thread();
}

void TThread::Run() {
  NativeId = static_cast<int>(gettid());
  ApplyPriority();
  try {
    Execute();
  } catch (...) {
    // An exception ends the thread like a normal return; Execute has cleaned up.
  }
  {
    std::lock_guard lock(Sync->Mutex);
    Finished = true;
  }
  Sync->Changed.notify_all();
}

void TThread::Synchronize(const std::function<void()> &step) {
  if (IsGuiThread()) {
    step();
    return;
  }
  auto request = std::make_shared<TSyncRequest>();
  request->Step = step;
  {
    std::lock_guard lock(Sync->Mutex);
    Sync->Pending = request;
  }
  Sync->Changed.notify_all();

  std::weak_ptr<TSyncState> weakState = Sync;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [weakState, request] {
        if (const std::shared_ptr<TSyncState> state = weakState.lock())
          ServeRequest(*state, request);
      },
      Qt::QueuedConnection);

  std::unique_lock lock(Sync->Mutex);
  Sync->Changed.wait(lock, [&] { return request->Done; });
  lock.unlock();
  if (request->Error)
    std::rethrow_exception(request->Error);
}

void TThread::WaitFor() {
  if (!Worker.joinable())
    return;
  if (IsGuiThread()) {
    std::unique_lock lock(Sync->Mutex);
    while (!Finished) {
      if (Sync->Pending && !Sync->Pending->Taken) {
        const std::shared_ptr<TSyncRequest> request = Sync->Pending;
        lock.unlock();
        ServeRequest(*Sync, request);
        lock.lock();
        continue;
      }
      Sync->Changed.wait(lock,
                         [&] { return Finished || (Sync->Pending && !Sync->Pending->Taken); });
    }
  } else {
    std::unique_lock lock(Sync->Mutex);
    Sync->Changed.wait(lock, [&] { return Finished.load(); });
  }
}

void TThread::WaitWhileSuspended() {
  std::unique_lock lock(StateMutex);
  StateChanged.wait(lock, [&] { return !Suspended || Terminated; });
}

void TThread::SleepFor(std::chrono::milliseconds period) {
  {
    std::unique_lock lock(StateMutex);
    StateChanged.wait_for(lock, period, [&] { return Terminated.load(); });
  }
  WaitWhileSuspended();
}

void TThread::WaitForWake(std::chrono::milliseconds period) {
  {
    std::unique_lock lock(StateMutex);
    StateChanged.wait_for(lock, period, [&] { return Terminated || WakeRequested; });
    WakeRequested = false;
  }
  WaitWhileSuspended();
}
