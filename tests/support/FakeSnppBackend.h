#pragma once

#include "gateway/SnppSession.h"

#include <QMap>

// An address book and a queue in memory for sessions without a console behind them.
class FakeSnppBackend final : public SnppBackend
{
public:
    Lookup findRecipient(const QString &name) override
    {
        if (bookFails)
            return { std::nullopt, true };
        for (const Recipient &r : book) {
            if (r.recipient.compare(name, Qt::CaseInsensitive) == 0)
                return { r, false };
        }
        return {};
    }
    QString loginUser() const override { return user; }
    QString loginPassword() const override { return password; }
    Submit submit(QList<GatewayPage> &pages) override
    {
        if (fail)
            return Submit::Failed;
        if (queued.size() + pages.size() > limit)
            return Submit::Full;
        queued += pages;
        return Submit::Queued;
    }

    QList<Recipient> book;
    QString user;
    QString password;
    QList<GatewayPage> queued;
    int limit = GatewayStore::kQueueLimit;
    bool fail = false;
    bool bookFails = false;
};
