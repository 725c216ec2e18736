#pragma once

// "Coda SNPP": the pages from other systems that wait for the encoder, listed live. The
// operator can cancel one (it leaves the queue with its report row "Annullata") or make it due
// at once. The window is not modal, so pages go on being sent while it is open; the page on
// the wire cannot be cancelled. It reads the queue on the window's own connection whenever the
// gateway says the queue changed.

#include <QDialog>
#include <QSqlDatabase>

class AlertSink;
class GatewayControl;
class QLabel;
class QPushButton;
class QTableView;
class QueueModel;

class TfrmQueue : public QDialog
{
    Q_OBJECT

public:
    TfrmQueue(GatewayControl &gateway, QSqlDatabase db, AlertSink &alerts, QWidget *parent = nullptr);

    QueueModel *model() const { return m_model; }
    qint64 selectedId() const;
    // Selects the page with that id; false when it is not listed.
    bool selectPage(qint64 id);

    // Opens the window (or brings it to the front) beside the main window.
    void showWindow();

    void FormShow();
    void btnCancelPageClick();
    void btnRetryNowClick();
    void btnCloseClick();

    static const QString kOnWireText;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QTableView *grdQueue = nullptr;
    QLabel *lblCount = nullptr; // the pages waiting, or why the queue cannot be read
    QLabel *lblOnWire = nullptr; // why the selected page cannot be cancelled
    QPushButton *btnCancelPage = nullptr; // "Annulla pagina"
    QPushButton *btnRetryNow = nullptr; // "Riprova ora"
    QPushButton *btnClose = nullptr; // "Chiudi"

    void reload();
    void updateButtons();

    GatewayControl &m_gateway;
    QSqlDatabase m_db;
    AlertSink &m_alerts;
    QueueModel *m_model = nullptr;
    qint64 m_onWire = 0;
};
