#include "book/CsvImport.h"

#include "book/EntryChecks.h"
#include "core/Csv.h"
#include "link/PagerCode.h"

#include <QFile>
#include <QHash>
#include <QSqlError>
#include <optional>

namespace {

constexpr qsizetype kNormalCodeLength = 10;

// Letters compared as the name columns compare them (COLLATE NOCASE): ASCII letters only.
QString foldName(const QString &name)
{
    QString folded = name;
    for (QChar &c : folded) {
        if (c.unicode() >= u'A' && c.unicode() <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return folded;
}

// A header field as it is compared: blanks and a trailing colon off, apostrophe guard off.
QString headerKey(const QString &field)
{
    QString key = Csv::unguard(field.trimmed());
    if (key.endsWith(QLatin1Char(':')))
        key.chop(1);
    return key.trimmed();
}

QString codeReason(const QString &code)
{
    const QString head = QStringLiteral("codifica \"%1\" non valida: ").arg(code);
    const CodeCheck verdict = code.size() > kNormalCodeLength ? CodeCheck::TooShort : CheckPagerCode(code);
    switch (verdict) {
    case CodeCheck::Ok:
        return QString();
    case CodeCheck::TooShort:
        return head + QStringLiteral("deve avere da 4 a 10 caratteri");
    case CodeCheck::BadCapcode:
        return head + QStringLiteral("capcode fuori dall'intervallo da 8 a 2097151");
    case CodeCheck::BadType:
        return head + QStringLiteral("tipo di messaggio errato");
    case CodeCheck::BadRate:
        return head + QStringLiteral("velocità di trasmissione errata");
    case CodeCheck::BadFunction:
        return head + QStringLiteral("codice di funzione errato");
    }
    return head;
}

// SendName as a spreadsheet may hold it: 1/0, sì/no, true/false; an empty cell is 0.
std::optional<bool> parseFlag(const QString &value)
{
    const QString v = value.trimmed().toLower();
    if (v.isEmpty() || v == u"0" || v == u"no" || v == u"false")
        return false;
    if (v == u"1" || v == u"sì" || v == u"si" || v == u"true")
        return true;
    return std::nullopt;
}

template <typename Body> void inTransaction(QSqlDatabase db, Body body)
{
    if (!db.transaction())
        throw DataError(db.lastError().databaseText().isEmpty() ? db.lastError().text()
                                                                : db.lastError().databaseText());
    try {
        body();
        if (!db.commit())
            throw DataError(db.lastError().databaseText().isEmpty() ? db.lastError().text()
                                                                    : db.lastError().databaseText());
    } catch (...) {
        db.rollback();
        throw;
    }
}

} // namespace

bool ReadCsvImportFile(const QString &path, QByteArray &bytes, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = CsvImportTexts::kCannotRead.arg(path, file.errorString());
        return false;
    }
    if (file.size() > kCsvImportMaxBytes) {
        error = CsvImportTexts::kTooLarge.arg(path);
        return false;
    }
    bytes = file.read(kCsvImportMaxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        error = CsvImportTexts::kCannotRead.arg(path, file.errorString());
        return false;
    }
    if (bytes.size() > kCsvImportMaxBytes) {
        error = CsvImportTexts::kTooLarge.arg(path);
        return false;
    }
    return true;
}

QString CsvImportSummary(const CsvImportPlan &plan, const QString &path, bool presets)
{
    QStringList lines;
    lines << QStringLiteral("File: %1").arg(path);
    lines << QStringLiteral("Codifica: %1").arg(plan.encoding);
    lines << (presets ? QStringLiteral("Messaggi da importare: %1") : QStringLiteral("Utenti da importare: %1"))
                 .arg(plan.accepted);
    lines << QStringLiteral("Righe scartate: %1").arg(plan.refused.size());
    for (const CsvRefusal &refusal : plan.refused)
        lines << QStringLiteral("Riga %1: %2.").arg(refusal.line).arg(refusal.reason);
    if (!plan.ignoredColumns.isEmpty())
        lines << QStringLiteral("Colonne ignorate: %1").arg(plan.ignoredColumns.join(QStringLiteral(", ")));
    return lines.join(QLatin1Char('\n'));
}

// ---- shared ---------------------------------------------------------------------------------

CsvImport::CsvImport(QSqlDatabase db, QList<CsvColumn> columns, QString missingKeyText)
    : m_db(db)
    , m_columns(std::move(columns))
    , m_missingKeyText(std::move(missingKeyText))
{
}

CsvImportPlan CsvImport::check(const QByteArray &bytes, const QString &path)
{
    CsvImportPlan plan;
    m_accepted = 0;
    m_acceptedNames.clear();
    clearAccepted();

    const Csv::Document doc = Csv::parse(bytes);
    if (!doc.error.isEmpty()) {
        plan.error = CsvImportTexts::kNotCsv.arg(path, doc.error);
        return plan;
    }
    if (doc.records.isEmpty()) {
        plan.error = CsvImportTexts::kEmpty.arg(path);
        return plan;
    }

    // Which file field feeds each column: the first header field naming it.
    QList<qsizetype> source(m_columns.size(), -1);
    const QStringList &header = doc.records.first().fields;
    for (qsizetype h = 0; h < header.size(); ++h) {
        const QString key = headerKey(header.at(h));
        if (key.isEmpty())
            continue;
        bool matched = false;
        for (qsizetype c = 0; c < m_columns.size() && !matched; ++c) {
            if (source[c] < 0
                && (key.compare(m_columns[c].name, Qt::CaseInsensitive) == 0
                    || key.compare(m_columns[c].caption, Qt::CaseInsensitive) == 0)) {
                source[c] = h;
                matched = true;
            }
        }
        if (!matched)
            plan.ignoredColumns << key;
    }
    if (source.first() < 0) {
        plan.ignoredColumns.clear();
        plan.error = m_missingKeyText.arg(path);
        return plan;
    }
    plan.encoding = doc.encoding;

    QSet<QString> inTable;
    for (const QString &name : storedNames())
        inTable.insert(foldName(name));
    QHash<QString, int> firstLine; // accepted names of the file, by the line of their record

    for (qsizetype r = 1; r < doc.records.size(); ++r) {
        const Csv::Record &record = doc.records.at(r);
        QStringList values;
        for (const qsizetype s : std::as_const(source))
            values << (s >= 0 ? Csv::unguard(record.fields.value(s)) : QString());
        const QString name = storedName(values.first());
        const QString key = foldName(name);
        QString reason;
        if (name.isEmpty())
            reason = QStringLiteral("nome mancante");
        else if (inTable.contains(key))
            reason = inBookReason(name);
        else if (const auto seen = firstLine.constFind(key); seen != firstLine.cend())
            reason = QStringLiteral("il nome \"%1\" è ripetuto (già alla riga %2)").arg(name, QString::number(*seen));
        else
            reason = checkRecord(name, values);
        if (!reason.isEmpty()) {
            plan.refused.append({ record.line, reason });
            continue;
        }
        firstLine.insert(key, record.line);
        m_acceptedNames << name;
    }
    m_accepted = m_acceptedNames.size();
    plan.accepted = m_accepted;
    return plan;
}

QString CsvImport::storedName(const QString &field) const
{
    return TrimEntryText(field);
}

qsizetype CsvImport::apply()
{
    if (m_accepted == 0)
        return 0;
    inTransaction(m_db, [&] {
        // The table is read again inside the transaction, so a name stored meanwhile is never
        // doubled.
        QSet<QString> inTable;
        for (const QString &name : storedNames())
            inTable.insert(foldName(name));
        for (const QString &name : std::as_const(m_acceptedNames)) {
            if (inTable.contains(foldName(name)))
                throw DataError(inBookReason(name));
        }
        insertAccepted();
    });
    return m_accepted;
}

// ---- address book ---------------------------------------------------------------------------

RecipientCsvImport::RecipientCsvImport(QSqlDatabase db)
    : CsvImportOf(db, columns(), CsvImportTexts::kNoUserColumn)
{
}

const QList<CsvColumn> &RecipientCsvImport::columns()
{
    static const QList<CsvColumn> list {
        { QStringLiteral("Recipient"), QStringLiteral("Utente") },
        { QStringLiteral("FirstName"), QStringLiteral("Nome") },
        { QStringLiteral("LastName"), QStringLiteral("Cognome") },
        { QStringLiteral("Company"), QStringLiteral("Azienda") },
        { QStringLiteral("JobTitle"), QStringLiteral("Qualifica") },
        { QStringLiteral("Comment"), QStringLiteral("Note") },
        { QStringLiteral("PinID"), QStringLiteral("Codifica") },
        { QStringLiteral("SendName"), QStringLiteral("Anteponi \"Nome\"") },
    };
    return list;
}

QByteArray RecipientCsvImport::exportBytes(const QList<Recipient> &users)
{
    QByteArray out(Csv::ByteOrderMark.data(), Csv::ByteOrderMark.size());
    QStringList header;
    for (const CsvColumn &column : columns())
        header << column.name;
    Csv::appendRecord(out, header);
    for (const Recipient &u : users) {
        Csv::appendRecord(out,
                          { u.recipient, u.firstName, u.lastName, u.company, u.jobTitle, u.comment, u.pinId,
                            u.sendName ? QStringLiteral("1") : QStringLiteral("0") });
    }
    return out;
}

QStringList RecipientCsvImport::storedNames() const
{
    QStringList names;
    for (const Recipient &r : RecipientStore(m_db).all())
        names << r.recipient;
    return names;
}

QString RecipientCsvImport::inBookReason(const QString &name) const
{
    return QStringLiteral("il nome \"%1\" è già nella rubrica").arg(name);
}

QString RecipientCsvImport::storedName(const QString &field) const
{
    return TrimEntryText(StoredName(field));
}

QString RecipientCsvImport::checkRecord(const QString &name, const QStringList &values)
{
    if (GroupStore(m_db).nameIsGroup(name))
        return QStringLiteral("il nome \"%1\" è già di un gruppo").arg(name);
    if (const QString field = NameFieldWithControl({ values.at(0), values.at(1), values.at(2) }); !field.isEmpty())
        return QStringLiteral("caratteri di controllo nel campo \"%1\"").arg(field);
    const QString &code = values.at(6);
    if (QString reason = codeReason(code); !reason.isEmpty())
        return reason;
    const std::optional<bool> sendName = parseFlag(values.at(7));
    if (!sendName)
        return QStringLiteral("valore non valido nella colonna SendName: \"%1\"").arg(values.at(7));
    Recipient user;
    user.recipient = name;
    user.firstName = StoredName(values.at(1));
    user.lastName = StoredName(values.at(2));
    user.company = values.at(3);
    user.jobTitle = values.at(4);
    user.comment = values.at(5);
    user.pinId = PadPagerCode(code);
    user.sendName = *sendName;
    m_rows.append(user);
    return QString();
}

void RecipientCsvImport::insertAccepted()
{
    RecipientStore store(m_db);
    for (const Recipient &user : std::as_const(m_rows))
        store.insert(user);
}

// ---- presets --------------------------------------------------------------------------------

PresetCsvImport::PresetCsvImport(QSqlDatabase db)
    : CsvImportOf(db, columns(), CsvImportTexts::kNoPresetColumn)
{
}

const QList<CsvColumn> &PresetCsvImport::columns()
{
    static const QList<CsvColumn> list {
        { QStringLiteral("Name"), QStringLiteral("Nome") },
        { QStringLiteral("Content"), QStringLiteral("Testo (numerico/alfanumerico)") },
    };
    return list;
}

QByteArray PresetCsvImport::exportBytes(const QList<PresetMessage> &presets)
{
    QByteArray out(Csv::ByteOrderMark.data(), Csv::ByteOrderMark.size());
    QStringList header;
    for (const CsvColumn &column : columns())
        header << column.name;
    Csv::appendRecord(out, header);
    for (const PresetMessage &p : presets)
        Csv::appendRecord(out, { p.name, p.content });
    return out;
}

QStringList PresetCsvImport::storedNames() const
{
    QStringList names;
    for (const PresetMessage &p : TemplateStore(m_db).all())
        names << p.name;
    return names;
}

QString PresetCsvImport::inBookReason(const QString &name) const
{
    return QStringLiteral("il nome \"%1\" è già tra i messaggi").arg(name);
}

QString PresetCsvImport::checkRecord(const QString &name, const QStringList &values)
{
    // The text is filtered as the window filters what is typed or pasted into it.
    const QString content = FilterPresetText(values.at(1));
    if (TrimEntryText(content).isEmpty())
        return QStringLiteral("testo mancante");
    m_rows.append({ 0, name, content });
    return QString();
}

void PresetCsvImport::insertAccepted()
{
    TemplateStore store(m_db);
    for (const PresetMessage &preset : std::as_const(m_rows))
        store.insert(preset);
}
