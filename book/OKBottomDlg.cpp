#include "book/OKBottomDlg.h"

#include "core/WindowPlacement.h"
#include "link/CapcodeNote.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QStringList kNoteLines = {
    QStringLiteral("La codifica del capcode del ricevitore ha il seguente formato: CCCCCCCXYZ."),
    QStringLiteral("CCCCCCC è il capcode del ricevitore (identificativo univoco), compreso fra 8 e 2097151;"),
    QStringLiteral("X è il tipo di codifica del messaggio: A (alfanumerica) - N (numerica);"),
    QStringLiteral("Y è la velocità di codifica: 1 (1200 bps) - 5 (512 bps) - 2 (2400 bps);"),
    QStringLiteral("Z è la cadenza della suoneria con cui il ricevitore avviserà il proprio utente alla ricezione "
                   "di un messaggio numerico o alfanumerico (A=1, B=2, C=3, D=4)."),
};

} // namespace

TOKBottomDlg::TOKBottomDlg(CapcodeNote &note, QWidget *parent)
    : QDialog(parent)
    , m_note(note)
{
    setObjectName(QStringLiteral("OKBottomDlg"));
    setWindowTitle(QStringLiteral("Informazione"));
    // A fixed dialog frame with only the system menu and its close button.
    WindowPlacement::setFixedFrame(this, WindowPlacement::TitleButtons::Close);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setAccessibleName(QStringLiteral("Bevel1"));

    Label1 = new QLabel(Bevel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);

    Memo1 = new QPlainTextEdit(Bevel1);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setPlainText(kNoteLines.join(QLatin1Char('\n')));
    Memo1->setAccessibleName(QStringLiteral("Memo1"));
    Memo1->setMinimumSize(480, 150);

    auto *inner = new QVBoxLayout(Bevel1);
    inner->addWidget(Label1);
    inner->addWidget(Memo1);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Bevel1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString TOKBottomDlg::headingFor(const QString &noteText)
{
    if (noteText.isEmpty())
        return QStringLiteral("  ");
    return noteText + QStringLiteral(" Leggere la nota sotto e poi premere [...]") + QString(20, QLatin1Char(' '));
}

void TOKBottomDlg::FormShow()
{
    Label1->setText(headingFor(m_note.text));
}

void TOKBottomDlg::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}
