#pragma once
// The viewer's one window: a chart of one data file, loaded whole at start, after the
// open command and on every tick of the reload timer, with its chart commands. The
// first form created, so closing it ends the viewer.

#include "platform/chart/Chart.h"
#include "platform/vcl/Vcl.h"
#include "viewer/FileLoader.h"
#include "viewer/Linia1MG.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QStringList>
#include <string>

class TDalvinterForm1 : public vcl::TForm {
public:
    using TObject = vcl::TObject;

    explicit TDalvinterForm1(QWidget* Owner = nullptr);
    ~TDalvinterForm1() override;

    // ---- Components.
    static constexpr int seriesCount = 81;
    // The chart shows at most this many points of each series (the first ones).
    static constexpr int pointsPerPage = 32000;

    QMenuBar* MainMenu1;
    QMenu* Plik1;
    QAction* NowyWyk;
    QAction* ZapiszJako1;
    QAction* Drukuj1;
    QAction* Zamkinij1;
    QMenu* Edycja1;
    QAction* Kopiuj1;
    QAction* Widok3D1;
    QAction* KolorTla1;
    QAction* DodajLegende1;
    QAction* Zwieksz1;
    QAction* Zmniejsz1;
    QMenu* Pomoc1;
    QAction* Opis1;
    QAction* Index1;
    QAction* PTechniczna;
    QAction* Oprogramie1;

    vcl::TToolBar* ToolBar1;
    vcl::TToolButton* ToolButton1;  // "&Nowy"
    vcl::TToolButton* ToolButton4;  // FilePrint
    vcl::TToolButton* ToolButton10; // EditCopy1
    vcl::TToolButton* ToolButton12; // Widok3d
    vcl::TToolButton* ToolButton13; // DodajLeg
    vcl::TToolButton* ToolButton16; // ZoomIn
    vcl::TToolButton* ToolButton17; // ZoomOut
    vcl::TToolButton* ToolButton21; // fit toggle
    vcl::TToolButton* ToolButton14; // timed reload
    vcl::TToolButton* ToolButton26; // "Lab"
    vcl::TToolButton* ToolButton8;  // "&Spis", the description PDF
    vcl::TToolButton* ToolButton25; // hidden
    vcl::TToolButton* ToolButton6;  // FileExit
    vcl::TButton* Button1;          // hidden
    vcl::TStatusBar* StatusBar1;
    platform::TChart* Chart1;
    vcl::TTimer* Timer1;
    vcl::TOpenDialog* OpenDialog1;
    vcl::TPrintDialog* PrintDialog1;
    vcl::TColorDialog* ColorDialog1;
    vcl::TSaveDialog* SavePictureDialog1;

    // ---- Own members (8-bit texts, code page 1250).
    bool fitMode = false;
    bool marksMode = false;
    std::string reportPrefix;
    Linia1MG parsedLine;
    char dataFileName[260] = {};
    char startDir[260] = {};

    // ---- Start.
    void FormCreate(TObject* Sender);

    // ---- Loading and reload.
    void New2chart1Execute(TObject* Sender);
    void ToolButton14Click(TObject* Sender);
    void Timer1Timer(TObject* Sender);

    // ---- Chart commands.
    void ToolButton1Click(TObject* Sender);
    void NowyWykClick(TObject* Sender);
    void ZapiszJakoExecute(TObject* Sender);
    void FilePrintExecute(TObject* Sender);
    void FileExitExecute(TObject* Sender);
    void EditCopy1Execute(TObject* Sender);
    void Widok3dExecute(TObject* Sender);
    void KolorTlaExecute(TObject* Sender);
    void DodajLegExecute(TObject* Sender);
    void ZoomInExecute(TObject* Sender);
    void ZoomOutExecute(TObject* Sender);
    void ToolButton21Click(TObject* Sender);
    void Dopasuj1Execute(TObject* Sender);
    void ToolButton26Click(TObject* Sender);
    void Chart1ClickSeries(platform::TChart& Sender, platform::TLineSeries& Series, int ValueIndex,
                           vcl::TMouseButton Button, vcl::TShiftState Shift, QPoint pos);
    void Chart2ClickSeries(platform::TChart& Sender, platform::TLineSeries& Series, int ValueIndex,
                           vcl::TMouseButton Button, vcl::TShiftState Shift, QPoint pos);
    void StatusBar1DblClick(TObject* Sender);
    void ToolButton8Click(TObject* Sender);
    void HelpContentsExecute(TObject* Sender);
    void PTechnicznaClick(TObject* Sender);
    void HelpAboutExecute(TObject* Sender);
    void HelpIndexExecute(TObject* Sender);
    void ToolButton25Click(TObject* Sender);
    void Button1Click(TObject* Sender);

    // The command line the viewer was started with, program name first (8-bit texts).
    // main() sets it before the window is created; tests set it for each start.
    static QStringList commandLine;

protected:
    // The status bar's double click.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FileLoader loader_;
};

extern TDalvinterForm1* DalvinterForm1;
