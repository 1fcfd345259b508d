#pragma once
// The info form "Parametry pomiaru.": the smallest and largest value of the loaded file
// with the times they occurred, and four free labels. The chart window fills it; only
// the hidden ToolButton25 shows it.

#include "platform/vcl/Vcl.h"

class TDalvinterForm3 : public vcl::TForm {
public:
    explicit TDalvinterForm3(QWidget* Owner = nullptr);
    ~TDalvinterForm3() override;

    vcl::TLabel* Label9; // "Minimalna wartość:"
    vcl::TLabel* Label1min;
    vcl::TLabel* Label10; // "Wystąpiło:"
    vcl::TLabel* Label3tmin;
    vcl::TLabel* Label11; // "Maksymalna wartość:"
    vcl::TLabel* Label4max;
    vcl::TLabel* Label12; // "Wystąpiło:"
    vcl::TLabel* Label5tmax;
    vcl::TLabel* Label5;
    vcl::TLabel* Label6;
    vcl::TLabel* Label7;
    vcl::TLabel* Label8;
    vcl::TBitBtn* BitBtn1; // OK
    vcl::TBitBtn* BitBtn2; // "Rezygnuj"
};

extern TDalvinterForm3* DalvinterForm3;
