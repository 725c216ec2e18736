#pragma once

// One SNPP conversation (RFC 1861, levels 1 and 2) without any socket or timer: bytes from the
// client go in, reply lines come out. The server feeds it what a connection received, a few
// lines at a time; tests and the fuzz target feed it directly.
//
//     SnppSession session(backend, "127.0.0.1");
//     socket.write(session.greeting());
//     SnppSession::Output out = session.feed(socket.read(4096), 4);
//     // out.delay: the reply ends with a failed LOGI's; write it, and feed on, a second later
//     socket.write(out.reply);
//     if (out.close) socket.disconnectFromHost();
//     // session.hasPendingLine(): feed(QByteArray(), 4) again on the next turn of the loop

#include "store/DataStores.h"
#include "store/GatewayStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// What a session needs from the console: the address book, the login, the queue.
class SnppBackend
{
public:
    enum class Submit
    {
        Queued,
        Full,
        Failed
    };

    struct Lookup
    {
        std::optional<Recipient> recipient;
        bool failed = false; // the address book could not be read
    };

    // A group of the address book and those of its members on duty now.
    struct GroupLookup
    {
        std::optional<QString> group; // the group's name as stored, none when it is no group
        QList<Recipient> onDuty; // in the group's order, as the address book holds them
        bool failed = false; // the tables could not be read
    };

    virtual ~SnppBackend() = default;
    virtual Lookup findRecipient(const QString &name) = 0;
    virtual GroupLookup findGroup(const QString &name)
    {
        Q_UNUSED(name);
        return {};
    }
    // The configured login; an empty user means no login is needed.
    virtual QString loginUser() const = 0;
    virtual QString loginPassword() const = 0;
    // Stores every page or none, setting their time of acceptance; Queued only once committed,
    // or, inside a batch, once the batch commits.
    virtual Submit submit(QList<GatewayPage> &pages) = 0;
    // The SENDs of several sessions in one commit: the replies of a batch are sent only after
    // endBatch(), and a batch that fails to commit turns its "250" into "554".
    virtual void beginBatch() { }
    virtual bool endBatch() { return true; }
    // Failed logins of every session, by client address and user: false while that pair is
    // locked out.
    virtual bool loginAllowed(const QString &client, const QString &user)
    {
        Q_UNUSED(client);
        Q_UNUSED(user);
        return true;
    }
    virtual void loginFailed(const QString &client, const QString &user)
    {
        Q_UNUSED(client);
        Q_UNUSED(user);
    }
};

class SnppSession
{
public:
    static constexpr int kMaxLine = 1024; // bytes, without the line end
    static constexpr int kMaxAddressees = 100; // PAGE commands before one SEND
    static constexpr int kMaxLoginFailures = 3;
    static constexpr int kMaxErrors = 20; // consecutive refused commands before "421"
    static constexpr int kMaxReply = 512; // bytes: the most that the replies to one line take

    struct Output
    {
        QByteArray reply;
        bool close = false; // the reply is the last: close the connection once it is written
        bool delay = false; // ends with a failed LOGI: answer it, and feed on, only after a pause
    };

    SnppSession(SnppBackend &backend, QString clientAddress);

    static QByteArray greeting();
    // A reply that a failed batch commit turns into kNotQueuedReply.
    static const QByteArray kSentReply;
    static const QByteArray kNotQueuedReply;
    // Takes received bytes (any split, CRLF or LF line ends) and answers the complete lines, at
    // most maxLines of them (all with -1); the rest wait for the next call. Stops after a failed
    // LOGI (out.delay).
    Output feed(const QByteArray &bytes, int maxLines = -1);
    // Bytes received and not yet answered.
    qsizetype pendingBytes() const { return m_buffer.size(); }
    // A complete line waits to be answered.
    bool hasPendingLine() const { return !m_closed && m_buffer.contains('\n'); }
    bool closed() const { return m_closed; }
    bool inData() const { return m_inData; }
    // The user logged in as, when the console asks for a login; empty before.
    QString login() const { return m_login; }

    // How a PAGE argument names its addressee: a name of the address book (case ignored,
    // blanks trimmed), else a pager code as typed in direct mode (its first word). Sets
    // `failed` when the address book could not be read.
    static std::optional<GatewayPage> resolve(SnppBackend &backend, const QString &argument, bool *failed = nullptr);
    // The page to a user of the address book; none when the user's pager code is not valid.
    static std::optional<GatewayPage> pageFor(const Recipient &user);
    // The longest message (after the filter) that fits one frame for the addressee.
    static int roomFor(const GatewayPage &page);
    // The longest message (after the filter) that fits any frame.
    static int maxMessage();
    // HOLD's argument, "YYMMDDHHMMSS" with an optional offset from GMT ("+1", "-0130"); local
    // time without one. Invalid when it does not parse.
    static QDateTime parseHold(const QString &argument);

private:
    QByteArray handleLine(const QByteArray &line);
    QByteArray handleDataLine(const QByteArray &line);
    QByteArray command(const QString &verb, const QString &argument);
    QByteArray page(const QString &argument);
    QByteArray pageGroup(const SnppBackend::GroupLookup &group);
    QByteArray message(const QString &text);
    QByteArray send();
    QByteArray level(const QString &argument);
    QByteArray hold(const QString &argument);
    QByteArray login(const QString &argument);
    QByteArray closeWith(const QByteArray &reply);
    QByteArray messageChecked(); // "250" or "554" once a message is complete
    QString composed() const; // subject and message, filtered
    bool fitsAll(const QString &text) const;
    bool loginMissing() const;
    void reset();

    SnppBackend &m_backend;
    QString m_client;
    QByteArray m_buffer;
    bool m_closed = false;
    bool m_loggedIn = false;
    bool m_delay = false; // the line just answered was a failed LOGI
    QString m_login;
    int m_loginFailures = 0;
    int m_errors = 0;

    QList<GatewayPage> m_addressees;
    QDateTime m_hold; // HOLD given and not yet taken by a PAGE
    std::optional<QString> m_message;
    QString m_subject;
    bool m_inData = false;
    QString m_data; // DATA lines filtered and joined with a blank
    int m_dataLines = 0;
    bool m_dataTooLong = false; // the lines past maxMessage() are dropped, and the message refused
};
