#pragma once
// The class library's timer: Enabled (on by default, as the class library's), Interval
// in milliseconds, OnTimer run on the user-interface thread. An interval of 0 never
// fires (a QTimer of 0 would fire at once); a different interval restarts a running
// timer's count; Enabled false stops it.

#include "platform/vcl/VclCore.h"

#include <QObject>
#include <QTimer>

namespace vcl {

class TTimer : public QObject {
public:
    explicit TTimer(QObject* owner = nullptr);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    int Interval() const { return interval_; }
    void SetInterval(int ms);
    // True while the timer is counting (enabled and interval > 0).
    bool Running() const { return timer_.isActive(); }
    TNotifyEvent OnTimer;

private:
    void update();
    QTimer timer_;
    bool enabled_ = true;
    int interval_ = 1000;
};

} // namespace vcl
