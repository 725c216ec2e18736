#pragma once

// Which client addresses may talk to the gateway: addresses or CIDR ranges, comma-separated
// ("127.0.0.1,::1,192.168.1.0/24"). An IPv4-mapped IPv6 address is compared as IPv4.

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class ClientFilter
{
public:
    ClientFilter() = default;
    explicit ClientFilter(const QString &allowed);

    bool allows(const QHostAddress &address) const;
    // Entries that are neither an address nor a range (they allow nothing).
    const QStringList &invalidEntries() const { return m_invalid; }

    // The address as compared: IPv4-mapped IPv6 becomes IPv4, the scope is dropped.
    static QHostAddress normalised(const QHostAddress &address);

private:
    QList<QPair<QHostAddress, int>> m_ranges;
    QStringList m_invalid;
};
