#pragma once

// The checks that "Scrivi" runs in the two maintenance windows, without any widget: the
// trimmed name, the duplicate lookup through the stores, the empty name and text, and the
// pager-code rules with the texts of the recipients window. Also the character filter of the
// preset text.

#include <QString>

class RecipientStore;
class TemplateStore;

// New (0) or existing (1) record; selects the duplicate query of "Scrivi".
enum class EditMode
{
    New = 0,
    Existing = 1
};

namespace EntryTexts {
inline const QString kRecipientExists = QStringLiteral("The recipient is already exist!");
inline const QString kRecipientEmpty = QStringLiteral("Recipient can not empty!");
inline const QString kRecipientCaption = QStringLiteral("Recipient Error");
inline const QString kTemplateExists = QStringLiteral("The template is already exist!");
inline const QString kTemplateEmpty = QStringLiteral("Template can not empty!");
inline const QString kContentEmpty = QStringLiteral("Content can not empty!");
inline const QString kTemplateCaption = QStringLiteral("Template Error");
inline const QString kDatabaseEmpty = QStringLiteral("Database is empty!");
inline const QString kControlInName = QStringLiteral("Il campo \"%1\" contiene caratteri di controllo.");
inline const QString kConfirmDelete = QStringLiteral("Are you sure delete this record !");
// Users and groups share one name space: the gateway looks both up by name.
inline const QString kNameIsGroup = QStringLiteral("Esiste già un gruppo di nome %1.");
inline const QString kNameIsUser = QStringLiteral("Esiste già un utente di nome %1.");
inline const QString kDeleteMember = QStringLiteral("L'utente %1 fa parte dei gruppi: %2. Eliminarlo?");
} // namespace EntryTexts

// Why "Scrivi" refused an entry; None when every check passed.
struct EntryRefusal
{
    enum Kind
    {
        None,
        Duplicate,
        EmptyName,
        EmptyContent,
        BadCode,
        ControlInName
    } kind
        = None;
    QString text; // the operator message of the refusal

    explicit operator bool() const { return kind != None; }
};

// The name as the checks see it: leading and trailing blanks and control characters removed
// (every character up to code 32). The field itself keeps what was typed.
QString TrimEntryText(const QString &text);

// The name fields of a user as typed or read from a file.
struct UserNames
{
    QString recipient; // "Utente"
    QString firstName; // "Nome"
    QString lastName; // "Cognome"
};

// A name as it is stored: in Unicode normal form C, so a letter typed as one character and
// as a letter with a combining accent is the same name to the duplicate check (the one
// comparison, COLLATE NOCASE) and to the encoder.
QString StoredName(const QString &text);

// The caption of the first of the user's name fields that holds a control character (C0, DEL
// or C1, anywhere in the field), or the empty text when none does. Such a name is not stored.
QString NameFieldWithControl(const UserNames &names);

// The recipients window's verdict on a pager code as typed: empty when it may be stored,
// otherwise the note heading of the failed rule. A code longer than the ten characters of the
// normal form is refused with the format text, like one that is too short.
QString RecipientCodeMessage(const QString &code);

// The checks of the recipients window, in order: duplicate name (the record itself excluded
// when it exists), empty name, control characters in a name, pager code. The store throws
// DataError when a lookup fails.
EntryRefusal CheckRecipientEntry(const RecipientStore &store, EditMode mode, qint64 num, const UserNames &names,
                                 const QString &code);

// The checks of the preset messages window, in order: duplicate name, empty name, empty text.
EntryRefusal CheckPresetEntry(const TemplateStore &store, EditMode mode, qint64 num, const QString &name,
                              const QString &content);

// The preset text as it may be stored: only the characters with codes 32 to 127, in their
// order. Works on the whole text, however long.
QString FilterPresetText(const QString &text);
