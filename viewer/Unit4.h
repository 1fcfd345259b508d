#pragma once
// The viewer's about box "O programie": name and version, the version check and the
// download of the new program and its description. The two speed buttons' captions
// show how their last step ended.

#include "platform/vcl/Vcl.h"

#include <QLabel>

namespace platform {
class UrlDownload;
}

class TForm4 : public vcl::TForm {
public:
    using TObject = vcl::TObject;

    explicit TForm4(QWidget* Owner = nullptr);
    ~TForm4() override;

    vcl::TPanel* Panel1;
    QLabel* Image1;
    vcl::TLabel* Label1;
    vcl::TLabel* Label3;
    vcl::TLabel* Label4;
    vcl::TLabel* Label5;
    vcl::TLabel* Label7;
    vcl::TLabel* Label6;
    vcl::TButton* SpeedButton1; // version check
    vcl::TButton* SpeedButton3; // program download
    vcl::TBitBtn* BitBtn1;      // OK

    void FormCreate(TObject* Sender);
    void SpeedButton1Click(TObject* Sender);
    void SpeedButton3Click(TObject* Sender);

protected:
    void showEvent(QShowEvent* e) override;

private:
    // After the program download: the question about the description and its download.
    void programDownloaded(bool ok);

    platform::UrlDownload* download_; // one transfer at a time for both buttons
};

extern TForm4* Form4;
