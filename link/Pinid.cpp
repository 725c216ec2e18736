#include "link/Pinid.h"

TfrmPinId::TfrmPinId(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPinId"));
    setWindowTitle(QStringLiteral("Parametri di codifica"));
}
