#include "ui/StatusBar.h"

#include <QLabel>
#include <QProgressBar>

namespace {
QLabel *panel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name); // no accessible name: a screen reader reads the panel's text
    label->setFrameShape(QFrame::StyledPanel);
    label->setFrameShadow(QFrame::Sunken);
    return label;
}
} // namespace

StatusBar::StatusBar(QWidget *parent)
    : QStatusBar(parent)
{
    setObjectName(QStringLiteral("StatusBar1"));
    setAccessibleName(QStringLiteral("StatusBar1"));
    setSizeGripEnabled(false);

    PB1 = new QProgressBar(this);
    PB1->setObjectName(QStringLiteral("PB1"));
    PB1->setAccessibleName(QStringLiteral("PB1"));
    PB1->setRange(0, 100);
    PB1->setValue(0);
    PB1->setTextVisible(false);
    PB1->setFixedWidth(370);

    m_port = panel(QStringLiteral("StatusPanel1"), QString(), this);
    // 300 pixels, or the width of the settings text where the font needs more.
    m_port->setMinimumWidth(300);
    m_state = panel(QStringLiteral("StatusPanel2"), QStringLiteral("Pronto"), this);
    // The gateway's panel reads its current text as well.
    m_gateway = panel(QStringLiteral("StatusPanel3"), QStringLiteral("SNPP: spento"), this);

    addWidget(PB1);
    addWidget(m_port);
    addWidget(m_state, 1);
    addPermanentWidget(m_gateway);
}

QString StatusBar::portText() const
{
    return m_port->text();
}

QString StatusBar::stateText() const
{
    return m_state->text();
}

QString StatusBar::gatewayText() const
{
    return m_gateway->text();
}

void StatusBar::setProgress(int maximum, int position)
{
    // A range of 0..0 would show a busy animation, and values above the maximum are ignored.
    const int top = qMax(1, maximum);
    PB1->setRange(0, top);
    PB1->setValue(qBound(0, position, top));
}

void StatusBar::advanceProgress(int count)
{
    const qint64 next = qint64(PB1->value()) + count;
    PB1->setValue(static_cast<int>(qBound(qint64(0), next, qint64(PB1->maximum()))));
}

void StatusBar::setPortText(const QString &text)
{
    m_port->setText(text);
}

void StatusBar::setStateText(const QString &text)
{
    m_state->setText(text);
}

void StatusBar::setGatewayText(const QString &text)
{
    m_gateway->setText(text);
}
