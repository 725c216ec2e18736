#include "gateway/SnppSettings.h"

#include "core/AlertSink.h"
#include "core/DataErrors.h"
#include "core/Errors.h"
#include "core/FormLabels.h"
#include "core/ModalRunner.h"
#include "gateway/ClientFilter.h"
#include "gateway/GatewayControl.h"
#include "send/Password.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <tuple>

namespace {

const QString kNotNumber = QStringLiteral("Valore non valido nel campo \"%1\": inserire un numero intero.");
const QString kPortRange = QStringLiteral("Il campo \"Porta TCP\" deve essere tra 1 e 65535.");
const QString kBadAddress = QStringLiteral("Indirizzo non valido: \"%1\".");
const QString kBadAllowed = QStringLiteral("Client ammessi non validi: %1");

QLineEdit *edit(const QString &name, QWidget *parent)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}

} // namespace

TfrmGateway::TfrmGateway(GatewayControl &gateway, AlertSink &alerts, QWidget *parent)
    : QDialog(parent)
    , m_gateway(gateway)
    , m_alerts(alerts)
{
    setObjectName(QStringLiteral("frmGateway"));
    setWindowTitle(QStringLiteral("Gateway SNPP"));

    chkEnabled = new QCheckBox(QStringLiteral("Accetta pagine da altri sistemi (SNPP)"), this);
    chkEnabled->setObjectName(QStringLiteral("chkEnabled"));
    edtAddress = edit(QStringLiteral("edtAddress"), this);
    edtPort = edit(QStringLiteral("edtPort"), this);
    edtPort->setMaxLength(5);
    edtAllowed = edit(QStringLiteral("edtAllowed"), this);
    edtAllowed->setMinimumWidth(260);
    edtLogin = edit(QStringLiteral("edtLogin"), this);
    edtPassword = edit(QStringLiteral("edtPassword"), this);
    edtPassword->setEchoMode(QLineEdit::Password);
    edtExpiry = edit(QStringLiteral("edtExpiry"), this);
    edtExpiry->setMaxLength(6);

    Label1 = makeCaption(QStringLiteral("Label1"), QStringLiteral("Indirizzo"), edtAddress, this);
    Label2 = makeCaption(QStringLiteral("Label2"), QStringLiteral("Porta TCP"), edtPort, this);
    Label3 = makeCaption(QStringLiteral("Label3"), QStringLiteral("Client ammessi"), edtAllowed, this);
    Label4 = makeCaption(QStringLiteral("Label4"), QStringLiteral("Utente"), edtLogin, this);
    Label5 = makeCaption(QStringLiteral("Label5"), QStringLiteral("Password"), edtPassword, this);
    Label6 = makeCaption(QStringLiteral("Label6"), QStringLiteral("Scadenza (minuti)"), edtExpiry, this);
    lblState = new QLabel(this);
    lblState->setObjectName(QStringLiteral("lblState"));
    lblState->setTextInteractionFlags(Qt::TextSelectableByMouse);

    std::tie(BitBtn1, BitBtn2) = makeOkCancelButtons(this);

    auto *grid = new QGridLayout;
    grid->addWidget(chkEnabled, 0, 0, 1, 2);
    int row = 1;
    for (auto [label, field] : { std::pair<QLabel *, QLineEdit *> { Label1, edtAddress },
                                 { Label2, edtPort },
                                 { Label3, edtAllowed },
                                 { Label4, edtLogin },
                                 { Label5, edtPassword },
                                 { Label6, edtExpiry } }) {
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        ++row;
    }
    grid->addWidget(lblState, row, 0, 1, 2);
    layOutWithButtons(this, grid, BitBtn1, BitBtn2);

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmGateway::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmGateway::BitBtn2Click);
}

int TfrmGateway::showModal()
{
    return ModalRunner::exec(this);
}

bool TfrmGateway::askPassword()
{
    return !m_password || m_password->askFor(m_guard) == QDialog::Accepted;
}

void TfrmGateway::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TfrmGateway::FormShow()
{
    GatewaySettings s = m_gateway.settings();
    try {
        s = m_gateway.storedSettings();
    } catch (const DataError &) {
    }
    chkEnabled->setChecked(s.enabled);
    edtAddress->setText(s.address);
    edtPort->setText(QString::number(s.port));
    edtAllowed->setText(s.allowed);
    edtLogin->setText(s.login);
    edtPassword->setText(s.password);
    edtExpiry->setText(QString::number(s.expiryMinutes));
    lblState->setText(m_gateway.statusText());
}

void TfrmGateway::BitBtn1Click()
{
    GatewaySettings s;
    s.enabled = chkEnabled->isChecked();
    s.address = edtAddress->text().trimmed();
    bool number = false;
    s.port = edtPort->text().trimmed().toInt(&number);
    s.allowed = edtAllowed->text().trimmed();
    s.login = edtLogin->text();
    s.password = edtPassword->text();
    bool minutes = false;
    s.expiryMinutes = edtExpiry->text().trimmed().toInt(&minutes);

    if (!number) {
        m_alerts.plain(kNotNumber.arg(Label2->text()));
        edtPort->setFocus();
        return;
    }
    if (!minutes || s.expiryMinutes < 0) {
        m_alerts.plain(kNotNumber.arg(Label6->text()));
        edtExpiry->setFocus();
        return;
    }
    if (s.port < 1 || s.port > 65535) {
        m_alerts.plain(kPortRange);
        edtPort->setFocus();
        return;
    }
    if (QHostAddress(s.address).isNull()) {
        m_alerts.plain(kBadAddress.arg(s.address));
        edtAddress->setFocus();
        return;
    }
    const QStringList invalid = ClientFilter(s.allowed).invalidEntries();
    if (!invalid.isEmpty()) {
        m_alerts.plain(kBadAllowed.arg(invalid.join(QStringLiteral(", "))));
        edtAllowed->setFocus();
        return;
    }
    if (!showingDataErrors(m_alerts, [&] { m_gateway.storeSettings(s); }))
        return;
    // Stored either way; when the address cannot be bound the console goes on without it.
    const QString error = m_gateway.apply(s);
    if (!error.isEmpty())
        m_alerts.plain(GatewayControl::bindFailureText(s, error));
    accept();
}

void TfrmGateway::BitBtn2Click()
{
    reject();
}
