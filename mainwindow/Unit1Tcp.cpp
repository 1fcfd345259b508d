// TCP client transaction and TCP server receiver.
#include "mainwindow/Unit1.h"

bool TForm1::czytajTCPIPExecute(TObject*, Done) { return false; }
void TForm1::Czytaj1Click(TObject*) {}
void TForm1::IdTCPClient1Status(const std::string&) {}
bool TForm1::tcpTransactionRunning() const { return false; }
bool TForm1::tcpConsoleSend(const std::string&, bool, std::function<void(const std::string&)>, Done) { return false; }
void TForm1::IdTCPServer1Execute(const platform::TcpPeerPtr&, const std::string&, bool) {}
void TForm1::IdTCPServer1Status(const std::string&) {}
