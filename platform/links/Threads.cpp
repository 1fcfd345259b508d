#include "platform/links/Threads.h"

#include <QMetaObject>
#include <QObject>

namespace platform {

void queueCall(QObject* receiver, std::function<void()> call)
{
    QMetaObject::invokeMethod(receiver, std::move(call), Qt::QueuedConnection);
}

} // namespace platform
