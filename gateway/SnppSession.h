#pragma once

// One SNPP conversation (RFC 1861, levels 1 and 2) without any socket: bytes from the client
// go in, reply lines come out. The server feeds it what a connection received; tests and the
// fuzz target feed it directly.
//
//     SnppSession session(backend, "127.0.0.1");
//     socket.write(session.greeting());
//     const SnppSession::Output out = session.feed(socket.readAll());
//     socket.write(out.reply);
//     if (out.close) socket.disconnectFromHost();

#include "store/DataStores.h"
#include "store/GatewayStore.h"

#include <QByteArray>
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

    virtual ~SnppBackend() = default;
    virtual std::optional<Recipient> findRecipient(const QString &name) = 0;
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
};

class SnppSession
{
public:
    static constexpr int kMaxLine = 1024; // bytes, without the line end
    static constexpr int kMaxAddressees = 100; // PAGE commands before one SEND
    static constexpr int kMaxLoginFailures = 3;
    static constexpr int kMaxErrors = 20; // consecutive refused commands before "421"

    struct Output
    {
        QByteArray reply;
        bool close = false; // the reply is the last: close the connection once it is written
    };

    SnppSession(SnppBackend &backend, QString clientAddress);

    static QByteArray greeting();
    // A reply that a failed batch commit turns into kNotQueuedReply.
    static const QByteArray kSentReply;
    static const QByteArray kNotQueuedReply;
    // Takes received bytes (any split, CRLF or LF line ends) and answers every complete line.
    Output feed(const QByteArray &bytes);
    // Bytes received that do not yet form a line.
    qsizetype pendingBytes() const { return m_buffer.size(); }
    bool closed() const { return m_closed; }
    bool inData() const { return m_inData; }

    // How a PAGE argument names its addressee: a name of the address book (case ignored,
    // blanks trimmed), else a pager code as typed in direct mode (its first word).
    static std::optional<GatewayPage> resolve(SnppBackend &backend, const QString &argument);
    // The longest message (after the filter) that fits one frame for the addressee.
    static int roomFor(const GatewayPage &page);

private:
    QByteArray handleLine(const QByteArray &line);
    QByteArray handleDataLine(const QByteArray &line);
    QByteArray command(const QString &verb, const QString &argument);
    QByteArray page(const QString &argument);
    QByteArray message(const QString &text);
    QByteArray send();
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
    int m_loginFailures = 0;
    int m_errors = 0;

    QList<GatewayPage> m_addressees;
    std::optional<QString> m_message;
    QString m_subject;
    bool m_inData = false;
    QByteArray m_data; // DATA lines joined with a blank, cut at the frame area's size
};
