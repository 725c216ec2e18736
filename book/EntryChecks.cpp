#include "book/EntryChecks.h"

#include "link/PagerCode.h"
#include "store/DataStores.h"

#include <algorithm>
#include <utility>

namespace {

constexpr qsizetype kNormalCodeLength = 10;

bool IsBlankOrControl(QChar c)
{
    return c.unicode() <= 32;
}

bool IsControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
}

} // namespace

QString TrimEntryText(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && IsBlankOrControl(text.at(first)))
        ++first;
    while (last > first && IsBlankOrControl(text.at(last - 1)))
        --last;
    return text.mid(first, last - first);
}

QString StoredName(const QString &text)
{
    return text.normalized(QString::NormalizationForm_C);
}

QString NameFieldWithControl(const UserNames &names)
{
    const std::pair<const QString &, QString> fields[] = {
        { names.recipient, QStringLiteral("Utente") },
        { names.firstName, QStringLiteral("Nome") },
        { names.lastName, QStringLiteral("Cognome") },
    };
    for (const auto &[text, caption] : fields) {
        if (std::any_of(text.cbegin(), text.cend(), IsControl))
            return caption;
    }
    return QString();
}

QString RecipientCodeMessage(const QString &code)
{
    // A longer code has no ten-character normal form; it is a format error like a short one.
    if (code.size() > kNormalCodeLength)
        return RecipientsWindowMessage(CodeCheck::TooShort);
    return RecipientsWindowMessage(CheckPagerCode(code));
}

EntryRefusal CheckRecipientEntry(const RecipientStore &store, EditMode mode, qint64 num, const UserNames &names,
                                 const QString &code)
{
    const QString trimmed = TrimEntryText(StoredName(names.recipient));
    const bool taken = mode == EditMode::New ? store.nameTaken(trimmed) : store.nameTakenByOther(trimmed, num);
    if (taken)
        return { EntryRefusal::Duplicate, EntryTexts::kRecipientExists };
    if (trimmed.isEmpty())
        return { EntryRefusal::EmptyName, EntryTexts::kRecipientEmpty };
    if (const QString field = NameFieldWithControl(names); !field.isEmpty())
        return { EntryRefusal::ControlInName, EntryTexts::kControlInName.arg(field) };
    const QString codeMessage = RecipientCodeMessage(code);
    if (!codeMessage.isEmpty())
        return { EntryRefusal::BadCode, codeMessage };
    return {};
}

EntryRefusal CheckPresetEntry(const TemplateStore &store, EditMode mode, qint64 num, const QString &name,
                              const QString &content)
{
    const QString trimmed = TrimEntryText(name);
    const bool taken = mode == EditMode::New ? store.nameTaken(trimmed) : store.nameTakenByOther(trimmed, num);
    if (taken)
        return { EntryRefusal::Duplicate, EntryTexts::kTemplateExists };
    if (trimmed.isEmpty())
        return { EntryRefusal::EmptyName, EntryTexts::kTemplateEmpty };
    if (TrimEntryText(content).isEmpty())
        return { EntryRefusal::EmptyContent, EntryTexts::kContentEmpty };
    return {};
}

QString FilterPresetText(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() >= 32 && c.unicode() <= 127)
            kept.append(c);
    }
    return kept;
}
