#include "book/GroupCsv.h"

#include "book/EntryChecks.h"
#include "book/GroupChecks.h"
#include "core/Csv.h"
#include "store/DataStores.h"

#include <QHash>

#include <algorithm>

namespace {

QString headerKey(const QString &field)
{
    QString key = Csv::unguard(field.trimmed());
    if (key.endsWith(QLatin1Char(':')))
        key.chop(1);
    return key.trimmed();
}

// A group of the file as read: its lines and their members.
struct FileGroup
{
    Group group;
    int firstLine = 0;
    QList<int> lines; // the file line of each member's record (or the one record)
    QList<CsvRefusal> refused;
};

} // namespace

GroupCsvImport::GroupCsvImport(QSqlDatabase db)
    : m_db(db)
{
}

const QList<CsvColumn> &GroupCsvImport::columns()
{
    static const QList<CsvColumn> list {
        { QStringLiteral("Gruppo"), QStringLiteral("GroupName") },
        { QStringLiteral("Descrizione"), QStringLiteral("Description") },
        { QStringLiteral("Utente"), QStringLiteral("Recipient") },
        { QStringLiteral("Turni"), QStringLiteral("Duty") },
    };
    return list;
}

QByteArray GroupCsvImport::exportBytes(const QList<Group> &groups)
{
    QByteArray out(Csv::ByteOrderMark.data(), Csv::ByteOrderMark.size());
    QStringList header;
    for (const CsvColumn &column : columns())
        header << column.name;
    Csv::appendRecord(out, header);
    for (const Group &group : groups) {
        if (group.members.isEmpty())
            Csv::appendRecord(out, { group.name, group.description, QString(), QString() });
        for (const GroupMember &member : group.members)
            Csv::appendRecord(out, { group.name, group.description, member.recipient, member.duty });
    }
    return out;
}

QString GroupCsvImport::summary(const CsvImportPlan &plan, const QString &path)
{
    QStringList lines;
    lines << QStringLiteral("File: %1").arg(path);
    lines << QStringLiteral("Codifica: %1").arg(plan.encoding);
    lines << QStringLiteral("Gruppi da importare: %1").arg(plan.accepted);
    lines << QStringLiteral("Righe scartate: %1").arg(plan.refused.size());
    for (const CsvRefusal &refusal : plan.refused)
        lines << QStringLiteral("Riga %1: %2.").arg(refusal.line).arg(refusal.reason);
    if (!plan.ignoredColumns.isEmpty())
        lines << QStringLiteral("Colonne ignorate: %1").arg(plan.ignoredColumns.join(QStringLiteral(", ")));
    return lines.join(QLatin1Char('\n'));
}

CsvImportPlan GroupCsvImport::check(const QByteArray &bytes, const QString &path)
{
    CsvImportPlan plan;
    m_groups.clear();
    const Csv::Document doc = Csv::parse(bytes);
    if (!doc.error.isEmpty()) {
        plan.error = CsvImportTexts::kNotCsv.arg(path, doc.error);
        return plan;
    }
    if (doc.records.isEmpty()) {
        plan.error = CsvImportTexts::kEmpty.arg(path);
        return plan;
    }
    const QList<CsvColumn> &cols = columns();
    QList<qsizetype> source(cols.size(), -1);
    const QStringList &header = doc.records.first().fields;
    for (qsizetype h = 0; h < header.size(); ++h) {
        const QString key = headerKey(header.at(h));
        if (key.isEmpty())
            continue;
        bool matched = false;
        for (qsizetype c = 0; c < cols.size() && !matched; ++c) {
            if (source[c] < 0
                && (key.compare(cols[c].name, Qt::CaseInsensitive) == 0
                    || key.compare(cols[c].caption, Qt::CaseInsensitive) == 0)) {
                source[c] = h;
                matched = true;
            }
        }
        if (!matched)
            plan.ignoredColumns << key;
    }
    if (source.first() < 0) {
        plan.ignoredColumns.clear();
        plan.error = GroupCsvTexts::kNoGroupColumn.arg(path);
        return plan;
    }
    plan.encoding = doc.encoding;

    // The lines of each group, in the order the groups first appear.
    QList<FileGroup> groups;
    QHash<QString, qsizetype> byName; // by name folded as the tables compare it
    for (qsizetype r = 1; r < doc.records.size(); ++r) {
        const Csv::Record &record = doc.records.at(r);
        QStringList values;
        for (const qsizetype s : std::as_const(source))
            values << (s >= 0 ? Csv::unguard(record.fields.value(s)) : QString());
        const Group typed = StoredGroup({ values.at(0), values.at(1), {} });
        if (typed.name.isEmpty()) {
            plan.refused.append({ record.line, QStringLiteral("nome del gruppo mancante") });
            continue;
        }
        const QString key = typed.name.toLower();
        auto found = byName.constFind(key);
        if (found == byName.cend()) {
            found = byName.insert(key, groups.size());
            groups.append({ typed, record.line, {}, {} });
        }
        FileGroup &group = groups[*found];
        const QString user = TrimEntryText(StoredName(values.at(2)));
        if (user.isEmpty()) {
            if (!values.at(3).trimmed().isEmpty())
                group.refused.append({ record.line, QStringLiteral("turni senza utente") });
            continue;
        }
        group.group.members.append({ user, values.at(3).trimmed() });
        group.lines.append(record.line);
    }

    const GroupStore store(m_db);
    const RecipientStore users(m_db);
    for (FileGroup &file : groups) {
        Group &group = file.group;
        const int firstLine = file.firstLine;
        if (store.nameIsUser(group.name))
            file.refused.prepend({ firstLine, QStringLiteral("il nome \"%1\" è di un utente").arg(group.name) });
        else if (store.nameIsGroup(group.name))
            file.refused.prepend({ firstLine, QStringLiteral("il gruppo \"%1\" esiste già").arg(group.name) });
        for (qsizetype i = 0; i < group.members.size(); ++i) {
            GroupMember &member = group.members[i];
            const std::optional<Recipient> user = users.findByName(member.recipient);
            if (!user) {
                file.refused.append(
                    { file.lines.at(i), QStringLiteral("l'utente \"%1\" non è nella rubrica").arg(member.recipient) });
                continue;
            }
            member.recipient = user->recipient; // as the address book spells it
            if (const GroupRefusal bad = CheckGroupDuty({ group.name, QString(), { member } }))
                file.refused.append({ file.lines.at(i), bad.text });
        }
        if (file.refused.isEmpty())
            m_groups.append(group);
        else
            plan.refused.append(file.refused);
    }
    std::sort(plan.refused.begin(), plan.refused.end(),
              [](const CsvRefusal &a, const CsvRefusal &b) { return a.line < b.line; });
    plan.accepted = m_groups.size();
    return plan;
}

qsizetype GroupCsvImport::apply()
{
    if (m_groups.isEmpty())
        return 0;
    // A group stored meanwhile under one of the names fails the unique name, and the whole
    // import is rolled back.
    GroupStore(m_db).saveAll(m_groups);
    return m_groups.size();
}
