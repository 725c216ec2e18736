#include "ui/Unit2.h"

#include "core/AlertSink.h"
#include "core/DataErrors.h"
#include "store/DataStores.h"
#include "ui/FileDialogs.h"
#include "ui/ReportExportRunner.h"
#include "ui/ReportGrid.h"

#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

namespace {
constexpr Qt::Alignment Centre = Qt::AlignCenter;
constexpr Qt::Alignment Right = Qt::AlignRight | Qt::AlignVCenter;
constexpr Qt::Alignment Left = Qt::AlignLeft | Qt::AlignVCenter;
} // namespace

QList<Qt::Alignment> TfrmHis::cellAlignments()
{
    return { Right, Centre, Right, Centre, Centre, Centre, Centre, Left };
}

QList<Qt::Alignment> TfrmHis::titleAlignments()
{
    return { Centre, Centre, Centre, Centre, Centre, Centre, Centre, Left };
}

TfrmHis::TfrmHis(ReportModel &model, ReportStore &store, AlertSink &alerts, QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint)
    , m_model(model)
    , m_store(store)
    , m_alerts(alerts)
{
    setObjectName(QStringLiteral("frmHis"));
    setWindowTitle(QStringLiteral("Report"));
    setModal(true);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setAccessibleName(QStringLiteral("Report"));
    DBGrid1 = new QTableView(GroupBox1);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setAccessibleName(QStringLiteral("Report"));
    DBMemo1 = new QPlainTextEdit(GroupBox1);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setAccessibleName(QStringLiteral("Testo del messaggio"));
    lblOrigin = new QLabel(GroupBox1);
    lblOrigin->setObjectName(QStringLiteral("lblOrigin"));
    lblOrigin->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *box = new QVBoxLayout(GroupBox1);
    box->addWidget(DBGrid1, 1);
    box->addWidget(DBMemo1);
    box->addWidget(lblOrigin);

    Button2 = new QPushButton(QStringLiteral("Cancella"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button1 = new QPushButton(QStringLiteral("Chiudi"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);
    btnExportCsv = new QPushButton(QStringLiteral("Esporta CSV..."), this);
    btnExportCsv->setObjectName(QStringLiteral("btnExportCsv"));
    btnExportCsv->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnExportCsv);
    buttons->addStretch(1);
    buttons->addWidget(Button2);
    buttons->addWidget(Button1);
    auto *outer = new QVBoxLayout(this);
    outer->addWidget(GroupBox1, 1);
    outer->addLayout(buttons);

    DBGrid1->setFont(QFont(QStringLiteral("Arial")));
    QFont title = DBGrid1->horizontalHeader()->font();
    title.setBold(true);
    DBGrid1->horizontalHeader()->setFont(title);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid = new ReportGrid(DBGrid1, &m_model, this);
    m_grid->setAlignments(cellAlignments(), titleAlignments());
    connect(m_grid, &ReportGrid::titleClicked, this, &TfrmHis::DBGrid1TitleClick);
    DBGrid1->installEventFilter(this);

    DBMemo1->setReadOnly(true);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    DBMemo1->setFont(fixed);
    DBMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DBMemo1->setFixedHeight(91);

    connect(Button1, &QPushButton::clicked, this, &TfrmHis::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmHis::Button2Click);
    connect(btnExportCsv, &QPushButton::clicked, this, &TfrmHis::btnExportCsvClick);
    connect(&m_model, &ReportModel::currentRowRequested, this, &TfrmHis::showMessage);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &TfrmHis::showMessage);
    resize(900, 440);
}

void TfrmHis::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    FormShow();
}

void TfrmHis::FormShow()
{
    const int width = frameGeometry().width();
    for (int c = 0; c < ReportModel::ColumnCount; ++c)
        DBGrid1->setColumnWidth(c, static_cast<int>(width * ColumnFractions[c]));
    showMessage();
}

void TfrmHis::Button1Click()
{
    close();
}

void TfrmHis::Button2Click()
{
    const int column = m_model.sortColumn();
    const bool descending = m_model.sortDescending();
    m_model.release();
    try {
        m_store.clear();
    } catch (const DataError &error) {
        // The table is dropped and created in one transaction: when that fails it is as it
        // was; when the VACUUM after it fails it is empty. Either way it is shown as it is.
        m_model.open(ReportModel::fieldName(column), descending);
        m_alerts.plain(error.text());
        return;
    }
    m_model.open();
    if (!m_model.isOpen())
        m_alerts.plain(m_model.lastError());
}

void TfrmHis::DBGrid1TitleClick(int column)
{
    if (!m_sort.click(column))
        return;
    m_model.open(ReportModel::fieldName(column), m_sort.descending());
    if (!m_model.isOpen())
        m_alerts.plain(m_model.lastError());
}

void TfrmHis::DBGrid1DeleteRecord()
{
    const int row = m_model.currentRow();
    if (row < 0)
        return;
    if (!m_alerts.ask(QStringLiteral("Delete record?"), kProgramTitle, AlertIcon::None, AlertButtons::OkCancel))
        return;
    if (!showingDataErrors(m_alerts, [&] { m_store.remove(m_model.numAt(row)); }))
        return;
    m_model.rowRemoved(row);
}

bool TfrmHis::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == DBGrid1 && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier) {
            DBGrid1DeleteRecord();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QString TfrmHis::originText(const QString &client, const QString &login)
{
    return login.isEmpty() ? QStringLiteral("Pagina SNPP dal client %1, senza login").arg(client)
                           : QStringLiteral("Pagina SNPP dal client %1, login %2").arg(client, login);
}

void TfrmHis::showMessage()
{
    const int row = m_model.currentRow();
    DBMemo1->setPlainText(m_model.messageAt(row));
    // Looked up only while the window shows; showing it looks again.
    QString origin;
    if (isVisible() && row >= 0) {
        try {
            if (const std::optional<ReportOrigin> found = m_store.origin(m_model.numAt(row)))
                origin = originText(found->client, found->login);
        } catch (const DataError &) {
            // A row whose origin cannot be read shows none; the report itself is unaffected.
        }
    }
    lblOrigin->setText(origin);
}

void TfrmHis::btnExportCsvClick()
{
    FileDialogs::Request request;
    request.caption = QStringLiteral("Esporta CSV");
    request.startFolder = QDir::currentPath();
    request.filter = QStringLiteral("File CSV (*.csv)");
    request.defaultSuffix = QStringLiteral("csv");
    request.confirmOverwrite = true;
    const QString path = FileDialogs::saveFileName(this, request);
    if (path.isEmpty())
        return;
    const ReportCsvExport::Result result = ReportExportRunner::run(
        this, ReportCsvExport::settingsFor(m_store.database(), m_model.sortColumn(), m_model.sortDescending(), path));
    switch (result.outcome) {
    case ReportCsvExport::Result::Written:
        m_alerts.captioned(
            QStringLiteral("Esportate %1 righe del report in %2.").arg(QString::number(result.rows), path),
            QStringLiteral("Esporta CSV"), AlertIcon::Information);
        break;
    case ReportCsvExport::Result::Cancelled:
        break; // nothing was written, an existing file is as it was
    case ReportCsvExport::Result::Failed:
        m_alerts.captioned(QStringLiteral("Esportazione non riuscita: %1").arg(result.error),
                           QStringLiteral("Esporta CSV"), AlertIcon::Warning);
        break;
    }
}
