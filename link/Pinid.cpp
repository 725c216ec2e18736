#include "link/Pinid.h"

#include "core/AlertSink.h"
#include "core/FormLabels.h"
#include "core/ModalRunner.h"
#include "core/WindowPlacement.h"
#include "link/CapcodeNote.h"
#include "link/PagerCode.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>

const QString TfrmPinId::kCapcodeRefused = QStringLiteral("Capcode non ammesso!!!                     ");
const QString TfrmPinId::kCapcodeRefusedCaption = QStringLiteral("Errore           ");

namespace {

constexpr int kMinCapcode = 8;
constexpr int kMaxCapcode = 2097151;

// The capcode field's value when it is a decimal number (digits only) from 8 to 2097151.
int CapcodeValue(const QString &text)
{
    if (text.isEmpty() || text.size() > 7)
        return -1;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value >= kMinCapcode && value <= kMaxCapcode ? value : -1;
}

QString sevenDigits(int value)
{
    return QStringLiteral("%1").arg(value, 7, 10, QLatin1Char('0'));
}

} // namespace

TfrmPinId::TfrmPinId(AlertSink &alerts, CapcodeNote &note, QDialog &noteDialog, QWidget *parent)
    : QDialog(parent)
    , m_alerts(alerts)
    , m_note(note)
    , m_noteDialog(noteDialog)
{
    setObjectName(QStringLiteral("frmPinId"));
    setWindowTitle(QStringLiteral("Parametri di codifica"));
    // No title-bar buttons: the dialog is left through "OK" and "Cancella".
    WindowPlacement::setFixedFrame(this, WindowPlacement::TitleButtons::None);
    setMouseTracking(true);

    edtID = new QLineEdit(this);
    edtID->setObjectName(QStringLiteral("edtID"));
    edtID->setMaxLength(7);
    cboMsg = new QComboBox(this);
    cboMsg->setObjectName(QStringLiteral("cboMsg"));
    cboMsg->addItems({ QStringLiteral("Numerica"), QStringLiteral("Alfanumerica") });
    cboRat = new QComboBox(this);
    cboRat->setObjectName(QStringLiteral("cboRat"));
    cboRat->addItems({ QStringLiteral("512 bps"), QStringLiteral("1200 bps"), QStringLiteral("2400 bps") });
    cboFun = new QComboBox(this);
    cboFun->setObjectName(QStringLiteral("cboFun"));
    cboFun->addItems({ QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D") });
    edtIDPin = new QLineEdit(this);
    edtIDPin->setObjectName(QStringLiteral("edtIDPin"));
    edtIDPin->setEnabled(false);

    // The focus sink: taking the focus here makes the capcode field lose it.
    edtNull = new QLineEdit(this);
    edtNull->setObjectName(QStringLiteral("edtNull"));
    edtNull->setAccessibleName(QStringLiteral("edtNull"));
    edtNull->setFixedSize(4, 4);
    edtNull->setFrame(false);
    // Blends into the dialog: it only has to be able to hold the focus.
    edtNull->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; }"));

    Label1 = makeCaption(QStringLiteral("Label1"), QStringLiteral("Capcode (8 ÷ 2097151)"), edtID, this);
    Label2 = makeCaption(QStringLiteral("Label2"), QStringLiteral("Tipo di codifica"), cboMsg, this);
    Label3 = makeCaption(QStringLiteral("Label3"), QStringLiteral("Velocità di trasmissione"), cboRat, this);
    Label4 = makeCaption(QStringLiteral("Label4"), QStringLiteral("Cadenza suoneria"), cboFun, this);
    Label5 = makeCaption(QStringLiteral("Label5"), QStringLiteral("Codifica"), edtIDPin, this);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Cancella"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("[...]"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    for (QPushButton *button : { Button1, Button2, Button3 }) {
        // Enter only moves the focus; it never presses a button by default. A click does not
        // take the focus, so "Cancella" leaves without composing.
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::TabFocus);
    }

    auto *grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(edtID, 0, 1);
    grid->addWidget(Button3, 0, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(cboMsg, 1, 1);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(cboRat, 2, 1);
    grid->addWidget(Label4, 3, 0);
    grid->addWidget(cboFun, 3, 1);
    grid->addWidget(Label5, 4, 0);
    grid->addWidget(edtIDPin, 4, 1);
    grid->addWidget(edtNull, 4, 2, Qt::AlignLeft | Qt::AlignBottom);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    edtID->installEventFilter(this);
    connect(edtID, &QLineEdit::textEdited, this, [this] { m_capcodeEdited = true; });
    connect(cboMsg, &QComboBox::activated, this, &TfrmPinId::cboMsgClick);
    connect(cboRat, &QComboBox::activated, this, &TfrmPinId::cboRatClick);
    connect(cboFun, &QComboBox::activated, this, &TfrmPinId::cboFunClick);
    connect(Button1, &QPushButton::clicked, this, &TfrmPinId::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmPinId::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TfrmPinId::Button3Click);
}

bool TfrmPinId::compose()
{
    m_capcodeEdited = false;
    const int capcode = CapcodeValue(edtID->text());
    if (capcode < 0) {
        m_alerts.captioned(kCapcodeRefused, kCapcodeRefusedCaption, AlertIcon::Warning);
        edtID->setFocus(Qt::OtherFocusReason);
        return false;
    }
    edtID->setText(sevenDigits(capcode));
    edtIDPin->setText(edtID->text() + cboMsg->currentText().left(1) + cboRat->currentText().left(1)
                      + QString::number(cboFun->currentIndex() + 1));
    return true;
}

void TfrmPinId::FormShow()
{
    m_capcodeEdited = false;
    const QString code = m_target ? m_target->text() : QString();
    if (CheckPagerCode(code) != CodeCheck::Ok) {
        edtID->clear();
        edtIDPin->clear();
        cboMsg->setCurrentIndex(1);
        cboRat->setCurrentIndex(1);
        cboFun->setCurrentIndex(0);
        return;
    }
    const qsizetype n = code.size();
    const QChar type = code.at(n - 3).toUpper();
    const QChar rate = code.at(n - 2);
    QChar function = code.at(n - 1);

    edtID->setText(sevenDigits(code.left(n - 3).toInt()));
    if (type == u'0' || type == u'N') {
        cboMsg->setCurrentIndex(0);
        if (function == u'0')
            function = u'1';
    } else {
        cboMsg->setCurrentIndex(1);
        if (function == u'0')
            function = u'4';
    }
    cboRat->setCurrentIndex(rate == u'5' ? 0 : rate == u'1' ? 1 : 2);
    cboFun->setCurrentIndex(function.unicode() - u'1');
    compose();
}

void TfrmPinId::FormMouseMove()
{
    if (edtID->hasFocus() && m_capcodeEdited)
        edtNull->setFocus(Qt::MouseFocusReason);
}

void TfrmPinId::edtIDExit()
{
    compose();
}

void TfrmPinId::edtIDKeyPress()
{
    edtNull->setFocus(Qt::OtherFocusReason);
}

void TfrmPinId::cboMsgClick()
{
    compose();
}

void TfrmPinId::cboRatClick()
{
    compose();
}

void TfrmPinId::cboFunClick()
{
    compose();
}

void TfrmPinId::Button1Click()
{
    if (!compose())
        return;
    if (m_target)
        m_target->setText(edtIDPin->text());
    accept();
}

void TfrmPinId::Button2Click()
{
    reject();
}

void TfrmPinId::Button3Click()
{
    m_note.text = QString(4, QLatin1Char(' '));
    ModalRunner::exec(&m_noteDialog);
}

void TfrmPinId::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
    edtID->setFocus(Qt::OtherFocusReason);
}

void TfrmPinId::mouseMoveEvent(QMouseEvent *event)
{
    if (!childAt(event->position().toPoint()))
        FormMouseMove();
    QDialog::mouseMoveEvent(event);
}

bool TfrmPinId::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == edtID) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                edtIDKeyPress();
                return true;
            }
        } else if (event->type() == QEvent::FocusOut) {
            // Only a move of the focus inside the dialog counts as leaving the field; the
            // window losing activation (a message box, another program) does not.
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                edtIDExit();
        }
    }
    return QDialog::eventFilter(watched, event);
}
