#include "link/MessageFilter.h"

QString MessageFilter::filtered(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (isAllowed(c))
            out.append(c);
    }
    return out;
}
