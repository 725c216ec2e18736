#include "ui/Unit1.h"

#include "core/AlertSink.h"
#include "core/Clock.h"
#include "core/DataErrors.h"
#include "core/ModalRunner.h"
#include "core/SendingState.h"
#include "link/MessageFilter.h"
#include "link/PagerCode.h"
#include "link/Pinid.h"
#include "store/DataStores.h"
#include "ui/MessageFiles.h"
#include "ui/ReportModel.h"
#include "ui/ReportPane.h"
#include "ui/StatusBar.h"
#include "ui/UserListRules.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTableView>
#include <QTextBlock>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <iterator>

namespace {

const QString kCaption = QStringLiteral("Tesma Message Sender (Versione 2.83)");

// Proportions of the outer window size, each product truncated toward zero.
constexpr double kListGroupShare = 0.46;
constexpr double kPageShare = 0.25;
constexpr double kReportShare = 0.37;
constexpr double kColumnShares[] = { 0.07, 0.10, 0.10, 0.16, 0.07, 0.16, 0.09, 0.20 };

constexpr int kListButtonWidth = 28;
constexpr int kListButtonHeight = 22;

QFont fixedPitchFont()
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

int share(int size, double fraction)
{
    return static_cast<int>(size * fraction);
}

QLabel *captionFor(QWidget *control, const QString &caption, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setBuddy(control);
    control->setAccessibleName(caption);
    return label;
}

QLineEdit *lineEdit(const QString &name, const QString &text, int width, QWidget *parent)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setFixedWidth(width);
    return edit;
}

QWidget *rowPanel(const QString &name, QWidget *parent)
{
    auto *panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->setAccessibleName(name);
    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(2, 0, 2, 0);
    row->setSpacing(4);
    return panel;
}

} // namespace

TForm1::TForm1(SendingState &state, DataStores &stores, AlertSink &alerts, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_stores(stores)
    , m_alerts(alerts)
    , m_startFolder(QDir::currentPath())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kCaption);
    // The installed icon, looked up by the desktop entry's name as the desktop does; a console
    // started from its build folder has none installed and keeps the toolkit's.
    setWindowIcon(QIcon::fromTheme(QGuiApplication::desktopFileName(), style()->standardIcon(QStyle::SP_ComputerIcon)));
    resize(849, 506);

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(central);

    // The focus sink comes first, so it is first in the tab order; it lies behind the
    // message group, which paints over it.
    Edit1 = new QLineEdit(central);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(QStringLiteral("Edit1"));
    Edit1->setGeometry(8, 200, 27, 21);

    buildMenus();
    buildToolBar();

    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setAccessibleName(QStringLiteral("PageControl1"));
    PageControl1->addTab(buildNormalPage(), QStringLiteral("Modalità normale"));
    PageControl1->addTab(buildDirectPage(), QStringLiteral("Modalità diretta"));

    GroupBox2 = new QGroupBox(QStringLiteral("Messaggio da inviare"), central);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setAccessibleName(GroupBox2->title());
    GroupBox2->setAutoFillBackground(true);
    auto *messageLayout = new QVBoxLayout(GroupBox2);
    messageLayout->setContentsMargins(4, 4, 4, 4);
    messageLayout->setSpacing(2);
    messageLayout->addWidget(buildHeaderRow());

    MessageArea = new QMainWindow(GroupBox2);
    MessageArea->setObjectName(QStringLiteral("MessageArea"));
    MessageArea->setWindowFlags(Qt::Widget);
    MessageArea->setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks
                                | QMainWindow::AllowTabbedDocks);
    memMsg = new QPlainTextEdit(MessageArea);
    memMsg->setObjectName(QStringLiteral("memMsg"));
    memMsg->setAccessibleName(GroupBox2->title());
    memMsg->setFont(fixedPitchFont());
    memMsg->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memMsg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memMsg->installEventFilter(this);
    MessageArea->setCentralWidget(memMsg);
    buildReportPane();
    messageLayout->addWidget(MessageArea, 1);

    auto *clientLayout = new QVBoxLayout(central);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->setSpacing(0);
    clientLayout->addWidget(PageControl1);
    clientLayout->addWidget(GroupBox2, 1);
    Edit1->lower();

    buildStatusBar();
    buildTray();

    m_files = new MessageFiles(this, memMsg, m_alerts, m_startFolder);

    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, &TForm1::Button1Click);
    connect(ListBox2, &QListWidget::itemDoubleClicked, this, &TForm1::Button3Click);
    connect(memMsg, &QPlainTextEdit::textChanged, this, &TForm1::memMsgChange);
    connect(cboPreMsg, &QComboBox::activated, this, &TForm1::cboPreMsgClick);
    connect(btnHlp, &QPushButton::clicked, this, &TForm1::btnHlpClick);
    connect(tbnExit, &QAction::triggered, this, &TForm1::tbnExitClick);
    connect(mnuExit, &QAction::triggered, this, &TForm1::tbnExitClick);
    connect(Restore1, &QAction::triggered, this, &TForm1::Restore1Click);
    connect(mnuExit1, &QAction::triggered, this, &TForm1::mnuExit1Click);
    connect(tbnOpen, &QAction::triggered, this, &TForm1::tbnOpenClick);
    connect(mnuImport, &QAction::triggered, this, &TForm1::tbnOpenClick);
    connect(tbnSave, &QAction::triggered, this, &TForm1::tbnSaveClick);
    connect(mnuExport, &QAction::triggered, this, &TForm1::tbnSaveClick);

    connect(tbnTransmit, &QAction::triggered, this, &TForm1::transmitChosen);
    connect(mnuTransmit, &QAction::triggered, this, &TForm1::transmitChosen);
    connect(Recipient1, &QAction::triggered, this, &TForm1::recipientsChosen);
    connect(mnuGroups, &QAction::triggered, this, &TForm1::groupsChosen);
    connect(mnuPreMsg, &QAction::triggered, this, &TForm1::presetsChosen);
    connect(COMPort1, &QAction::triggered, this, &TForm1::comPortChosen);
    connect(mnuGateway, &QAction::triggered, this, &TForm1::gatewayChosen);
    connect(mnuQueue, &QAction::triggered, this, &TForm1::queueChosen);
    connect(About1, &QAction::triggered, this, &TForm1::aboutChosen);
    connect(NormalMode1, &QAction::triggered, this, &TForm1::normalModeChosen);
    connect(TestMode1, &QAction::triggered, this, &TForm1::testModeChosen);
    connect(RangeTest1, &QAction::triggered, this, &TForm1::rangeTestChosen);
    connect(Button6, &QPushButton::clicked, this, &TForm1::stopChosen);

    m_reportModel = new ReportModel(m_stores.report.database(), this);
    DBGrid1->setModel(m_reportModel);
}

TForm1::~TForm1()
{
    delete m_files;
}

// --- construction ---------------------------------------------------------------------------

void TForm1::buildMenus()
{
    auto action = [this](QMenu *menu, const QString &name, const QString &text, const QKeySequence &key = {}) {
        auto *item = menu->addAction(text);
        item->setObjectName(name);
        item->setShortcut(key);
        return item;
    };

    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    QMenu *file = bar->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("File1"));
    mnuImport = action(file, QStringLiteral("mnuImport"), QStringLiteral("Importa messaggi (&O)"),
                       QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuExport = action(file, QStringLiteral("mnuExport"), QStringLiteral("Esporta messaggi (&S)"),
                       QKeySequence(Qt::CTRL | Qt::Key_S));
    file->addSeparator();
    mnuExit = action(file, QStringLiteral("mnuExit"), QStringLiteral("Esci (&X)"), QKeySequence(Qt::CTRL | Qt::Key_X));

    QMenu *report = bar->addMenu(QStringLiteral("Report"));
    report->setObjectName(QStringLiteral("Report1"));
    OpenHistory1 = action(report, QStringLiteral("OpenHistory1"), QStringLiteral("Apri report..."),
                          QKeySequence(Qt::CTRL | Qt::Key_R));
    mnuQueue = action(report, QStringLiteral("mnuQueue"), QStringLiteral("Coda SNPP..."),
                      QKeySequence(Qt::CTRL | Qt::Key_G));
    report->addSeparator();
    mnuShowReport = action(report, QStringLiteral("mnuShowReport"), QStringLiteral("Mostra report"),
                           QKeySequence(Qt::CTRL | Qt::Key_V));
    mnuShowReport->setCheckable(true);
    mnuShowReport->setChecked(true);

    QMenu *settings = bar->addMenu(QStringLiteral("Impostazioni"));
    settings->setObjectName(QStringLiteral("Settings1"));
    mnuGroups = action(settings, QStringLiteral("mnuGroups"), QStringLiteral("Database gruppi"), Qt::Key_F6);
    Recipient1 = action(settings, QStringLiteral("Recipient1"), QStringLiteral("Database utenti"), Qt::Key_F7);
    mnuPreMsg = action(settings, QStringLiteral("mnuPreMsg"), QStringLiteral("Database messaggi"), Qt::Key_F8);
    COMPort1 = action(settings, QStringLiteral("COMPort1"), QStringLiteral("Porta COM"), Qt::Key_F9);
    mnuGateway = action(settings, QStringLiteral("mnuGateway"), QStringLiteral("Gateway SNPP"));
    settings->addSeparator();
    mnuTransmit = action(settings, QStringLiteral("mnuTransmit"), QStringLiteral("Invia"), Qt::Key_F10);

    QMenu *system = bar->addMenu(QStringLiteral("Sistema"));
    system->setObjectName(QStringLiteral("System1"));
    NormalMode1 = action(system, QStringLiteral("NormalMode1"), QStringLiteral("Modalità normale"));
    RangeTest1 = action(system, QStringLiteral("RangeTest1"), QStringLiteral("Range Test"));
    TestMode1 = action(system, QStringLiteral("TestMode1"), QStringLiteral("Test Mode"));
    for (QAction *mode : { NormalMode1, RangeTest1, TestMode1 })
        mode->setCheckable(true);
    NormalMode1->setChecked(true);

    QMenu *help = bar->addMenu(QStringLiteral("Aiuto"));
    help->setObjectName(QStringLiteral("Help1"));
    About1 = action(help, QStringLiteral("About1"), QStringLiteral("Info"));
}

void TForm1::buildToolBar()
{
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setAccessibleName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->setIconSize(QSize(16, 16));

    auto button = [this](const QString &name, const QString &text, QStyle::StandardPixmap icon) {
        auto *item = ToolBar1->addAction(style()->standardIcon(icon), text);
        item->setObjectName(name);
        if (QWidget *widget = ToolBar1->widgetForAction(item)) {
            widget->setObjectName(name + QStringLiteral("Button"));
            widget->setMinimumSize(59, 39);
        }
        return item;
    };
    tbnOpen = button(QStringLiteral("tbnOpen"), QStringLiteral("Apri"), QStyle::SP_DialogOpenButton);
    tbnSave = button(QStringLiteral("tbnSave"), QStringLiteral("Salva"), QStyle::SP_DialogSaveButton);
    tbnOpen->setVisible(false);
    tbnSave->setVisible(false);
    ToolBar1->addSeparator();
    tbnTransmit = button(QStringLiteral("tbnTransmit"), QStringLiteral("Invia"), QStyle::SP_ArrowRight);
    ToolBar1->addSeparator();
    ToolButton1 = button(QStringLiteral("ToolButton1"), QStringLiteral("Report"), QStyle::SP_FileDialogDetailedView);
    ToolBar1->addSeparator();
    tbnExit = button(QStringLiteral("tbnExit"), QStringLiteral("Esci"), QStyle::SP_DialogCloseButton);
    ToolBar1->addSeparator();
}

QWidget *TForm1::buildNormalPage()
{
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet1->setAccessibleName(QStringLiteral("Modalità normale"));

    auto userList = [this](QGroupBox *&group, QListWidget *&list, const QString &groupName, const QString &title,
                           const QString &listName) {
        group = new QGroupBox(title, TabSheet1);
        group->setObjectName(groupName);
        group->setAccessibleName(title);
        list = new QListWidget(group);
        list->setObjectName(listName);
        list->setAccessibleName(title);
        list->setFont(fixedPitchFont());
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setSortingEnabled(false);
        auto *layout = new QVBoxLayout(group);
        layout->setContentsMargins(4, 4, 4, 4);
        layout->addWidget(list);
    };
    userList(GroupBox1, ListBox1, QStringLiteral("GroupBox1"), QStringLiteral("Elenco utenti"),
             QStringLiteral("ListBox1"));
    userList(GroupBox3, ListBox2, QStringLiteral("GroupBox3"), QStringLiteral("Utenti selezionati"),
             QStringLiteral("ListBox2"));

    pnlBtn = new QWidget(TabSheet1);
    pnlBtn->setObjectName(QStringLiteral("pnlBtn"));
    pnlBtn->setAccessibleName(QStringLiteral("pnlBtn"));
    pnlBtn->setMinimumWidth(kListButtonWidth);
    pnlBtn->installEventFilter(this);
    auto arrow = [this](const QString &name, const QString &text) {
        auto *button = new QPushButton(text, pnlBtn);
        button->setObjectName(name);
        button->setAccessibleName(text);
        button->setFixedSize(kListButtonWidth, kListButtonHeight);
        return button;
    };
    Button1 = arrow(QStringLiteral("Button1"), QStringLiteral(">"));
    Button2 = arrow(QStringLiteral("Button2"), QStringLiteral(">>"));
    Button3 = arrow(QStringLiteral("Button3"), QStringLiteral("<"));
    Button5 = arrow(QStringLiteral("Button5"), QStringLiteral("<<"));

    auto *row = new QHBoxLayout(TabSheet1);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(GroupBox1);
    row->addWidget(pnlBtn, 1);
    row->addWidget(GroupBox3);
    return TabSheet1;
}

QWidget *TForm1::buildDirectPage()
{
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    TabSheet2->setAccessibleName(QStringLiteral("Modalità diretta"));

    edtID = new QLineEdit(TabSheet2);
    edtID->setObjectName(QStringLiteral("edtID"));
    edtID->setMaxLength(10);
    edtID->setFixedWidth(110);
    btnHlp = new QPushButton(QStringLiteral("[...]"), TabSheet2);
    btnHlp->setObjectName(QStringLiteral("btnHlp"));
    btnHlp->setAccessibleName(QStringLiteral("[...]"));
    btnHlp->setFixedWidth(40);

    Memo1 = new QPlainTextEdit(TabSheet2);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setAccessibleName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setFocusPolicy(Qt::NoFocus);
    QPalette flat = Memo1->palette();
    flat.setColor(QPalette::Base, flat.color(QPalette::Window));
    Memo1->setPalette(flat);
    Memo1->setPlainText(QStringList {
        QStringLiteral("La codifica del capcode del ricevitore ha il seguente formato: CCCCCCCXYZ."),
        QStringLiteral("CCCCCCC è il capcode del ricevitore (identificativo univoco), compreso fra 8 e 2097151;"),
        QStringLiteral("X è il tipo di codifica del messaggio: A (alfanumerica) - N (numerica);"),
        QStringLiteral("Y è la velocità di codifica: 1 (1200 bps) - 5 (512 bps) - 2 (2400 bps);"),
        QStringLiteral("Z è la cadenza della suoneria con cui il ricevitore avviserà il proprio utente alla "
                       "ricezione di un messaggio numerico o alfanumerico (A=1, B=2, C=3, D=4)."),
        QString(),
    }
                            .join(QLatin1Char('\n')));

    auto *top = new QHBoxLayout;
    top->setSpacing(6);
    top->addWidget(captionFor(edtID, QStringLiteral("Codifica capcode"), TabSheet2));
    top->addWidget(edtID);
    top->addWidget(btnHlp);
    top->addStretch(1);
    auto *page = new QVBoxLayout(TabSheet2);
    page->setContentsMargins(6, 6, 6, 2);
    page->addLayout(top);
    page->addWidget(Memo1, 1);
    return TabSheet2;
}

QWidget *TForm1::buildHeaderRow()
{
    Panel2 = rowPanel(QStringLiteral("Panel2"), GroupBox2);
    Panel2->setFixedHeight(29);
    Panel2->layout()->setContentsMargins(0, 0, 0, 0);

    // Preset selector row, with the test row beside it (visible only while this row is).
    pnlPreMsg = rowPanel(QStringLiteral("pnlPreMsg"), Panel2);
    auto *preset = static_cast<QHBoxLayout *>(pnlPreMsg->layout());
    cboPreMsg = new QComboBox(pnlPreMsg);
    cboPreMsg->setObjectName(QStringLiteral("cboPreMsg"));
    cboPreMsg->setEditable(false);
    cboPreMsg->setMinimumWidth(160);
    cboPreMsg->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    lblLength = new QLabel(QStringLiteral("00"), pnlPreMsg);
    lblLength->setObjectName(QStringLiteral("lblLength"));
    // A counter reads its current number; the caption beside it says what the number is.
    lblLength->setAccessibleDescription(QStringLiteral("N° car."));
    lblLength->setAutoFillBackground(true);
    QPalette grey = lblLength->palette();
    grey.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    lblLength->setPalette(grey);
    lblLength->setAlignment(Qt::AlignCenter);
    lblLength->setMinimumWidth(40);
    preset->addWidget(captionFor(cboPreMsg, QStringLiteral("Seleziona"), pnlPreMsg));
    preset->addWidget(cboPreMsg);
    preset->addWidget(new QLabel(QStringLiteral("N° car."), pnlPreMsg));
    preset->addWidget(lblLength);

    Panel5 = rowPanel(QStringLiteral("Panel5"), pnlPreMsg);
    Panel5->layout()->setContentsMargins(8, 0, 0, 0);
    auto *test = static_cast<QHBoxLayout *>(Panel5->layout());
    Edit3 = lineEdit(QStringLiteral("Edit3"), QStringLiteral("1"), 32, Panel5);
    chkChgCap = new QCheckBox(QStringLiteral("Chg CAP"), Panel5);
    chkChgCap->setObjectName(QStringLiteral("chkChgCap"));
    chkChgCap->setAccessibleName(chkChgCap->text());
    Edit5 = lineEdit(QStringLiteral("Edit5"), QStringLiteral("1"), 32, Panel5);
    Edit5->setToolTip(QStringLiteral("-1 = repeat"));
    Edit11 = lineEdit(QStringLiteral("Edit11"), QStringLiteral("0"), 44, Panel5);
    chkChgMsg = new QCheckBox(QStringLiteral("Chg Msg"), Panel5);
    chkChgMsg->setObjectName(QStringLiteral("chkChgMsg"));
    chkChgMsg->setAccessibleName(chkChgMsg->text());
    Label20 = new QLabel(QStringLiteral("00"), Panel5);
    Label20->setObjectName(QStringLiteral("Label20"));
    Button6 = new QPushButton(QStringLiteral("ESC"), Panel5);
    Button6->setObjectName(QStringLiteral("Button6"));
    Button6->setAccessibleName(QStringLiteral("ESC"));
    chkTone = new QCheckBox(QStringLiteral("Tone Only"), Panel5);
    chkTone->setObjectName(QStringLiteral("chkTone"));
    chkTone->setAccessibleName(chkTone->text());
    test->addWidget(captionFor(Edit3, QStringLiteral("Auto Inc"), Panel5));
    test->addWidget(Edit3);
    test->addWidget(chkChgCap);
    test->addWidget(captionFor(Edit5, QStringLiteral("Times"), Panel5));
    test->addWidget(Edit5);
    test->addWidget(captionFor(Edit11, QStringLiteral("Ritardo"), Panel5));
    test->addWidget(Edit11);
    test->addWidget(new QLabel(QStringLiteral("ms"), Panel5));
    test->addWidget(chkChgMsg);
    test->addWidget(Label20);
    test->addWidget(Button6);
    test->addWidget(chkTone);
    preset->addWidget(Panel5);
    preset->addStretch(1);
    Panel5->hide();

    // Range-test row, shown in place of the message box and the preset row.
    Panel3 = rowPanel(QStringLiteral("Panel3"), Panel2);
    auto *range = static_cast<QHBoxLayout *>(Panel3->layout());
    // The range period is a whole number of seconds, at most three digits; the range text
    // starts with at most 20 characters. An empty period is refused when a run starts.
    edtHeartbeat = lineEdit(QStringLiteral("edtHeartbeat"), QStringLiteral("0"), 40, Panel3);
    edtHeartbeat->setMaxLength(3);
    edtHeartbeat->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), edtHeartbeat));
    Edit2 = lineEdit(QStringLiteral("Edit2"), QString(), 170, Panel3);
    Edit2->setMaxLength(20);
    lblCount = new QLabel(QStringLiteral("00"), Panel3);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    range->addWidget(captionFor(edtHeartbeat, QStringLiteral("Periodo Range Test"), Panel3));
    range->addWidget(edtHeartbeat);
    range->addWidget(new QLabel(QStringLiteral("sec."), Panel3));
    range->addWidget(captionFor(Edit2, QStringLiteral("Messaggio"), Panel3));
    range->addWidget(Edit2);
    range->addWidget(lblCount);
    range->addStretch(1);
    Panel3->hide();

    auto *header = static_cast<QHBoxLayout *>(Panel2->layout());
    header->addWidget(pnlPreMsg, 1);
    header->addWidget(Panel3, 1);
    return Panel2;
}

void TForm1::buildReportPane()
{
    tbxPnl = new QDockWidget(QStringLiteral("Report"), MessageArea);
    tbxPnl->setObjectName(QStringLiteral("tbxPnl"));
    tbxPnl->setAccessibleName(QStringLiteral("Report"));
    tbxPnl->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);

    auto *content = new QWidget(tbxPnl);
    content->setObjectName(QStringLiteral("tbxPnlContent"));
    DBGrid1 = new QTableView(content);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setAccessibleName(QStringLiteral("Report"));
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    DBMemo1 = new QPlainTextEdit(content);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setAccessibleName(QStringLiteral("DBMemo1"));
    DBMemo1->setReadOnly(true);
    DBMemo1->setFont(fixedPitchFont());
    DBMemo1->setFixedHeight(48);
    DBMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(DBGrid1, 1);
    layout->addWidget(DBMemo1);
    tbxPnl->setWidget(content);
    MessageArea->addDockWidget(Qt::BottomDockWidgetArea, tbxPnl);
}

void TForm1::buildStatusBar()
{
    StatusBar1 = new StatusBar(this);
    setStatusBar(StatusBar1);
}

void TForm1::buildTray()
{
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    Restore1 = PopupMenu2->addAction(QStringLiteral("&Restore"));
    Restore1->setObjectName(QStringLiteral("Restore1"));
    PopupMenu2->addSeparator();
    mnuExit1 = PopupMenu2->addAction(QStringLiteral("E&sci"));
    mnuExit1->setObjectName(QStringLiteral("mnuExit1"));

    // Without a notification area the window stays on the task bar when minimised.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    TrayIcon1 = new QSystemTrayIcon(windowIcon(), this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setToolTip(kCaption);
    TrayIcon1->setContextMenu(PopupMenu2);
    connect(TrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            Restore1Click();
    });
    TrayIcon1->show();
}

// --- what the collaborators ask of the window ---------------------------------------------

ReportPaneParts TForm1::reportPaneParts() const
{
    return { tbxPnl, DBGrid1, DBMemo1, ToolButton1, mnuShowReport, OpenHistory1 };
}

void TForm1::showModeRows(OperatingMode mode)
{
    // Hide before showing: the test row beside the range row is wider than a screen, and
    // even a moment of that would push a maximised window out to the larger width.
    if (mode != OperatingMode::Test)
        Panel5->hide();
    if (mode != OperatingMode::RangeTest)
        Panel3->hide();
    if (mode == OperatingMode::RangeTest) {
        memMsg->hide();
        pnlPreMsg->hide();
        Panel3->show();
        return;
    }
    if (mode == OperatingMode::Test)
        Panel5->show();
    memMsg->show();
    pnlPreMsg->show();
}

void TForm1::showModeChecks(OperatingMode mode)
{
    NormalMode1->setChecked(mode == OperatingMode::Normal);
    TestMode1->setChecked(mode == OperatingMode::Test);
    RangeTest1->setChecked(mode == OperatingMode::RangeTest);
}

void TForm1::clearMessage()
{
    memMsg->clear();
}

void TForm1::resetRunFields()
{
    Edit5->setText(QStringLiteral("1"));
    Edit11->setText(QStringLiteral("0"));
    Edit3->setText(QStringLiteral("1"));
}

void TForm1::prepareRangeTest()
{
    if (edtHeartbeat->text() == QLatin1String("0"))
        edtHeartbeat->setText(QStringLiteral("30"));
    Edit2->setText(QStringLiteral("Range Test"));
    PageControl1->setCurrentWidget(TabSheet2);
}

int TForm1::pageIndex() const
{
    return PageControl1->currentIndex();
}

bool TForm1::testModeChecked() const
{
    return TestMode1->isChecked();
}

bool TForm1::changeMessageChecked() const
{
    return chkChgMsg->isChecked();
}

bool TForm1::changeCodeChecked() const
{
    return chkChgCap->isChecked();
}

bool TForm1::toneOnlyChecked() const
{
    return chkTone->isChecked();
}

QString TForm1::messageText() const
{
    return memMsg->toPlainText();
}

QString TForm1::timesText() const
{
    return Edit5->text();
}

QString TForm1::delayText() const
{
    return Edit11->text();
}

QString TForm1::autoIncText() const
{
    return Edit3->text();
}

QString TForm1::rangePeriodText() const
{
    return edtHeartbeat->text();
}

QString TForm1::rangeMessageText() const
{
    return Edit2->text();
}

int TForm1::sendListCount() const
{
    return ListBox2->count();
}

QString TForm1::sendListEntry(int index) const
{
    const QListWidgetItem *item = ListBox2->item(index);
    return item ? item->text() : QString();
}

QString TForm1::codeText() const
{
    return edtID->text();
}

void TForm1::setCodeText(const QString &text)
{
    edtID->setText(text);
}

void TForm1::focusCode()
{
    edtID->setFocus();
}

void TForm1::setPassCount(const QString &text)
{
    Label20->setText(text);
}

void TForm1::setTransmitEnabled(bool enabled)
{
    tbnTransmit->setEnabled(enabled);
    mnuTransmit->setEnabled(enabled);
}

void TForm1::setMaintenanceEnabled(bool enabled)
{
    Recipient1->setEnabled(enabled);
    mnuGroups->setEnabled(enabled);
    OpenHistory1->setEnabled(enabled);
    // A mode chosen mid-run would empty the message or hide the panel that holds "ESC".
    for (QAction *mode : { NormalMode1, RangeTest1, TestMode1 })
        mode->setEnabled(enabled);
}

// --- loaders ------------------------------------------------------------------------------

void TForm1::LoadUserList()
{
    showingDataErrors(m_alerts, [&] {
        const QList<Group> groups = m_stores.groups.all();
        const QList<Recipient> users = m_stores.recipients.all();
        ListBox1->clear();
        ListBox2->clear();
        for (const Group &group : groups) {
            auto *item = new QListWidgetItem(UserListRules::groupEntryText(group.name));
            item->setData(UserListRules::GroupRole, group.name);
            ListBox1->addItem(item);
        }
        for (const Recipient &user : users)
            ListBox1->addItem(user.recipient);
    });
}

void TForm1::LoadPresetList()
{
    showingDataErrors(m_alerts, [&] {
        const QList<PresetMessage> presets = m_stores.templates.all();
        cboPreMsg->clear();
        for (const PresetMessage &preset : presets)
            cboPreMsg->addItem(preset.name);
        cboPreMsg->setCurrentIndex(-1);
    });
}

void TForm1::ShowSerialStatus()
{
    showingDataErrors(m_alerts,
                      [&] { StatusBar1->setPortText(UserListRules::serialStatusText(m_stores.serial.read())); });
}

// --- user lists ---------------------------------------------------------------------------

namespace {
QString rateCharOfUser(const DataStores &stores, const QString &name)
{
    const std::optional<Recipient> user = stores.recipients.findByName(name);
    return UserListRules::rateCharOf(user ? user->pinId : QString());
}

// Taking an item out of a single-selection list makes the toolkit select the next row, so a
// second ">" or "<" would move a user nobody chose. After every move neither list has a
// selected or current row.
void clearSelection(QListWidget *list)
{
    list->selectionModel()->clear();
}
} // namespace

void TForm1::Button1Click()
{
    const QList<QListWidgetItem *> selected = ListBox1->selectedItems();
    if (selected.isEmpty())
        return;
    QListWidgetItem *item = selected.first();
    showingDataErrors(m_alerts, [&] {
        if (const QVariant group = item->data(UserListRules::GroupRole); group.isValid())
            moveGroup(group.toString());
        else if (!moveUser(item))
            ++m_refusals;
    });
}

bool TForm1::moveUser(QListWidgetItem *item)
{
    const QString name = item->text();
    const QString rate = rateCharOfUser(m_stores, name);
    m_state.currentRateCode = rate.toLatin1();

    if (ListBox2->count() == 0) {
        ListBox2->addItem(name);
        delete ListBox1->takeItem(ListBox1->row(item));
        clearSelection(ListBox1);
        clearSelection(ListBox2);
        m_dataRate = RateOfCode(rate.toLatin1());
        return true;
    }
    const QString firstRate = rateCharOfUser(m_stores, ListBox2->item(0)->text());
    if (UserListRules::mayJoin(rate, firstRate)) {
        ListBox2->addItem(name);
        delete ListBox1->takeItem(ListBox1->row(item));
        clearSelection(ListBox1);
        clearSelection(ListBox2);
        return true;
    }
    m_alerts.captioned(QStringLiteral("The ") + name + QStringLiteral("'s baud rate is difference!"), kProgramTitle,
                       AlertIcon::Information);
    return false;
}

// The members on duty now go over one by one, each under the data-rate rule; those in the
// send list already stay there once. The group's entry stays in the user list.
void TForm1::moveGroup(const QString &group)
{
    static const SteadyClock systemClock;
    const Clock &clock = m_clock ? *m_clock : systemClock;
    const QList<GroupMember> members = m_stores.groups.onDuty(group, clock.now());
    if (members.isEmpty()) {
        m_alerts.captioned(UserListRules::kNoneOnDuty.arg(group), UserListRules::kNoneOnDutyCaption,
                           AlertIcon::Information);
        return;
    }
    const auto sameName = [](QListWidgetItem *entry, const QString &name) {
        return !entry->data(UserListRules::GroupRole).isValid()
            && entry->text().compare(name, Qt::CaseInsensitive) == 0;
    };
    for (const GroupMember &member : members) {
        bool chosen = false;
        for (int row = 0; row < ListBox2->count() && !chosen; ++row)
            chosen = sameName(ListBox2->item(row), member.recipient);
        if (chosen)
            continue;
        for (int row = 0; row < ListBox1->count(); ++row) {
            if (QListWidgetItem *entry = ListBox1->item(row); sameName(entry, member.recipient)) {
                moveUser(entry);
                break;
            }
        }
    }
    clearSelection(ListBox1);
    clearSelection(ListBox2);
}

int TForm1::userRow(int n) const
{
    for (int row = 0; row < ListBox1->count(); ++row) {
        if (ListBox1->item(row)->data(UserListRules::GroupRole).isValid())
            continue;
        if (n-- == 0)
            return row;
    }
    return -1;
}

void TForm1::Button2Click()
{
    // Group entries are passed over: ">>" moves the users alone.
    m_refusals = 0;
    const int count = ListBox1->count();
    for (int i = 0; i < count; ++i) {
        const int row = userRow(m_refusals);
        if (row < 0)
            break;
        const int refusalsBefore = m_refusals;
        const int rowsBefore = ListBox1->count();
        ListBox1->setCurrentRow(row);
        Button1Click();
        // A lookup that failed neither moved nor refused the user: stop rather than retry it.
        if (m_refusals == refusalsBefore && ListBox1->count() == rowsBefore)
            break;
    }
    // The loop selected the candidates itself; a refused one must not stay chosen.
    clearSelection(ListBox1);
    clearSelection(ListBox2);
}

void TForm1::Button3Click()
{
    const QList<QListWidgetItem *> selected = ListBox2->selectedItems();
    if (selected.isEmpty())
        return;
    QListWidgetItem *item = selected.first();
    ListBox1->addItem(item->text());
    delete ListBox2->takeItem(ListBox2->row(item));
    clearSelection(ListBox1);
    clearSelection(ListBox2);
}

void TForm1::Button5Click()
{
    for (int row = 0; row < ListBox2->count(); ++row)
        ListBox1->addItem(ListBox2->item(row)->text());
    ListBox2->clear();
    clearSelection(ListBox1);
    clearSelection(ListBox2);
}

// --- message box --------------------------------------------------------------------------

void TForm1::memMsgChange()
{
    // The raw text keeps paragraph separators and non-breaking spaces as they are, so the
    // filter sees (and removes) them instead of the converted plain text.
    const QString text = memMsg->document()->toRawText();
    const QString kept = MessageFilter::filtered(text);
    if (kept.size() != text.size()) {
        memMsg->setPlainText(kept); // runs this handler again, which then finds nothing to remove
        memMsg->moveCursor(QTextCursor::Start);
    }
    lblLength->setText(QString::number(kept.size()));
}

void TForm1::cboPreMsgClick()
{
    const QString name = cboPreMsg->currentText();
    try {
        const std::optional<PresetMessage> preset = m_stores.templates.findByName(name);
        const QString content = preset ? preset->content : QString();
        if (content.isEmpty())
            return;
        memMsg->setPlainText(memMsg->toPlainText() + content);
        memMsg->moveCursor(QTextCursor::Start);
    } catch (const DataError &error) {
        m_alerts.plain(error.text());
    }
}

void TForm1::btnHlpClick()
{
    if (!m_pinId)
        return;
    m_pinId->setTarget(edtID);
    ModalRunner::exec(m_pinId);
}

// --- window commands ----------------------------------------------------------------------

void TForm1::tbnExitClick()
{
    close();
}

void TForm1::mnuExit1Click()
{
    // From the tray the window may be hidden, and closing a hidden window does not count as
    // the last window closing: end the event loop explicitly then.
    if (!isVisible())
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    close();
}

void TForm1::Restore1Click()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TForm1::tbnOpenClick()
{
    m_files->importMessage();
}

void TForm1::tbnSaveClick()
{
    m_files->exportMessage();
}

void TForm1::FormResize()
{
    if (!DBGrid1)
        return; // still being built
    const QRect frame = frameGeometry();
    const int width = frame.width();
    const int height = frame.height();

    GroupBox1->setFixedWidth(share(width, kListGroupShare));
    GroupBox3->setFixedWidth(share(width, kListGroupShare));
    PageControl1->setFixedHeight(share(height, kPageShare));
    Edit1->move(8, PageControl1->height() + 24); // under the message group, out of sight
    if (tbxPnl->isVisible() && !tbxPnl->isFloating())
        MessageArea->resizeDocks({ tbxPnl }, { share(height, kReportShare) }, Qt::Vertical);
    placeListButtons();

    QHeaderView *columns = DBGrid1->horizontalHeader();
    for (int column = 0; column < int(std::size(kColumnShares)); ++column)
        columns->resizeSection(column, share(width, kColumnShares[column]));
}

void TForm1::placeListButtons()
{
    if (!Button5)
        return;
    const int left = share(pnlBtn->width() - Button1->width(), 0.5);
    // Stacked from the top with a small gap, so all four fit the page at the design size.
    int top = 2;
    for (QPushButton *button : { Button1, Button2, Button3, Button5 }) {
        button->move(left, top);
        top += kListButtonHeight + 1;
    }
}

// --- events -------------------------------------------------------------------------------

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    LoadUserList();
    ShowSerialStatus();
    LoadPresetList();
    setWindowState(windowState() | Qt::WindowMaximized);
    showingDataErrors(m_alerts, [&] { m_reportModel->open(QStringLiteral("num"), false); });
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TForm1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Minimised with a tray icon: only the icon stays. Hidden after the state change is
    // complete, not inside it.
    if (event->type() == QEvent::WindowStateChange && TrayIcon1 && isMinimized())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == memMsg) {
        if (event->type() == QEvent::ShortcutOverride) {
            // The edit claims Ctrl+V and Ctrl+X for paste and cut; leaving the override
            // unaccepted lets the menu shortcuts "Mostra report" and "Esci (&X)" run.
            auto *key = static_cast<QKeyEvent *>(event);
            const QKeyCombination combination = key->keyCombination();
            if (combination == QKeyCombination(Qt::ControlModifier, Qt::Key_V)
                || combination == QKeyCombination(Qt::ControlModifier, Qt::Key_X)) {
                event->ignore();
                return true;
            }
        } else if (event->type() == QEvent::KeyPress) {
            // memMsgKeyPress: a carriage return never reaches the text; the focus leaves.
            auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                Edit1->setFocus(Qt::OtherFocusReason);
                return true;
            }
        }
    } else if (watched == pnlBtn && event->type() == QEvent::Resize) {
        placeListButtons();
    }
    return QMainWindow::eventFilter(watched, event);
}
