#include "core/FormLabels.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

QLabel *makeCaption(const QString &name, const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setBuddy(buddy);
    buddy->setAccessibleName(text);
    return label;
}

std::pair<QPushButton *, QPushButton *> makeOkCancelButtons(QWidget *parent)
{
    QStyle *style = parent->style();
    auto *ok = new QPushButton(style->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), parent);
    ok->setObjectName(QStringLiteral("BitBtn1"));
    ok->setDefault(true);
    auto *cancel
        = new QPushButton(style->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), parent);
    cancel->setObjectName(QStringLiteral("BitBtn2"));
    return { ok, cancel };
}

void layOutWithButtons(QWidget *window, QLayout *fields, QPushButton *ok, QPushButton *cancel)
{
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(window);
    layout->addLayout(fields);
    layout->addLayout(buttons);
}
