#include "book/About.h"

#include "core/WindowPlacement.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

const QString TAboutBox::kWebAddress = QStringLiteral("https://www.tesma.example.com/   ");
const QString TAboutBox::kMailAddress = QStringLiteral("assistenza@tesma.example.com       ");

namespace {

QLabel *makeLink(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(palette);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->setCursor(Qt::PointingHandCursor);
    label->setAttribute(Qt::WA_Hover);
    return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent)
    , m_open([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("Info"));
    WindowPlacement::setFixedFrame(this, WindowPlacement::TitleButtons::Close);

    // Raised inner and lowered outer edge.
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(2);
    Panel1->setMidLineWidth(1);
    Panel1->setAccessibleName(QStringLiteral("Panel1"));

    ProductName = new QLabel(QStringLiteral("Tesma Message Sender"), Panel1);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont bold = ProductName->font();
    bold.setBold(true);
    ProductName->setFont(bold);

    Version = new QLabel(QStringLiteral("Versione 2.83 (2008.6.11)"), Panel1);
    Version->setObjectName(QStringLiteral("Version"));

    Copyright
        = new QLabel(QStringLiteral("Copyright © 2008-2026 Tesma Console Team. Tutti i diritti riservati."), Panel1);
    Copyright->setObjectName(QStringLiteral("Copyright"));

    lblUrl = makeLink(QStringLiteral("lblUrl"), kWebAddress, Panel1);
    lblEmail = makeLink(QStringLiteral("lblEmail"), kMailAddress, Panel1);
    for (QLabel *link : { lblUrl, lblEmail })
        link->installEventFilter(this);

    auto *panelLayout = new QVBoxLayout(Panel1);
    panelLayout->addWidget(ProductName);
    panelLayout->addWidget(Version);
    panelLayout->addWidget(Copyright);
    panelLayout->addSpacing(8);
    panelLayout->addWidget(lblUrl);
    panelLayout->addWidget(lblEmail);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Panel1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

// The stored addresses carry trailing blanks; they are display padding, so the address handed
// to the desktop is trimmed (a mail program would otherwise receive an address ending in blanks).
void TAboutBox::lblUrlClick()
{
    m_open(QUrl(kWebAddress.trimmed()));
}

void TAboutBox::lblEmailClick()
{
    m_open(QUrl(QStringLiteral("mailto:") + kMailAddress.trimmed()));
}

void TAboutBox::lblUrlMouseEnter(QLabel *sender)
{
    QFont font = sender->font();
    font.setBold(true);
    font.setUnderline(true);
    sender->setFont(font);
}

void TAboutBox::lblUrlMouseLeave(QLabel *sender)
{
    QFont font = sender->font();
    font.setBold(false);
    font.setUnderline(true);
    sender->setFont(font);
}

bool TAboutBox::eventFilter(QObject *watched, QEvent *event)
{
    auto *label = qobject_cast<QLabel *>(watched);
    if (label != lblUrl && label != lblEmail)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Enter:
        lblUrlMouseEnter(label);
        break;
    case QEvent::Leave:
        lblUrlMouseLeave(label);
        break;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton
            && label->rect().contains(static_cast<QMouseEvent *>(event)->position().toPoint())) {
            if (label == lblUrl)
                lblUrlClick();
            else
                lblEmailClick();
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}
