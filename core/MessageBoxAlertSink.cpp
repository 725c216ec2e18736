#include "core/MessageBoxAlertSink.h"

#include <QMessageBox>

namespace {

QMessageBox::Icon toIcon(AlertIcon icon)
{
    switch (icon) {
    case AlertIcon::Information:
        return QMessageBox::Information;
    case AlertIcon::Warning:
        return QMessageBox::Warning;
    case AlertIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void MessageBoxAlertSink::plain(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, kProgramTitle, text, QMessageBox::Ok, m_owner);
    box.exec();
}

void MessageBoxAlertSink::captioned(const QString &text, const QString &caption, AlertIcon icon)
{
    QMessageBox box(toIcon(icon), caption, text, QMessageBox::Ok, m_owner);
    box.exec();
}

bool MessageBoxAlertSink::ask(const QString &text, const QString &caption, AlertIcon icon, AlertButtons buttons)
{
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    QMessageBox::StandardButton yes = QMessageBox::Ok;
    if (buttons == AlertButtons::OkCancel) {
        standard = QMessageBox::Ok | QMessageBox::Cancel;
    } else if (buttons == AlertButtons::YesNo) {
        standard = QMessageBox::Yes | QMessageBox::No;
        yes = QMessageBox::Yes;
    }
    QMessageBox box(toIcon(icon), caption.isEmpty() ? kProgramTitle : caption, text, standard, m_owner);
    return box.exec() == yes;
}
