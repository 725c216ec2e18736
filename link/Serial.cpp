#include "link/Serial.h"

#include "core/AlertSink.h"
#include "core/DataErrors.h"
#include "core/FormLabels.h"
#include "core/ModalRunner.h"
#include "link/PortNames.h"
#include "store/DataStores.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <tuple>

namespace {

// A stored position outside its list shows the default position instead.
int positionOr(int stored, int count, int fallback)
{
    return stored >= 0 && stored < count ? stored : fallback;
}

} // namespace

TfrmCOM::TfrmCOM(SerialStore &serial, AlertSink &alerts, const QString &workDir, QWidget *parent)
    : QDialog(parent)
    , m_serial(serial)
    , m_alerts(alerts)
    , m_workDir(workDir)
{
    setObjectName(QStringLiteral("frmCOM"));
    setWindowTitle(QStringLiteral("Porta COM"));

    cboPort = new QComboBox(this);
    cboPort->setObjectName(QStringLiteral("cboPort"));
    cboPort->addItems(SerialSettings::portNames());
    cboBaud = new QComboBox(this);
    cboBaud->setObjectName(QStringLiteral("cboBaud"));
    for (const int rate : SerialSettings::baudRates())
        cboBaud->addItem(QString::number(rate));
    cboData = new QComboBox(this);
    cboData->setObjectName(QStringLiteral("cboData"));
    cboData->addItems({ QStringLiteral("7,E,1"), QStringLiteral("8,N,1") });
    cboPort->setCurrentIndex(0);
    cboBaud->setCurrentIndex(3);
    cboData->setCurrentIndex(1);

    Label1 = makeCaption(QStringLiteral("Label1"), QStringLiteral("Porta"), cboPort, this);
    Label2 = makeCaption(QStringLiteral("Label2"), QStringLiteral("Velocità (bit/s)"), cboBaud, this);
    Label3 = makeCaption(QStringLiteral("Label3"), QStringLiteral("Formato dati"), cboData, this);
    lblDevice = new QLabel(this);
    lblDevice->setObjectName(QStringLiteral("lblDevice"));
    // No accessible name: assistive technology reads the device the port stands for.
    lblDevice->setTextInteractionFlags(Qt::TextSelectableByMouse);

    std::tie(BitBtn1, BitBtn2) = makeOkCancelButtons(this);

    auto *grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(cboPort, 0, 1);
    grid->addWidget(lblDevice, 0, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(cboBaud, 1, 1);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(cboData, 2, 1);
    layOutWithButtons(this, grid, BitBtn1, BitBtn2);

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmCOM::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmCOM::BitBtn2Click);
    connect(cboPort, &QComboBox::currentIndexChanged, this, &TfrmCOM::cboPortChange);
    cboPortChange();

    FormCreate();
}

int TfrmCOM::showModal()
{
    return ModalRunner::exec(this);
}

void TfrmCOM::FormCreate()
{
    showingDataErrors(m_alerts, [&] { m_serial.ensureDefaultRow(); });
}

void TfrmCOM::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TfrmCOM::FormShow()
{
    showingDataErrors(m_alerts, [&] {
        const SerialSettings stored = m_serial.read();
        cboPort->setCurrentIndex(positionOr(stored.port, cboPort->count(), 0));
        cboBaud->setCurrentIndex(positionOr(stored.baud, cboBaud->count(), 3));
        cboData->setCurrentIndex(positionOr(stored.data, cboData->count(), 1));
    });
    cboPortChange();
}

void TfrmCOM::BitBtn1Click()
{
    SerialSettings settings;
    settings.port = cboPort->currentIndex();
    settings.baud = cboBaud->currentIndex();
    settings.data = cboData->currentIndex();
    if (!showingDataErrors(m_alerts, [&] { m_serial.write(settings); }))
        return;
    emit settingsStored();
    accept();
}

void TfrmCOM::BitBtn2Click()
{
    reject();
}

void TfrmCOM::cboPortChange()
{
    const QString device = ResolvePortDevice(cboPort->currentText(), m_workDir);
    lblDevice->setText(device.isEmpty() ? QStringLiteral("nessun dispositivo") : QStringLiteral("→ %1").arg(device));
}
