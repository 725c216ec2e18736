#pragma once

// The capcode dialog: composes a pager code from capcode, type, rate and cadence.

#include <QDialog>

class QLineEdit;

class TfrmPinId : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmPinId(QWidget *parent = nullptr);

    // The field to read when shown and to write back on OK.
    void setTarget(QLineEdit *target) { m_target = target; }

private:
    QLineEdit *m_target = nullptr;
};
