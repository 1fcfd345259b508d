// Serial command exchange: the line exchange, the memory download and the console send.
#include "mainwindow/Unit1.h"

bool TForm1::czytajRsLinie(TObject*, Done) { return false; }
bool TForm1::czytajRsPamiec(TObject*, Done) { return false; }
bool TForm1::czytajrsExecute(TObject*, Done) { return false; }
void TForm1::pokazStanPolaczenia() {}
bool TForm1::serialExchangeRunning() const { return false; }
