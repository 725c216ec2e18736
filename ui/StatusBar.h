#pragma once

// The main window's status bar: the progress of the frame being sent, then the serial settings,
// the sending state and, at the right end, the SNPP gateway. One slot per panel.

#include <QStatusBar>

class QLabel;
class QProgressBar;

class StatusBar : public QStatusBar
{
    Q_OBJECT

public:
    explicit StatusBar(QWidget *parent = nullptr);

    QString portText() const;
    QString stateText() const;
    QString gatewayText() const;

public slots:
    // Progress bar of the frame being sent; values are clamped, the maximum kept >= 1.
    void setProgress(int maximum, int position);
    void advanceProgress(int count);
    void setPortText(const QString &text); // the serial settings (StatusPanel1)
    void setStateText(const QString &text); // the sending state (StatusPanel2)
    void setGatewayText(const QString &text); // the SNPP gateway (StatusPanel3)

private:
    QProgressBar *PB1 = nullptr;
    QLabel *m_port = nullptr;
    QLabel *m_state = nullptr;
    QLabel *m_gateway = nullptr;
};
