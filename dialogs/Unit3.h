#pragma once
// The file-name dialog "Nowa nazwa pliku pomiarowego". Created at start; nothing shows
// it or reads it.

#include "platform/vcl/Vcl.h"

class TForm3 : public vcl::TForm {
public:
    explicit TForm3(QWidget* Owner = nullptr);
    ~TForm3() override;

    vcl::TEdit* Edit1;
    vcl::TBitBtn* BitBtn1;
};

extern TForm3* Form3;
