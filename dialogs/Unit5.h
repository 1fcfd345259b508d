#pragma once
// The about box "O programie": the program's name and version and the support page.
// Its update check and program download are disabled and nothing enables them; their
// handlers work when called, and their captions show how their last step ended.

#include "platform/vcl/Vcl.h"

#include <QLabel>

namespace platform {
class UrlDownload;
}

class TForm5 : public vcl::TForm {
public:
    using TObject = vcl::TObject;

    explicit TForm5(QWidget* Owner = nullptr);
    ~TForm5() override;

    vcl::TPanel* Panel1;
    QLabel* Image1;
    vcl::TLabel* Label6;
    vcl::TLabel* Label4;
    vcl::TLabel* Label5;
    vcl::TLabel* Label7;
    vcl::TLabel* Label1;
    vcl::TButton* SpeedButton2; // support page
    vcl::TButton* SpeedButton1; // version check (disabled)
    vcl::TButton* SpeedButton3; // program download (disabled)
    vcl::TBitBtn* BitBtn1;      // OK

    void FormCreate(TObject* Sender);
    void SpeedButton1Click(TObject* Sender);
    void SpeedButton2Click(TObject* Sender);
    void SpeedButton3Click(TObject* Sender);

private:
    platform::UrlDownload* download_; // one transfer at a time for both buttons
};

extern TForm5* Form5;
