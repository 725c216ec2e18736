#include "gateway/ClientFilter.h"

ClientFilter::ClientFilter(const QString &allowed)
{
    for (const QString &raw : allowed.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty())
            continue;
        if (entry.contains(QLatin1Char('/'))) {
            const QPair<QHostAddress, int> range = QHostAddress::parseSubnet(entry);
            if (range.first.isNull()) {
                m_invalid << entry;
                continue;
            }
            QHostAddress base = range.first;
            int length = range.second;
            // A range written as IPv4-mapped IPv6 is an IPv4 range.
            bool mapped = false;
            const quint32 v4 = base.toIPv4Address(&mapped);
            if (mapped && base.protocol() == QAbstractSocket::IPv6Protocol && length >= 96) {
                base = QHostAddress(v4);
                length -= 96;
            }
            m_ranges.append({ base, length });
            continue;
        }
        const QHostAddress address(entry);
        if (address.isNull()) {
            m_invalid << entry;
            continue;
        }
        const QHostAddress plain = normalised(address);
        m_ranges.append({ plain, plain.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128 });
    }
}

QHostAddress ClientFilter::normalised(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped)
        return QHostAddress(v4);
    QHostAddress plain(address);
    plain.setScopeId(QString());
    return plain;
}

bool ClientFilter::allows(const QHostAddress &address) const
{
    const QHostAddress plain = normalised(address);
    for (const auto &[base, length] : m_ranges) {
        if (plain.isInSubnet(base, length))
            return true;
    }
    return false;
}
