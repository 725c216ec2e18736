#include "gateway/QueueWindow.h"

#include "core/AlertSink.h"
#include "core/Errors.h"
#include "gateway/GatewayControl.h"
#include "gateway/QueueModel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

const QString TfrmQueue::kOnWireText
    = QStringLiteral("La pagina selezionata è in trasmissione: non può essere annullata.");

namespace {

const QString kCaption = QStringLiteral("Coda SNPP");
const QString kCancelQuestion = QStringLiteral("Annullare la pagina per %1 (%2)?");

QPushButton *button(const QString &name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TfrmQueue::TfrmQueue(GatewayControl &gateway, QSqlDatabase db, AlertSink &alerts, QWidget *parent)
    : QDialog(parent)
    , m_gateway(gateway)
    , m_db(std::move(db))
    , m_alerts(alerts)
{
    setObjectName(QStringLiteral("frmQueue"));
    setWindowTitle(kCaption);
    setModal(false);

    m_model = new QueueModel(this);
    grdQueue = new QTableView(this);
    grdQueue->setObjectName(QStringLiteral("grdQueue"));
    grdQueue->setAccessibleName(kCaption);
    grdQueue->setModel(m_model);
    grdQueue->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdQueue->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdQueue->setSelectionMode(QAbstractItemView::SingleSelection);
    grdQueue->horizontalHeader()->setStretchLastSection(true);
    grdQueue->verticalHeader()->setVisible(false);

    lblCount = new QLabel(this);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    lblOnWire = new QLabel(this);
    lblOnWire->setObjectName(QStringLiteral("lblOnWire"));
    btnCancelPage = button(QStringLiteral("btnCancelPage"), QStringLiteral("Annulla pagina"), this);
    btnRetryNow = button(QStringLiteral("btnRetryNow"), QStringLiteral("Riprova ora"), this);
    btnClose = button(QStringLiteral("btnClose"), QStringLiteral("Chiudi"), this);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnCancelPage);
    buttons->addWidget(btnRetryNow);
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(grdQueue, 1);
    layout->addWidget(lblCount);
    layout->addWidget(lblOnWire);
    layout->addLayout(buttons);
    resize(900, 360);

    connect(btnCancelPage, &QPushButton::clicked, this, &TfrmQueue::btnCancelPageClick);
    connect(btnRetryNow, &QPushButton::clicked, this, &TfrmQueue::btnRetryNowClick);
    connect(btnClose, &QPushButton::clicked, this, &TfrmQueue::btnCloseClick);
    connect(grdQueue->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TfrmQueue::updateButtons);
    // A closed window reads nothing; it reads the queue afresh when it is shown.
    connect(&m_gateway, &GatewayControl::queueChanged, this, [this] {
        if (isVisible())
            reload();
    });
    connect(&m_gateway, &GatewayControl::pageOnWireChanged, this, [this](qint64 id) {
        m_onWire = id;
        m_model->setPageOnWire(id);
        updateButtons();
    });
    updateButtons();
}

void TfrmQueue::showWindow()
{
    show();
    raise();
    activateWindow();
}

void TfrmQueue::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfrmQueue::FormShow()
{
    reload();
}

qint64 TfrmQueue::selectedId() const
{
    const QModelIndexList rows = grdQueue->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : m_model->idAt(rows.first().row());
}

bool TfrmQueue::selectPage(qint64 id)
{
    const int row = m_model->rowOf(id);
    if (row < 0) {
        grdQueue->clearSelection();
        return false;
    }
    grdQueue->selectRow(row);
    return true;
}

void TfrmQueue::reload()
{
    const qint64 selected = selectedId();
    QList<GatewayPage> rows;
    QString problem;
    try {
        rows = GatewayStore::listing(m_db);
    } catch (const DataError &error) {
        problem = error.text();
    }
    const int count = int(rows.size());
    m_model->setRows(std::move(rows));
    m_model->setPageOnWire(m_onWire);
    lblCount->setText(problem.isEmpty() ? QStringLiteral("Pagine in coda: %1").arg(count)
                                        : QStringLiteral("Coda non leggibile: %1").arg(problem));
    if (selected != 0)
        selectPage(selected);
    updateButtons();
}

void TfrmQueue::updateButtons()
{
    const qint64 id = selectedId();
    const bool onWire = id != 0 && id == m_onWire;
    btnCancelPage->setEnabled(id != 0 && !onWire);
    btnRetryNow->setEnabled(id != 0 && !onWire);
    btnCancelPage->setToolTip(onWire ? kOnWireText : QString());
    lblOnWire->setText(onWire ? kOnWireText : QString());
}

void TfrmQueue::btnCancelPageClick()
{
    const qint64 id = selectedId();
    const GatewayPage *row = m_model->at(m_model->rowOf(id));
    if (!row || id == m_onWire)
        return;
    const QString question = kCancelQuestion.arg(row->recipt.trimmed(), QString::fromLatin1(row->header));
    if (!m_alerts.ask(question, kCaption, AlertIcon::Warning, AlertButtons::YesNo))
        return;
    // The gateway refuses it should the page have gone on the wire while the question showed.
    m_gateway.cancelPage(id);
}

void TfrmQueue::btnRetryNowClick()
{
    if (const qint64 id = selectedId(); id != 0)
        m_gateway.retryPage(id);
}

void TfrmQueue::btnCloseClick()
{
    close();
}
