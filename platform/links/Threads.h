#pragma once
// Handing work from a worker thread to the thread that owns an object, normally the
// user-interface thread.

#include <functional>

class QObject;

namespace platform {

// Runs `call` on the thread of `receiver` by a queued call; calls posted to one receiver
// run in the order they were posted. `receiver` must exist when the call is posted;
// calls still pending when it is destroyed are dropped.
void queueCall(QObject* receiver, std::function<void()> call);

} // namespace platform
