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

namespace vexo::ui {

inline bool OnThreadOf(const QObject* owner) {
  return QThread::currentThread() == owner->thread();
}

template <typename F>
std::invoke_result_t<F&> RunOnThreadOf(QObject* owner, F&& call) {
  using Result = std::invoke_result_t<F&>;
  if (OnThreadOf(owner)) return call();
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(
        owner, [&call] { call(); }, Qt::BlockingQueuedConnection);
  } else {
    Result result{};
    QMetaObject::invokeMethod(
        owner, [&call, &result] { result = call(); }, Qt::BlockingQueuedConnection);
    return result;
  }
}

}  // namespace vexo::ui
