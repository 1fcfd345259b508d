#pragma once
// The measurement window: records named runs of the channels chosen in it from the
// live acquisition into its own folder "Okno<k+1>" inside the working folder, with a
// chart, the run's properties and the list of stored runs. Up to eight exist, one per
// slot k of the settings block's window records, where everything a window keeps from
// one program start to the next lives. Closing one only hides it; it lives, and goes
// on recording, until the application ends.

#include "acquisition/SettingsBlock.h"
#include "platform/chart/Chart.h"
#include "platform/vcl/Vcl.h"
#include "windows/RunLog.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <optional>
#include <string>

class TForm1;

// Where a window goes when it places itself: the record's geometry fields.
struct WindowPlacement {
    int width = 0;
    int height = 0;
    int left = 0;
    int top = 0;
    int splitterPos = 0;
};

// The tiling below the main window for n windows (1 to 8), slot k, the main window's
// width, height, left and top and the screen height; nothing for any other n.
std::optional<WindowPlacement> placeWindow(int n, int k, int mainWidth, int mainHeight, int mainLeft, int mainTop,
                                           int screenHeight);

// Sets the main window's hook so that its window start and window list create (or
// show again) measurement windows. Also done when the application object is built.
void RegisterMeasurementWindows();

class TForm6 : public vcl::TForm {
public:
    using TObject = vcl::TObject;

    static constexpr int maxWindows = acquisition::SettingsBlock::maxWindows;
    static constexpr int seriesCount = 35;
    static constexpr int styleSlots = 9;

    // Constructed with the main window as owner; the creator runs FormCreate.
    explicit TForm6(QWidget* Owner);
    ~TForm6() override;

    // The window of slot k, or nullptr.
    static TForm6* ForSlot(int k);
    // The main window's hook: shows the window of slot main.nextWindowIndex again
    // (state 0) when it exists, else creates it; then shows it.
    static void CreateOrShow(TForm1& main);
    // The screen height used for placement; tests set it (0: the real screen).
    static int screenHeightOverride;
    // The run log's writer; tests replace it to fail like a full disk.
    static windows::WriteFn logWrite;

    // ---- Own members.
    int windowIndex = 0;
    std::string windowName; // "Okno" + (k + 1), 8-bit
    bool creating = false;
    bool tickArmed = false;
    float runMinimum = 9999.0f;
    float runMaximum = -999.0f;
    // Set while Memo1 shows a stored run instead of the window's own run: the tick
    // then writes no log, so the preview never lands over the last run's file.
    bool memoHoldsPreview = false;

    // ---- Components.
    vcl::TPageControl* PageControl1;
    vcl::TTabSheet* TabSheet1; // "Badanie."
    vcl::TPanel* Panel3;
    vcl::TBitBtn* BitBtn1; // run button
    vcl::TMemo* Memo1;     // run log
    vcl::TSplitter* Splitter1;
    platform::TChart* Chart1;
    vcl::TTabSheet* TabSheet2; // "Właściwości"
    vcl::TMemo* Memo2;         // property labels
    vcl::TMemo* Memo3;         // property values
    vcl::TPanel* Panel5;       // "  Uwagi:"
    QPlainTextEdit* Memo4;     // remarks: prose, wrapped at the window's width
    vcl::TTabSheet* TabSheet3; // "Pomiary"
    vcl::TFileListBox* FileListBox1;
    vcl::TLabeledEdit* LabeledEdit1;
    vcl::TGroupBox* GroupBox1;
    vcl::TCheckBox* CheckBox1;
    vcl::TLabel* Label1;
    vcl::TEdit* Edit1;
    vcl::TUpDown* UpDown1;
    vcl::TPanel* Panel9; // "Kolor"
    vcl::TPanel* Panel6; // "Grubość: "
    vcl::TEdit* Edit2;
    vcl::TUpDown* UpDown2;
    vcl::TComboBox* ComboBox2;
    vcl::TLabel* Label8;
    vcl::TStatusBar* StatusBar1;
    vcl::TTimer* Timer1; // sample timer, 500 ms
    vcl::TTimer* Timer2; // show timer, 400 ms
    QObject* ActionList1;
    QAction* Dopasuj6Wykres;
    vcl::TOpenDialog* OpenDialog1;
    vcl::TColorDialog* ColorDialog1;
    QMenu* LadujToArkuszy6;
    QAction* MSExel6;
    QAction* OpenOffice6;
    QAction* N1;
    QAction* MSEksplorer1;
    QAction* N2;
    QAction* Showfilesdan1;
    QAction* Showfilestxt1;   // does nothing
    QAction* Wszystkiepliki1; // does nothing

    // ---- Window (creation, placement, show and hide).
    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormResize(TObject* Sender);
    void Panel3Resize(TObject* Sender);
    void FormClose(TObject* Sender, vcl::TCloseAction& Action);
    void Timer2Timer(TObject* Sender);

    // ---- Run control.
    void BitBtn1Click(TObject* Sender);
    void Memo4Change(TObject* Sender);

    // ---- Samples.
    void Timer1Timer(TObject* Sender);

    // ---- Channel list and series styling.
    void ComboBox2Change(TObject* Sender);
    void TabSheet3Show(TObject* Sender);
    void Panel9Click(TObject* Sender);
    void UpDown2Changing(TObject* Sender, bool& AllowChange);
    void UpDown2Click(TObject* Sender, vcl::TUDBtnType Button);
    void Dopasuj6WykresExecute(TObject* Sender);

    // ---- Stored runs: file list, preview and run name.
    void FileListBox1Click(TObject* Sender);
    void FileListBox1DblClick(TObject* Sender);
    void LabeledEdit1Exit(TObject* Sender);
    void MSEksplorer1Click(TObject* Sender);
    void Showfilesdan1Click(TObject* Sender);
    void MSExel6Click(TObject* Sender);
    void OpenOffice6Click(TObject* Sender);

    // The window's record in the main window's settings block.
    acquisition::WindowRecord& record() const;
    // The folder of FileListBox1 (the window folder once created), 8-bit.
    std::string folder() const;
    // The run log behind Memo1 (what its file holds and should hold).
    const windows::RunLog& runLog() const { return log_; }

private:
    void buildComponents();
    void buildRunPage();
    void buildPropertiesPage();
    void buildRunsPage();
    // Computes and stores the record's geometry from the main window's; false for a
    // window count that gives no placement.
    bool placeFromMainWindow();
    // Applies the record's geometry, held on the screen when asked.
    void applyRecordGeometry(bool holdOnScreen);
    // The smallest window that geometry held on the screen leaves.
    static constexpr int minimumWidth = 200;
    static constexpr int minimumHeight = 120;
    // Places the window (anew when the main window asks for it) and applies the record.
    void place();
    // Binds the window to its slot and the working folder and shows no run: what a new
    // window of the slot gets, and a window shown again that is not recording.
    void setUp();
    // The chart as the window is built: empty, only the first series active.
    void showEmptyChart();
    // Shows the window again after its slot was chosen anew.
    void reopen();

    void startRun();
    void stopRun();
    void newRun();
    // The run name chosen in the dialog, or nothing when it is refused (after saying why).
    std::optional<std::string> runNameFromDialog();
    void writePropertiesFile();
    // The name of the run's files: the stored run name, or the window name.
    std::string runFileName() const;

    // Runs LabeledEdit1Exit when the focus moves from the run name to another control.
    void bindRunNameExit();
    // Why a run name cannot name the run's files in the window folder, or nothing.
    std::optional<QString> refusedRunName(const QString& name) const;
    // Tells the user the name was refused, and why.
    static void refuseRunName(const QString& refusal);

    void loadChannelList();
    void saveChannelList();

    // Replaces line index of a memo, keeping the memo's other lines.
    static void setLine(vcl::TMemo* memo, int index, const QString& text);
    void addLogLine(const std::string& line);
    void writeLog();
    // Tells the user that the log cannot be written, in a box shown after the tick.
    void tellLogError(const QString& text);

    windows::RunLog log_;
    // Memo1 was changed by something else than a recorded line since the last sync.
    bool memoChanged_ = true;
    bool addingLine_ = false;
    // The log's last write failed and the user was told; reset by the next success.
    bool logErrorShown_ = false;
    // The box telling of a log failure is waiting to be shown or answered.
    bool logBoxOpen_ = false;
    // A later failure that came while that box was open, told when it is answered.
    QString logErrorWaiting_;
    // The run's extremes hold a recorded value (they start from the first one).
    bool haveExtremes_ = false;
};
