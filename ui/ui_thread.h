// Carries a call over to the thread that owns a QObject and waits for it.
// Called on that thread itself, the call runs directly: a blocking queued call
// to one's own thread would never return. The owning thread must be running
// an event loop (the dialog's exec(), or a test's wait) while others call in.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <type_traits>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define VEXO_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VEXO_TSAN 1
#endif
#endif

#ifdef VEXO_TSAN
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace vexo::ui {

// Qt's own queue hands the call from thread to thread under its locks, which
// ThreadSanitizer cannot see in a Qt not built with it: these tell it.
inline void HandOff([[maybe_unused]] void* token) {
#ifdef VEXO_TSAN
  __tsan_release(token);
#endif
}
inline void TakeOver([[maybe_unused]] void* token) {
#ifdef VEXO_TSAN
  __tsan_acquire(token);
#endif
}

inline bool OnThreadOf(const QObject* owner) {
  return QThread::currentThread() == owner->thread();
}

template <typename F>
std::invoke_result_t<F&> RunOnThreadOf(QObject* owner, F&& call) {
  using Result = std::invoke_result_t<F&>;
  if (OnThreadOf(owner)) return call();
  void* token = &call;
  if constexpr (std::is_void_v<Result>) {
    HandOff(token);
    QMetaObject::invokeMethod(
        owner,
        [&call, token] {
          TakeOver(token);
          call();
          HandOff(token);
        },
        Qt::BlockingQueuedConnection);
    TakeOver(token);
  } else {
    Result result{};
    HandOff(token);
    QMetaObject::invokeMethod(
        owner,
        [&call, &result, token] {
          TakeOver(token);
          result = call();
          HandOff(token);
        },
        Qt::BlockingQueuedConnection);
    TakeOver(token);
    return result;
  }
}

}  // namespace vexo::ui
