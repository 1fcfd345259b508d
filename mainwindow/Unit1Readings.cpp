// Single, periodic, stop, label and memory readings.
#include "mainwindow/Unit1.h"

void TForm1::ToolButton15Click(TObject*) {}
void TForm1::ToolButton13Click(TObject*) {}
void TForm1::ToolButton18Click(TObject*) {}
void TForm1::testClick(TObject*) {}
void TForm1::Czytajpami1Click(TObject*) {}
