#pragma once
// The main window: the program's hub. It owns the measurement line, the settings
// block and the data-file descriptor for the program's lifetime; the other windows
// reach them through the global Form1. It opens as a 93-pixel strip holding only its
// top button bar; the full view with chart, grid and text list is switched on by the
// user.

#include "acquisition/DataFile.h"
#include "acquisition/Linia1MG.h"
#include "acquisition/LivePort.h"
#include "acquisition/SettingsBlock.h"
#include "platform/chart/Chart.h"
#include "platform/links/TcpClient.h"
#include "platform/links/TcpServer.h"
#include "platform/vcl/Vcl.h"

#include <QMenu>
#include <QTableWidget>
#include <QTimer>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class TForm6;

class TForm1 : public vcl::TForm {
public:
    using plikPomiar = acquisition::plikPomiar;
    using TObject = vcl::TObject;

    explicit TForm1(QWidget* Owner = nullptr);
    ~TForm1() override;

    // ---- Own members (8-bit texts are code page 1250).
    int lineCounter = 0;
    bool stopRequest = false;
    std::string browsedDir;
    std::string rxPending;
    std::string timeLabel;
    std::string startDir;
    std::string commandText;
    std::string currentLine;
    int layoutRight = 0;
    int mainViewMode = 0;
    int deviceFamily = 0;
    int replyOk = 0;
    int windowShowCounter = 0;
    int emptyReads = 0;
    int acqIntervalMs = 0;
    bool autoFit = false;
    bool showValues = false;
    bool acquireEnabled = false;
    bool acquisitionRunning = false;
    Linia1MG parsedLine;
    std::string workDir;
    int nextWindowIndex = 0;
    bool autoPlaceWindows = false;
    acquisition::SettingsBlock settings;
    plikPomiar dataFile;

    // ---- Components.
    static constexpr int seriesCount = 35;
    static constexpr int stripHeight = 93;

    vcl::TPanel* Panel2;
    vcl::TBitBtn* BitBtn1;
    vcl::TBitBtn* BitBtn2;
    vcl::TBitBtn* BitBtn3;
    vcl::TBitBtn* BitBtn4;
    vcl::TComboBox* ComboBox1;
    vcl::TBitBtn* BitBtn5;
    vcl::TBitBtn* BitBtn6;
    vcl::TPanel* Panel6;
    vcl::TLabel* Label1;
    vcl::TEdit* Edit1;
    vcl::TToolBar* ToolBar1;
    vcl::TToolButton* ToolButton1;
    vcl::TToolButton* ToolButton3;
    vcl::TToolButton* ToolButton5;
    vcl::TToolButton* ToolButton7;
    vcl::TToolButton* ToolButton9;
    vcl::TToolButton* ToolButton15;
    vcl::TToolButton* ToolButton13;
    vcl::TToolButton* ToolButton18;
    vcl::TToolButton* ToolButton20;
    vcl::TToolButton* ToolButton27;
    vcl::TToolButton* ToolButton33;
    vcl::TToolButton* ToolButton29;
    vcl::TToolButton* ToolButton31;
    vcl::TToolButton* ToolButton11;
    vcl::TPanel* Panel1;
    vcl::TDirectoryListBox* DirectoryListBox1;
    vcl::TSplitter* Splitter3;
    vcl::TFileListBox* FileListBox1;
    vcl::TSplitter* Splitter1;
    vcl::TPanel* Panel8;
    vcl::TTrackBar* TrackBar1;
    vcl::TEdit* Edit2;
    vcl::TUpDown* UpDown1;
    vcl::TEdit* Edit3;
    platform::TChart* Chart1;
    vcl::TSplitter* Splitter2;
    vcl::TPanel* Panel4;
    vcl::TPanel* Panel7;
    QTableWidget* StringGrid1;
    vcl::TMemo* Memo1;
    vcl::TStatusBar* StatusBar1;
    vcl::TTimer* Timer1;
    vcl::TTimer* Timer2;
    std::unique_ptr<platform::TcpClient> IdTCPClient1;
    std::unique_ptr<platform::TcpServer> IdTCPServer1;
    QMenu* PopupMenu1;
    QAction* Czytajpami1;
    QAction* test;
    QAction* Czytaj1;
    QMenu* LadujToArkuszy1;
    QAction* MSExel1;
    QAction* OpenOffice1;
    QAction* MSEksplorer1;
    QAction* Showfilesdan1;
    QAction* Plikitekstowetxtdan1;
    QAction* Wszystkiepliki1;
    QMenu* SaveMenu1;
    QAction* SaveToTable;
    QAction* SaveToFile;
    QMenu* UkryPokarzKrzywe1;
    QAction* UsuWszystkie1;
    QAction* ZaznaczWszystkie1;
    vcl::TSaveDialog* SaveDialog1;
    vcl::TOpenDialog* OpenDialog1;
    vcl::TPrintDialog* PrintDialog1;

    // ---- Form events.
    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormClose(TObject* Sender, vcl::TCloseAction& Action);
    void FormResize(TObject* Sender);

    // ---- Top bar.
    void BitBtn1Click(TObject* Sender); // "&Zamknij"
    void BitBtn2Click(TObject* Sender); // layout switch
    void BitBtn3Click(TObject* Sender); // view switch
    void BitBtn4Click(TObject* Sender); // START / STOP
    void BitBtn5Click(TObject* Sender); // settings dialog
    void BitBtn6Click(TObject* Sender); // about box
    void ToolButton35Click(TObject* Sender);
    void ComboBox1DropDown(TObject* Sender);
    void ComboBox1Change(TObject* Sender);
    void Button1Click(TObject* Sender);

    // ---- Spreadsheet export.
    void MSExel1Click(TObject* Sender);
    void OpenOffice1Click(TObject* Sender);
    void MSEksplorer1Click(TObject* Sender);
    // Hands the file selected in list to the spreadsheet program ("Excel.exe" or
    // "scalc.exe"): a ".dan" file as its spreadsheet copy, written into the list's
    // folder, any other file as it is. Last the list is read again and both export
    // items are disabled, so one click on a file allows one export. The measurement
    // windows export their own list through it too.
    static void ExportToSpreadsheet(const QString& program, vcl::TFileListBox* list, QAction* excelItem,
                                    QAction* calcItem);
    // Opens folder in the file explorer; says "Dostęp zabroniony!" when that fails.
    static void ExploreFolder(const QString& folder);

    // ---- Chart commands.
    void dopasujWykresExecute(TObject* Sender);
    void rysujWykres1Execute(TObject* Sender);
    void ToolButton29Click(TObject* Sender);
    void ToolButton20Click(TObject* Sender);
    void ToolButton31Click(TObject* Sender);
    void ToolButton27Click(TObject* Sender);
    void ToolButton33Click(TObject* Sender);
    void UsuWszystkie1Click(TObject* Sender);
    void ZaznaczWszystkie1Click(TObject* Sender);
    void Chart1ClickSeries(platform::TChart& Sender, platform::TLineSeries& Series, int ValueIndex,
                           vcl::TMouseButton Button, vcl::TShiftState Shift, QPoint pos);
    void Chart1ClickLegend(platform::TChart& Sender, vcl::TMouseButton Button, vcl::TShiftState Shift, int item,
                           QPoint pos);

    // ---- Printing, clipboard, chart table.
    void ToolButton1Click(TObject* Sender);  // print the chart
    void ToolButton9Click(TObject* Sender);  // "Kopiuj całość.."
    void ToolButton11Click(TObject* Sender); // "Kopiuj wykres.."
    void SaveToTableClick(TObject* Sender);  // "Zapisz wykres do edytora."
    void SaveToFileClick(TObject* Sender);   // "Zapisz wykres jako *.bmp"

    // ---- Actions run as plain member calls.
    void ZapamietajParametryExecute(TObject* Sender);
    void WlasciwosciPlikuExecute(TObject* Sender);
    void UruchomOknaExecute(TObject* Sender);

    // ---- Browser: the folder tree and file list, a data file opened whole or page by
    // page, the clear command, the text list saved and a data file opened from anywhere.
    void DirectoryListBox1Change(TObject* Sender);
    void FileListBox1Click(TObject* Sender);
    void FileListBox1DblClick(TObject* Sender);
    void Memo1Click(TObject* Sender);
    void TrackBar1Change(TObject* Sender);
    void Edit1ToChar1Execute(TObject* Sender); // parse the text list into grid and chart
    void File1ToChar1Execute(TObject* Sender); // read and show one page
    void ToolButton7Click(TObject* Sender);    // "Nowe pomiary.."
    void Showfilesdan1Click(TObject* Sender);
    void Plikitekstowetxtdan1Click(TObject* Sender);
    void Wszystkiepliki1Click(TObject* Sender);
    void ToolButton5Click(TObject* Sender); // "Do pliku"
    void ToolButton3Click(TObject* Sender); // "Czytaj pomiary.."
    // Opens a data file as a double click on it in the file list does.
    void openDataFile(const QString& path);
    // A browser command as its control runs it: it would open another file or change the
    // one shown, so it is refused while a file loads, whatever sends it.
    vcl::TNotifyEvent browserCommand(void (TForm1::*handler)(TObject*));
    // The file the paged view shows (8-bit path). A click in the file list moves the
    // descriptor's name on to the clicked file, whose lines the pages must not show.
    std::string pagedFile;
    // Bytes of memory the machine can still give, -1 when unknown: a file that would
    // not fit is not loaded whole. Tests give their own figure.
    static std::function<qint64()> freeMemory;
    // How long a load runs before it shows the busy cursor and its status text, and
    // how often it lets the window paint after that.
    static int loadBusyAfterMs;
    static int loadPaintEveryMs;

    // ---- New-data step.
    // Parses currentLine and shows it (text list, grid, chart points, axis fit) and, with
    // automatic appending on, appends it to the cyclic data file. The reading and
    // exchange roads call it with themselves as sender; a conversion error of the parse
    // leaves everything untouched and reaches the caller.
    void NoweDaneExecute(TObject* Sender);
    // What a road of the step may leave out: the TCP server receiver keeps its own text
    // in status panel 2 and leaves the axes as they are.
    struct NewDataRoad {
        bool reportSaved = true;
        bool fitAxes = true;
    };
    void runNewDataStep(TObject* Sender, NewDataRoad road);
    // Runs of the step so far: a road that may find its line already handed over by the
    // exchange compares it before and after.
    int newDataSteps = 0;

    // ---- Device links. Every exchange and transaction runs on the event loop without
    // blocking it and without a nested loop; `done` runs once when it has ended (port
    // closed, status shown), always later, never from inside the call. While an exchange
    // holds the serial-port object, a second one is refused: the call returns false and
    // its `done` never runs. The same holds for the TCP client.
    using Done = std::function<void()>;

    // Serial command exchange on acquisition::portCom.
    bool czytajRsLinie(TObject* Sender, Done done = {});
    bool czytajRsPamiec(TObject* Sender, Done done = {});
    bool czytajrsExecute(TObject* Sender, Done done = {}); // console send of commandText
    void pokazStanPolaczenia();
    bool serialExchangeRunning() const;
    // Ends a running exchange of the device console at once: the port is closed and its
    // done runs before the call returns. Any other exchange is left to run.
    void endConsoleExchange();
    // Shows a failure of the serial exchange's port in status panel 2. The live road
    // takes it back when it reads lines from that port again, unless the panel was
    // written since.
    void showSerialError(const QString& text);

    // TCP client transaction on IdTCPClient1.
    bool czytajTCPIPExecute(TObject* Sender, Done done = {});
    void Czytaj1Click(TObject* Sender);
    void IdTCPClient1Status(const std::string& text);
    bool tcpTransactionRunning() const;
    // The last transaction ended because its connect failed; its error box told the user,
    // and the caller shows nothing more.
    bool tcpConnectFailed() const { return tcpConnectFailed_; }
    // The console's conversation over IdTCPClient1: host and port from the settings
    // dialog's Edit1 and Edit2, connect when not connected, send `text` as one line and,
    // when readReplies, read lines ended by CR (4000 ms each) until a read times out,
    // handing each to onLine (the empty result of the read that timed out too). When the
    // client is not connected after the attempt, "Błąd połączenia.." goes to status
    // panel 2 and nothing is sent. Refused (false) while a transaction runs.
    bool tcpConsoleSend(const std::string& text, bool readReplies, std::function<void(const std::string&)> onLine,
                        Done done = {});

    // TCP server receiver: one received line, on the user-interface thread.
    void IdTCPServer1Execute(const platform::TcpPeerPtr& AContext, const std::string& line, bool truncated);
    void IdTCPServer1Status(const std::string& AStatusText);

    // Single, periodic, stop, label and memory readings.
    void ToolButton15Click(TObject* Sender);
    void ToolButton13Click(TObject* Sender);
    void ToolButton18Click(TObject* Sender);
    void testClick(TObject* Sender);
    void Czytajpami1Click(TObject* Sender);

    // ---- Timers.
    void Timer1Timer(TObject* Sender);
    void Timer2Timer(TObject* Sender);

    // The two lower-panel layouts.
    void ApplyBottomLayout();
    void ApplyRightLayout();

    // Creates one measurement window for slot nextWindowIndex and shows it. Set by the
    // measurement windows' unit; until then no window is created.
    static std::function<void(TForm1&)> createMeasurementWindow;
    // Lines the TCP server has received, counted on its peer threads.
    std::atomic<int> tcpLinesReceived{0};
    // Windows created so far (owned by the main window).
    int createdWindows = 0;

    // The live loop's silent-device limit (empty reads in a row) and the pause after an
    // empty read; tests shorten the pause.
    static int emptyReadLimit;
    static int emptyReadPauseMs;
    // Shows the completed line currentLine in the full view (text list, grid, chart).
    void showLiveLine();
    // What the measurement windows record: the values of the live line that last raised
    // their flags. The measurement line itself also takes the lines of the browser, the
    // new-data step and the TCP server, none of which may reach a run log. A channel that
    // line did not carry keeps what the live line before it gave. count: live lines
    // handed on since the program started; a flag raised before the first one (kept in
    // the settings file from an earlier session) announces nothing.
    struct LiveSample {
        std::array<float, Linia1MG::kMaxChannels> values{};
        std::uint64_t count = 0;
    };
    LiveSample liveSample;

private:
    void buildComponents();
    // One read pass of a Timer2 tick, and the next one after delayMs.
    void readPass();
    void scheduleReadPass(int delayMs);
    void handleLiveLine(const std::string& received);
    // Forgets text not yet ended by a line feed; done whenever a session ends or begins.
    void dropUnfinishedLine();
    QTimer* readPassTimer_ = nullptr;
    platform::LineAssembler liveLines_{acquisition::liveLineRules};
    // An error text put into status panel 2: the panel's write count right after it and
    // the port it was about.
    struct PanelError {
        bool shown = false;
        unsigned write = 0;
        std::string port;
    };
    void showPanelError(PanelError& error, const QString& text, std::string port);
    // Empties the panel when it still shows that text; the text is forgotten either way.
    void takeBackPanelError(PanelError& error);
    // The loop's error text in status panel 2; a line read well takes it back, and the
    // exchange's error about the port the line came from with it.
    void showLiveError(const QString& text);
    void clearLiveError();
    PanelError liveError_;
    PanelError serialError_;
    // Points the folder list at a folder, falling back to the start folder.
    void showFolder(const std::string& folder);
    // Moves the window back onto the screen when stored geometry put it elsewhere.
    void keepOnScreen();
    // In the strip the full view's parts keep their places behind the top bar; a plain
    // sheet over them, under the top bar and the status bar, shows the strip's bar alone.
    void buildStripCover();
    void setStripCovered(bool covered);
    QWidget* stripCover_ = nullptr;

    static constexpr int maxPanelSize = 4000; // a stored panel size beyond is nonsense
    static constexpr int minimumWidth = 200;
    int designedHeight_ = 0; // full-view height before one is stored
    acquisition::SettingsWindowSide windowSide() const;

    // ---- serial exchange state
    // The exchange that holds portCom, null between exchanges; a child of the form.
    friend class SerialExchange;
    class SerialExchange* serialExchange_ = nullptr;

    // ---- TCP state
    // The one thread a client transaction, one-line read or console conversation runs on,
    // so the blocking client never holds up the interface. Joined when the window goes,
    // after its client was told to stop waiting.
    struct TcpWorker {
        std::thread thread;
        bool running = false; // user-interface thread only
        platform::TcpClient* client = nullptr;
        ~TcpWorker();
    };
    // Runs work on the worker; false while another runs. work hands its results back
    // with platform::queueCall and ends with finishTcpJob posted the same way.
    bool startTcpJob(std::function<void()> work);
    // Ends the job on the user-interface thread: "Błąd połączenia.." when the client was
    // not connected after the attempt, done, then a connect error (when not empty) in the
    // error box. Further connect errors are not shown while one's box is open, so a
    // reading timer cannot pile boxes up.
    void finishTcpJob(const Done& done, bool notConnected, const std::string& connectError);
    bool tcpErrorShowing_ = false;
    bool tcpConnectFailed_ = false;
    TcpWorker tcpWorker_;
};

extern TForm1* Form1;
