#pragma once

// The address book and the preset messages in and out of spreadsheet files. An import is
// worked out whole before anything is written: every record is checked with the rules of its
// window (name required and unique against the table and the rest of the file, the pager code
// of a user, the text of a preset), and the summary lists what would be added and every record
// refused with its file line and the reason. Then the accepted records go in in one
// transaction, or none of them does.

#include "store/DataStores.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// A column a file may hold: its name in the table, and the caption of its field in the window
// (a header matches either, without regard to case or a trailing colon).
struct CsvColumn
{
    QString name;
    QString caption;
};

struct CsvRefusal
{
    int line = 0; // the file line where the refused record starts
    QString reason;
};

// What an import would do.
struct CsvImportPlan
{
    QString error; // the file cannot be imported at all (set alone, with the operator's text)
    QString encoding; // what the file was read as: "UTF-8", "Windows-1252" or "UTF-16"
    QStringList ignoredColumns; // header fields naming no column, in file order
    QList<CsvRefusal> refused;
    qsizetype accepted = 0;
};

namespace CsvImportTexts {
inline const QString kCaption = QStringLiteral("Importa CSV");
inline const QString kExportCaption = QStringLiteral("Esporta CSV");
inline const QString kCannotRead = QStringLiteral("Impossibile leggere il file %1: %2");
inline const QString kTooLarge = QStringLiteral("Il file %1 è troppo grande per essere importato.");
inline const QString kNotCsv = QStringLiteral("Il file %1 non è un file CSV valido: %2.");
inline const QString kEmpty = QStringLiteral("Il file %1 è vuoto.");
inline const QString kNoUserColumn
    = QStringLiteral("Nel file %1 manca la colonna \"Recipient\" (o \"Utente\"): nessun utente importato.");
inline const QString kNoPresetColumn
    = QStringLiteral("Nel file %1 manca la colonna \"Name\" (o \"Nome\"): nessun messaggio importato.");
inline const QString kAskUsers = QStringLiteral("Importare %1 utenti?");
inline const QString kAskPresets = QStringLiteral("Importare %1 messaggi?");
inline const QString kNoUsers = QStringLiteral("Nessun utente da importare.");
inline const QString kNoPresets = QStringLiteral("Nessun messaggio da importare.");
inline const QString kImportedUsers = QStringLiteral("Importati %1 utenti.");
inline const QString kImportedPresets = QStringLiteral("Importati %1 messaggi.");
inline const QString kImportFailed = QStringLiteral("Importazione non riuscita, nessun dato è stato scritto: %1");
inline const QString kExportedUsers = QStringLiteral("Esportati %1 utenti in %2.");
inline const QString kExportedPresets = QStringLiteral("Esportati %1 messaggi in %2.");
inline const QString kExportFailed = QStringLiteral("Esportazione non riuscita: %1");
inline const QString kFilter = QStringLiteral("File CSV (*.csv)");
} // namespace CsvImportTexts

// Files larger than this are refused before they are read.
inline constexpr qint64 kCsvImportMaxBytes = 64LL * 1024 * 1024;

// Reads a file for import; on failure returns false with the operator's text in error.
bool ReadCsvImportFile(const QString &path, QByteArray &bytes, QString &error);

// The summary of a plan for the operator: counts, refused records, ignored columns.
QString CsvImportSummary(const CsvImportPlan &plan, const QString &path, bool presets);

// Shared by both imports: header mapping, record walk, name uniqueness.
class CsvImport
{
public:
    virtual ~CsvImport() = default;

    // Reads and checks the whole file (path only names it in the texts). Throws DataError when
    // the table cannot be read.
    CsvImportPlan check(const QByteArray &bytes, const QString &path);
    // Adds the accepted records in one transaction and returns how many; throws DataError,
    // and then nothing was added.
    qsizetype apply();

protected:
    CsvImport(QSqlDatabase db, QList<CsvColumn> columns, QString missingKeyText);

    // The names already in the table, as stored (throws DataError).
    virtual QStringList storedNames() const = 0;
    // A record's name as it would be stored, from its field as read.
    virtual QString storedName(const QString &field) const;
    // Checks one record (values by column, empty where the file has none, guard apostrophes
    // removed); keeps it and returns an empty text, or returns the reason of the refusal.
    // The name has been checked already.
    virtual QString checkRecord(const QString &name, const QStringList &values) = 0;
    virtual void insertAccepted() = 0; // inside the transaction; throws DataError
    virtual void clearAccepted() = 0;
    virtual QString inBookReason(const QString &name) const = 0;

    QSqlDatabase m_db;

private:
    QList<CsvColumn> m_columns;
    QString m_missingKeyText;
    qsizetype m_accepted = 0;
    QStringList m_acceptedNames;
};

// An import of one kind of row: keeps the accepted records until they are added.
template <typename Row> class CsvImportOf : public CsvImport
{
public:
    const QList<Row> &accepted() const { return m_rows; }

protected:
    using CsvImport::CsvImport;
    void clearAccepted() override { m_rows.clear(); }

    QList<Row> m_rows;
};

class RecipientCsvImport : public CsvImportOf<Recipient>
{
public:
    explicit RecipientCsvImport(QSqlDatabase db);
    static const QList<CsvColumn> &columns();
    // Every user as a file: header row of column names, then one record per user.
    static QByteArray exportBytes(const QList<Recipient> &users);

protected:
    QStringList storedNames() const override;
    // In normal form C, as the recipients window stores it.
    QString storedName(const QString &field) const override;
    // The user's fields as the window takes them: names with a control character refused,
    // names in normal form C, the pager code as typed (checked, then padded).
    QString checkRecord(const QString &name, const QStringList &values) override;
    void insertAccepted() override;
    QString inBookReason(const QString &name) const override;
};

class PresetCsvImport : public CsvImportOf<PresetMessage>
{
public:
    explicit PresetCsvImport(QSqlDatabase db);
    static const QList<CsvColumn> &columns();
    static QByteArray exportBytes(const QList<PresetMessage> &presets);

protected:
    QStringList storedNames() const override;
    QString checkRecord(const QString &name, const QStringList &values) override;
    void insertAccepted() override;
    QString inBookReason(const QString &name) const override;
};
