#pragma once

// The main window: the operator's working surface. Its controls are private members under
// their designer names (and objectNames); the collaborators that own a piece of behaviour (the
// transmit command, the operating modes, the report views, the dialogs) hear its commands as
// signals and ask for what they need through its methods.

#include "core/SendingState.h"

#include <QMainWindow>

class QAction;
class QCheckBox;
class QComboBox;
class QDockWidget;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QTabWidget;
class QTableView;
class QToolBar;

class AlertSink;
class Clock;
class MessageFiles;
class ReportModel;
class StatusBar;
struct ReportPaneParts;
class TfrmPinId;
struct DataStores;
struct SendingState;

class TForm1 : public QMainWindow
{
    Q_OBJECT

public:
    TForm1(SendingState &state, DataStores &stores, AlertSink &alerts, QWidget *parent = nullptr);
    ~TForm1() override;

    // --- what the collaborators ask of the window ------------------------------------------
    StatusBar &status() const { return *StatusBar1; }
    ReportModel *reportModel() const { return m_reportModel; }
    // The pane's grid, memo and commands, for the report views that give them their behaviour.
    ReportPaneParts reportPaneParts() const;

    // The rows of the message area each mode shows (test row, range row, message box), and
    // the check marks of the menu "Sistema".
    void showModeRows(OperatingMode mode);
    void showModeChecks(OperatingMode mode);
    void clearMessage();
    // "Times" 1, "Ritardo" 0 and "Auto Inc" 1, as a normal-mode run needs them.
    void resetRunFields();
    // A range test starts on the direct page, with a period of 30 s where none was set and
    // the range text "Range Test".
    void prepareRangeTest();

    // What a run is made of, read from the controls.
    int pageIndex() const; // 0 address book, 1 direct
    bool testModeChecked() const;
    bool changeMessageChecked() const; // "Chg Msg"
    bool changeCodeChecked() const; // "Chg CAP"
    bool toneOnlyChecked() const; // "Tone Only"
    QString messageText() const;
    QString timesText() const; // "Times"
    QString delayText() const; // "Ritardo", in ms
    QString autoIncText() const; // "Auto Inc"
    QString rangePeriodText() const; // "Periodo Range Test", in s
    QString rangeMessageText() const; // the range test's "Messaggio"
    int sendListCount() const;
    QString sendListEntry(int index) const;
    QString codeText() const;
    void setCodeText(const QString &text);
    void focusCode();
    void setPassCount(const QString &text); // the test row's count of passes done

    // "Invia" (tool bar and menu) on or off while a run goes on; and the commands that must
    // wait for it: the address book, the report window and the modes.
    void setTransmitEnabled(bool enabled);
    void setMaintenanceEnabled(bool enabled);

    // --- loaders ---------------------------------------------------------------------------
    void LoadUserList();
    void LoadPresetList();
    void ShowSerialStatus();

    // The clock that says who of a group is on duty when ">" moves it.
    void setClock(const Clock *clock) { m_clock = clock; }

    // The capcode dialog opened by "[...]".
    void setCapcodeDialog(TfrmPinId *dialog) { m_pinId = dialog; }

    // The working directory recorded at creation (start folder of the file dialogs).
    QString startFolder() const { return m_startFolder; }

    // --- handlers ----------------------------------------------------------------------------
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button5Click();
    void memMsgChange();
    void cboPreMsgClick();
    void btnHlpClick();
    void tbnExitClick();
    void Restore1Click();
    void mnuExit1Click();
    void tbnOpenClick();
    void tbnSaveClick();
    void FormResize();

    int refusalCount() const { return m_refusals; }
    int dataRate() const { return m_dataRate; }

signals:
    // The commands of the menus and the tool bar that other windows and collaborators carry out.
    void transmitChosen(); // "Invia", tool bar and menu (F10)
    void recipientsChosen(); // "Database utenti" (F7)
    void groupsChosen(); // "Database gruppi" (F6)
    void presetsChosen(); // "Database messaggi" (F8)
    void comPortChosen(); // "Porta COM" (F9)
    void gatewayChosen(); // "Gateway SNPP"
    void queueChosen(); // "Coda SNPP..." (Ctrl+G)
    void aboutChosen(); // "Info"
    void normalModeChosen(); // "Modalità normale"
    void testModeChosen(); // "Test Mode"
    void rangeTestChosen(); // "Range Test"
    void stopChosen(); // the test row's "ESC"

protected:
    void showEvent(QShowEvent *event) override; // FormShow
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override; // minimise to the tray
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // --- tool bar and menus -------------------------------------------------------------
    QToolBar *ToolBar1 = nullptr;
    QAction *tbnOpen = nullptr; // "Apri", hidden
    QAction *tbnSave = nullptr; // "Salva", hidden
    QAction *tbnTransmit = nullptr; // "Invia"
    QAction *ToolButton1 = nullptr; // "Report" (toggles the report pane)
    QAction *tbnExit = nullptr; // "Esci"

    QAction *mnuImport = nullptr; // File / "Importa messaggi (&O)"  Ctrl+O
    QAction *mnuExport = nullptr; // File / "Esporta messaggi (&S)"  Ctrl+S
    QAction *mnuExit = nullptr; // File / "Esci (&X)"              Ctrl+X
    QAction *OpenHistory1 = nullptr; // Report / "Apri report..."       Ctrl+R
    QAction *mnuShowReport = nullptr; // Report / "Mostra report"        Ctrl+V, checkable
    QAction *mnuQueue = nullptr; // Report / "Coda SNPP..."         Ctrl+G
    QAction *mnuGroups = nullptr; // Impostazioni / "Database gruppi"   F6
    QAction *Recipient1 = nullptr; // Impostazioni / "Database utenti"   F7
    QAction *mnuPreMsg = nullptr; // Impostazioni / "Database messaggi" F8
    QAction *COMPort1 = nullptr; // Impostazioni / "Porta COM"         F9
    QAction *mnuGateway = nullptr; // Impostazioni / "Gateway SNPP"
    QAction *mnuTransmit = nullptr; // Impostazioni / "Invia"             F10
    QAction *NormalMode1 = nullptr; // Sistema / "Modalità normale", checkable, checked
    QAction *RangeTest1 = nullptr; // Sistema / "Range Test", checkable
    QAction *TestMode1 = nullptr; // Sistema / "Test Mode", checkable
    QAction *About1 = nullptr; // Aiuto / "Info"

    // --- page control ---------------------------------------------------------------------
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr; // "Modalità normale": address-book mode
    QWidget *TabSheet2 = nullptr; // "Modalità diretta": direct mode
    QGroupBox *GroupBox1 = nullptr; // "Elenco utenti"
    QListWidget *ListBox1 = nullptr;
    QGroupBox *GroupBox3 = nullptr; // "Utenti selezionati"
    QListWidget *ListBox2 = nullptr;
    QWidget *pnlBtn = nullptr;
    QPushButton *Button1 = nullptr; // ">"
    QPushButton *Button2 = nullptr; // ">>"
    QPushButton *Button3 = nullptr; // "<"
    QPushButton *Button5 = nullptr; // "<<"
    QLineEdit *edtID = nullptr; // pager code, at most 10 characters
    QPushButton *btnHlp = nullptr; // "[...]"
    QPlainTextEdit *Memo1 = nullptr; // the note on the code's format

    // --- message area ---------------------------------------------------------------------
    QGroupBox *GroupBox2 = nullptr; // "Messaggio da inviare"
    QWidget *Panel2 = nullptr; // header row
    QWidget *pnlPreMsg = nullptr; // preset selector row
    QComboBox *cboPreMsg = nullptr;
    QLabel *lblLength = nullptr;
    QWidget *Panel5 = nullptr; // test row, hidden in normal mode
    QLineEdit *Edit3 = nullptr; // "Auto Inc" "1"
    QCheckBox *chkChgCap = nullptr; // "Chg CAP"
    QLineEdit *Edit5 = nullptr; // "Times" "1"
    QLineEdit *Edit11 = nullptr; // "Ritardo" "0" (ms)
    QCheckBox *chkChgMsg = nullptr; // "Chg Msg"
    QLabel *Label20 = nullptr; // passes done, "00"
    QPushButton *Button6 = nullptr; // "ESC"
    QCheckBox *chkTone = nullptr; // "Tone Only"
    QWidget *Panel3 = nullptr; // range-test row, hidden in normal mode
    QLineEdit *edtHeartbeat = nullptr; // "Periodo Range Test" "0" (s), at most 3 characters
    QLineEdit *Edit2 = nullptr; // "Messaggio", at most 20 characters
    QLabel *lblCount = nullptr; // "00"
    QPlainTextEdit *memMsg = nullptr;
    QLineEdit *Edit1 = nullptr; // focus sink behind the message group

    // --- report pane (its behaviour belongs to the report views) --------------------------
    QMainWindow *MessageArea = nullptr; // inner window of GroupBox2 that docks tbxPnl
    QDockWidget *tbxPnl = nullptr; // "Report"
    QTableView *DBGrid1 = nullptr;
    QPlainTextEdit *DBMemo1 = nullptr;
    ReportModel *m_reportModel = nullptr; // the report data set, owned by this window

    // --- status bar and tray --------------------------------------------------------------
    StatusBar *StatusBar1 = nullptr; // progress, serial settings, sending state, gateway
    QSystemTrayIcon *TrayIcon1 = nullptr; // null where the desktop has no tray
    QMenu *PopupMenu2 = nullptr;
    QAction *Restore1 = nullptr; // "&Restore"
    QAction *mnuExit1 = nullptr; // "E&sci"

    SendingState &m_state;
    DataStores &m_stores;
    AlertSink &m_alerts;
    TfrmPinId *m_pinId = nullptr;
    const Clock *m_clock = nullptr;
    QString m_startFolder;
    int m_refusals = 0;
    int m_dataRate = 2400;
    bool m_shownOnce = false;
    MessageFiles *m_files = nullptr;

    void buildMenus();
    void buildToolBar();
    QWidget *buildNormalPage();
    QWidget *buildDirectPage();
    QWidget *buildHeaderRow();
    void buildReportPane();
    void buildStatusBar();
    void buildTray();
    void placeListButtons();
    // ">" on one user's entry of ListBox1, with the data-rate rule; false when refused.
    bool moveUser(QListWidgetItem *item);
    void moveGroup(const QString &group);
    // The row of ListBox1's n-th user entry (group entries skipped), or -1.
    int userRow(int n) const;
};
