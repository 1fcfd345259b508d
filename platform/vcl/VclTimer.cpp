#include "platform/vcl/VclTimer.h"

namespace vcl {

TTimer::TTimer(QObject* owner) : QObject(owner)
{
    connect(&timer_, &QTimer::timeout, this, [this] { Fire(OnTimer, this); });
    update();
}

void TTimer::SetEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    update();
}

void TTimer::SetInterval(int ms)
{
    // As in the class library, only a different interval restarts the count.
    if (ms == interval_)
        return;
    interval_ = ms;
    update();
}

void TTimer::update()
{
    if (enabled_ && interval_ > 0)
        timer_.start(interval_);
    else
        timer_.stop();
}

} // namespace vcl
