#pragma once

#include "store/GatewayStore.h"

#include <QObject>
#include <QString>

// What the gateway's windows ask of the gateway and hear from it. Gateway answers on the
// thread it lives in; GatewayThread carries the questions to the gateway's own thread and the
// news back, so a window never touches the gateway's objects.
class GatewayControl : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The settings in force.
    virtual GatewaySettings settings() const = 0;
    // Those of table gateway, read or written on the gateway's connection. Throw DataError.
    virtual GatewaySettings storedSettings() = 0;
    virtual void storeSettings(const GatewaySettings &settings) = 0;
    // Stores nothing: listens, moves or stops as the settings say. Returns why the address
    // could not be bound (the gateway is then off), empty when all went well.
    virtual QString apply(const GatewaySettings &settings) = 0;
    // "SNPP: spento", or the address listened on and the pages waiting, and any trouble.
    virtual QString statusText() const = 0;
    virtual qint64 pageOnWireId() const = 0; // 0: none

    // "Coda SNPP": the page leaves the queue with its report row "Annullata" (refused while it
    // is on the wire); or it is made due at once. Outcomes arrive as the signals below.
    virtual void cancelPage(qint64 id) = 0;
    virtual void retryPage(qint64 id) = 0;

    // What the operator is told when the address cannot be bound.
    static QString bindFailureText(const GatewaySettings &settings, const QString &error)
    {
        return QStringLiteral("Impossibile attivare il gateway SNPP su %1, porta %2: %3")
            .arg(settings.address)
            .arg(settings.port)
            .arg(error);
    }

signals:
    void statusChanged(const QString &text);
    void rowPosted(); // a report row was written
    void queueChanged(); // pages were queued, sent, cancelled or rescheduled
    void pageOnWireChanged(qint64 id); // 0: none
};
