#pragma once

// The groups in and out of spreadsheet files, one line per member under the header
// "Gruppo;Descrizione;Utente;Turni" (a group without members is one line with no user). The
// lines of a group make one record: it is refused whole when the group exists already, its
// name is a user's, a member is not in the address book or has duty hours that do not parse;
// every refused line is listed with its reason. The accepted groups go in in one transaction.

#include "book/CsvImport.h"
#include "store/GroupStore.h"

namespace GroupCsvTexts {
inline const QString kNoGroupColumn
    = QStringLiteral("Nel file %1 manca la colonna \"Gruppo\": nessun gruppo importato.");
inline const QString kAsk = QStringLiteral("Importare %1 gruppi?");
inline const QString kNone = QStringLiteral("Nessun gruppo da importare.");
inline const QString kImported = QStringLiteral("Importati %1 gruppi.");
inline const QString kExported = QStringLiteral("Esportati %1 gruppi in %2.");
} // namespace GroupCsvTexts

class GroupCsvImport
{
public:
    explicit GroupCsvImport(QSqlDatabase db);

    static const QList<CsvColumn> &columns();
    static QByteArray exportBytes(const QList<Group> &groups);
    // The summary for the operator, as the other imports give it.
    static QString summary(const CsvImportPlan &plan, const QString &path);

    // Reads and checks the whole file; plan.accepted counts groups. Throws DataError when the
    // tables cannot be read.
    CsvImportPlan check(const QByteArray &bytes, const QString &path);
    // Stores the accepted groups in one transaction and returns how many; throws DataError,
    // and then nothing was stored.
    qsizetype apply();
    const QList<Group> &accepted() const { return m_groups; }

private:
    QSqlDatabase m_db;
    QList<Group> m_groups;
};
