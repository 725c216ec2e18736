#include "ui/Unit1.h"

TForm1::TForm1(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tesma Message Sender (Versione 2.83)"));
}
