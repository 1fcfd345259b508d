#pragma once
// Starting a device-link exchange from a handler that holds its buttons back while the
// exchange runs: whatever becomes of the exchange, the buttons come back.

#include "mainwindow/Unit1.h"

#include <functional>

// Starts an exchange or transaction with `finish` as its `done`. When the link refuses
// (one runs already) or raises, `finish` runs at once and the error goes on.
inline bool startLink(const std::function<bool(TForm1::Done)>& start, const TForm1::Done& finish)
{
    bool started = false;
    try {
        started = start(finish);
    } catch (...) {
        finish();
        throw;
    }
    if (!started)
        finish();
    return started;
}

// Closes the TCP client's connection when it is up, as a serial send does first. A
// transaction still running keeps it: its worker owns the client until it ends.
inline void dropTcpConnection(TForm1& f1)
{
    if (!f1.tcpTransactionRunning() && f1.IdTCPClient1->Connected())
        f1.IdTCPClient1->Disconnect();
}
