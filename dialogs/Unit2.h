#pragma once
// The settings dialog "Ustawienia". It keeps no settings of its own: each change
// handler writes at once into the main window's settings block or components, and the
// main window reads several controls live when it needs their values.

#include "dialogs/TextListFile.h"
#include "platform/vcl/Vcl.h"

#include <cstddef>
#include <string>

class TForm2 : public vcl::TForm {
public:
    using TObject = vcl::TObject;

    explicit TForm2(QWidget* Owner = nullptr);
    ~TForm2() override;

    // ---- Components (names as the other windows use them).
    vcl::TPageControl* PageControl1;
    vcl::TTabSheet* TabSheet1; // "pomiaru."
    vcl::TTabSheet* TabSheet2; // "komunikacja."
    vcl::TTabSheet* TabSheet3; // "systemu." (device console)
    vcl::TTabSheet* okien;     // "okien."
    vcl::TPanel* Panel4;       // bottom: OK and the console file buttons
    vcl::TPanel* Panel2;
    vcl::TBitBtn* BitBtn1; // OK

    // "pomiaru."
    vcl::TLabeledEdit* czestoscPomiaru;
    vcl::TLabeledEdit* nazwaPlikuLabel;
    vcl::TButton* Button2;
    vcl::TGroupBox* GroupBoxCykl; // "Cykl archiwizacji"
    vcl::TRadioButton* CyklMiesieczny;
    vcl::TRadioButton* CyklTygodniowy;
    vcl::TRadioButton* CyklDzienny;
    vcl::TRadioButton* CyklStaly;
    vcl::TGroupBox* GroupBoxGodzina; // "Godzina i data pobierana"
    vcl::TRadioButton* GodzinaZkomputera;
    vcl::TRadioButton* RadioButton10;
    vcl::TCheckBox* zapiszDoPliku;
    vcl::TCheckBox* DopiszDate;
    vcl::TCheckBox* DopiszSekundy;
    vcl::TLabeledEdit* LabeledEdit3;
    vcl::TUpDown* MaxLini;

    // "komunikacja."
    vcl::TGroupBox* GroupBoxLacze;
    vcl::TRadioButton* RadioButton1; // "Serial com.."
    vcl::TRadioButton* RadioButton2; // "TCP/IP C"
    vcl::TRadioButton* RadioButton3; // "TCPIP S"
    vcl::TLabel* Label1;             // "Numer com:"
    vcl::TComboBox* NumerCom;
    vcl::TLabel* Label2; // "Szybko transmisji:"
    vcl::TComboBox* SzybkoscTransmisji;
    vcl::TLabeledEdit* Edit1;        // "Adres IP"
    vcl::TLabeledEdit* Edit2;        // "Port:"
    vcl::TLabeledEdit* LabeledEdit1; // "Adres #"
    vcl::TButton* Button10;          // "Resetuj ustawienia WIFI"

    // "systemu." (device console)
    vcl::TPanel* Panel1;       // the console's controls above Memo1
    vcl::TComboBox* ComboBox1; // device family
    vcl::TComboBox* ComboBox3; // command list
    vcl::TEdit* Edit3;         // command field
    vcl::TButton* Button1;
    vcl::TButton* Button3;
    vcl::TButton* Button4;
    vcl::TButton* Button11; // ends the reply being read; shown only then
    vcl::TMemo* Memo1;
    vcl::TButton* Button5;
    vcl::TButton* Button6;
    vcl::TButton* Button7;
    vcl::TButton* Button8;
    vcl::TButton* Button9;

    // "okien."
    vcl::TLabel* Label3; // "Ilość okien"
    vcl::TEdit* Edit4;
    vcl::TUpDown* UpDownMaxOkien;
    vcl::TButton* Button13;
    vcl::TBitBtn* BitBtn2; // "Folder roboczy."
    vcl::TLabel* Label6;

    vcl::TOpenDialog* OpenDialog1;
    vcl::TSaveDialog* SaveDialog1;

    // ---- Handlers.
    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormHide(TObject* Sender);
    void czestoscPomiaruChange(TObject* Sender);
    void nazwaPlikuLabelChange(TObject* Sender);
    void Button2Click(TObject* Sender);
    void CyklMiesiecznyClick(TObject* Sender);
    void CyklTygodniowyClick(TObject* Sender);
    void CyklDziennyClick(TObject* Sender);
    void CyklStalyClick(TObject* Sender);
    void RadioButton1Click(TObject* Sender);
    void RadioButton2Click(TObject* Sender);
    void RadioButton3Click(TObject* Sender);
    void NumerComChange(TObject* Sender);
    void SzybkoscTransmisjiChange(TObject* Sender);
    void Edit1Change(TObject* Sender);
    void Edit2Change(TObject* Sender);
    void ComboBox1Change(TObject* Sender);
    void UpDownMaxOkienClick(TObject* Sender, vcl::TUDBtnType Button);
    void Button13Click(TObject* Sender);
    void BitBtn2Click(TObject* Sender);
    void Label6Click(TObject* Sender);
    void BitBtn1Click(TObject* Sender);
    void TabSheet1Show(TObject* Sender);
    void TabSheet2Show(TObject* Sender);
    void TabSheet3Show(TObject* Sender);
    void okienShow(TObject* Sender);
    void TabSheet4Show(TObject* Sender);
    // Device console.
    void Button1Click(TObject* Sender);
    void Button3Click(TObject* Sender);
    void Button4Click(TObject* Sender);
    void Button5Click(TObject* Sender);
    void Button6Click(TObject* Sender);
    void Button7Click(TObject* Sender);
    void Button8Click(TObject* Sender);
    void Button9Click(TObject* Sender);
    void Button11Click(TObject* Sender);
    void ComboBox3Change(TObject* Sender);
    // The serial exchange says when it starts and stops reading a console reply.
    void showReadingReply(bool reading);

    // Encoding of the configuration text last loaded into Memo1; OK writes it back so.
    dialogs::TextEncoding memoEncoding = dialogs::TextEncoding::Ansi;

private:
    void buildComponents();
    void buildMeasurementTab();
    void buildLinkTab();
    void buildConsoleTab();
    void buildWindowsTab();
    void loadConsoleFiles();
    // The console's send of the command field (over the TCP client when it is chosen,
    // else over the serial exchange), with the three send buttons held back meanwhile.
    void sendCommandField(TObject* Sender);
    void setSendButtonsEnabled(bool enabled);
    void writeCycleBytes();
    // Puts the folder as 8-bit text into workText when a settings field of fieldSize
    // bytes holds it whole; otherwise says why in a message box and gives false.
    bool folderFits(const QString& folder, std::size_t fieldSize);
    std::string workText; // the control's text as 8-bit text, before it is copied
};

extern TForm2* Form2;
