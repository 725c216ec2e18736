#include "gateway/SnppSession.h"

#include "link/EncoderLink.h"
#include "link/PagerCode.h"
#include "ui/MessageFilter.h"

namespace {

const QByteArray kGreeting = "220 SNPP Gateway Ready\r\n";
const QByteArray kPagerOk = "250 Pager ID Accepted\r\n";
const QByteArray kPagerBad = "550 Error, Invalid Pager ID\r\n";
const QByteArray kTooManyPagers = "550 Error, Too Many Pager IDs\r\n";
const QByteArray kMessageOk = "250 Message OK\r\n";
const QByteArray kMessageTwice = "503 Error, Message Already Entered\r\n";
const QByteArray kMessageEmpty = "550 Error, Empty Message\r\n";
const QByteArray kTooLong = "554 Error, Message Too Long\r\n";
const QByteArray kDataBegin = "354 Begin Input; End with <CRLF>'.'<CRLF>\r\n";
const QByteArray &kSent = SnppSession::kSentReply;
const QByteArray kIncomplete = "503 Error, Pager ID or Message Incomplete\r\n";
const QByteArray kQueueFull = "554 Error, Queue Full\r\n";
const QByteArray &kNotQueued = SnppSession::kNotQueuedReply;
const QByteArray kResetOk = "250 Reset OK\r\n";
const QByteArray kGoodbye = "221 OK, Goodbye\r\n";
const QByteArray kLoginOk = "250 Login Accepted\r\n";
const QByteArray kLoginBad = "550 Error, Invalid Login\r\n";
const QByteArray kLoginClosed = "421 Too Many Login Failures, Goodbye\r\n";
const QByteArray kLoginNeeded = "503 Error, Login Required\r\n";
const QByteArray kLevelOk = "250 Service Level Accepted\r\n";
const QByteArray kSubjectOk = "250 Message Subject OK\r\n";
const QByteArray kNotImplemented = "500 Command Not Implemented\r\n";
const QByteArray kLineTooLong = "421 Line Too Long, Goodbye\r\n";
const QByteArray kTooManyErrors = "421 Too Many Errors, Goodbye\r\n";
const QByteArray kHelp = "214 PAGE <pager ID or name>: an addressee (a name of the address book or a pager code)\r\n"
                         "214 MESS <text>: the message\r\n"
                         "214 DATA: a message of several lines, ended by a lone \".\"\r\n"
                         "214 SUBJ <text>: a subject, put in front of the message\r\n"
                         "214 LOGI <user> <password>, LEVE <level>, RESE, SEND, QUIT, HELP\r\n"
                         "250 End of Help Information\r\n";

const QString kDirectRecipt = QStringLiteral("SNPP  ");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

const QByteArray SnppSession::kSentReply = "250 Message Sent Successfully\r\n";
const QByteArray SnppSession::kNotQueuedReply = "554 Error, Message Not Queued\r\n";

SnppSession::SnppSession(SnppBackend &backend, QString clientAddress)
    : m_backend(backend)
    , m_client(std::move(clientAddress))
{
}

QByteArray SnppSession::greeting()
{
    return kGreeting;
}

SnppSession::Output SnppSession::feed(const QByteArray &bytes)
{
    Output out;
    if (m_closed)
        return out;
    m_buffer += bytes;
    qsizetype start = 0;
    while (!m_closed) {
        const qsizetype end = m_buffer.indexOf('\n', start);
        if (end < 0)
            break;
        QByteArray line = m_buffer.mid(start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > kMaxLine) {
            out.reply += closeWith(kLineTooLong);
            break;
        }
        out.reply += m_inData ? handleDataLine(line) : handleLine(line);
    }
    m_buffer.remove(0, start);
    // A peer that sends no line end must not make the buffer grow without bound.
    if (!m_closed && m_buffer.size() > kMaxLine + 1)
        out.reply += closeWith(kLineTooLong);
    if (m_closed)
        m_buffer.clear();
    out.close = m_closed;
    return out;
}

QByteArray SnppSession::closeWith(const QByteArray &reply)
{
    m_closed = true;
    m_inData = false;
    return reply;
}

QByteArray SnppSession::handleLine(const QByteArray &line)
{
    // The command is the first word, matched on its first four letters without regard to case.
    qsizetype i = 0;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    qsizetype wordEnd = i;
    while (wordEnd < line.size() && !isBlank(line[wordEnd]))
        ++wordEnd;
    const QString verb = QString::fromLatin1(line.mid(i, std::min<qsizetype>(wordEnd - i, 4))).toUpper();
    qsizetype argStart = wordEnd;
    while (argStart < line.size() && isBlank(line[argStart]))
        ++argStart;
    QByteArray reply = command(verb, QString::fromLatin1(line.mid(argStart)));

    if (m_closed)
        return reply;
    if (reply.startsWith('5')) {
        if (++m_errors >= kMaxErrors)
            return reply + closeWith(kTooManyErrors);
    } else {
        m_errors = 0;
    }
    return reply;
}

QByteArray SnppSession::command(const QString &verb, const QString &argument)
{
    if (verb == u"QUIT")
        return closeWith(kGoodbye);
    if (verb == u"HELP")
        return kHelp;
    if (verb == u"LOGI")
        return login(argument);
    if (verb == u"LEVE")
        return kLevelOk;
    if (verb == u"RESE") {
        reset();
        return kResetOk;
    }
    const bool paging = verb == u"PAGE" || verb == u"MESS" || verb == u"DATA" || verb == u"SUBJ" || verb == u"SEND";
    if (!paging)
        return kNotImplemented;
    if (loginMissing())
        return kLoginNeeded;
    if (verb == u"PAGE")
        return page(argument);
    if (verb == u"MESS")
        return message(argument);
    if (verb == u"SUBJ") {
        m_subject = argument;
        return kSubjectOk;
    }
    if (verb == u"DATA") {
        if (m_message)
            return kMessageTwice;
        m_inData = true;
        m_data.clear();
        return kDataBegin;
    }
    return send();
}

bool SnppSession::loginMissing() const
{
    return !m_backend.loginUser().isEmpty() && !m_loggedIn;
}

QByteArray SnppSession::login(const QString &argument)
{
    const QStringList words = argument.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString user = words.value(0);
    const QString password = words.value(1);
    if (m_backend.loginUser().isEmpty() || (user == m_backend.loginUser() && password == m_backend.loginPassword())) {
        m_loggedIn = true;
        return kLoginOk;
    }
    m_loggedIn = false;
    if (++m_loginFailures >= kMaxLoginFailures)
        return closeWith(kLoginClosed);
    return kLoginBad;
}

std::optional<GatewayPage> SnppSession::resolve(SnppBackend &backend, const QString &argument)
{
    const QString name = argument.trimmed();
    if (name.isEmpty())
        return std::nullopt;
    GatewayPage page;
    if (const std::optional<Recipient> user = backend.findRecipient(name)) {
        if (user->pinId.size() > 10 || CheckPagerCode(user->pinId) != CodeCheck::Ok)
            return std::nullopt;
        page.recipt = user->recipient;
        page.header = PadPagerCode(user->pinId).toLatin1();
        if (user->sendName)
            page.prefix = EncoderLink::FramedPrefix(user->firstName.toLatin1() + ':');
        return page;
    }
    // A pager code as typed in direct mode; a second word (the RFC's password) is ignored.
    const QString code = name.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    if (code.size() > 10 || CheckPagerCode(code) != CodeCheck::Ok)
        return std::nullopt;
    page.recipt = kDirectRecipt;
    page.header = PadPagerCode(code).toLatin1();
    return page;
}

int SnppSession::roomFor(const GatewayPage &page)
{
    return EncoderLink::MaxBodyLength(int(page.header.size()), int(page.prefix.size()), 0);
}

QByteArray SnppSession::page(const QString &argument)
{
    if (m_addressees.size() >= kMaxAddressees)
        return kTooManyPagers;
    std::optional<GatewayPage> addressee = resolve(m_backend, argument);
    if (!addressee)
        return kPagerBad;
    m_addressees.append(*addressee);
    return kPagerOk;
}

QByteArray SnppSession::message(const QString &text)
{
    if (m_message)
        return kMessageTwice;
    if (MessageFilter::filtered(text).isEmpty())
        return kMessageEmpty;
    m_message = text.left(EncoderLink::kFrameCapacity + 1);
    return messageChecked();
}

QByteArray SnppSession::messageChecked()
{
    if (!fitsAll(composed())) {
        m_message.reset();
        return kTooLong;
    }
    return kMessageOk;
}

QByteArray SnppSession::handleDataLine(const QByteArray &line)
{
    if (line != ".") {
        // Dot-stuffing: a line that begins with "." was sent with one more.
        const QByteArray text = line.startsWith('.') ? line.mid(1) : line;
        if (m_data.size() <= EncoderLink::kFrameCapacity) {
            if (!m_data.isEmpty())
                m_data += ' ';
            m_data += text.left(EncoderLink::kFrameCapacity + 1 - m_data.size());
        }
        return {};
    }
    m_inData = false;
    if (MessageFilter::filtered(QString::fromLatin1(m_data)).isEmpty())
        return kMessageEmpty;
    m_message = QString::fromLatin1(m_data);
    m_data.clear();
    return messageChecked();
}

QString SnppSession::composed() const
{
    const QString text = m_subject.isEmpty() ? m_message.value_or(QString())
                                             : m_subject + QStringLiteral(": ") + m_message.value_or(QString());
    return MessageFilter::filtered(text);
}

bool SnppSession::fitsAll(const QString &text) const
{
    if (text.size() > EncoderLink::MaxBodyLength(10, 0, 0))
        return false;
    for (const GatewayPage &page : m_addressees) {
        if (text.size() > roomFor(page))
            return false;
    }
    return true;
}

QByteArray SnppSession::send()
{
    if (m_addressees.isEmpty() || !m_message)
        return kIncomplete;
    const QString text = composed();
    if (!fitsAll(text)) {
        reset();
        return kTooLong;
    }
    QList<GatewayPage> pages = m_addressees;
    for (GatewayPage &page : pages) {
        page.body = text.toLatin1();
        page.client = m_client;
    }
    const SnppBackend::Submit result = m_backend.submit(pages);
    reset();
    switch (result) {
    case SnppBackend::Submit::Queued:
        return kSent;
    case SnppBackend::Submit::Full:
        return kQueueFull;
    case SnppBackend::Submit::Failed:
        break;
    }
    return kNotQueued;
}

void SnppSession::reset()
{
    m_addressees.clear();
    m_message.reset();
    m_subject.clear();
    m_data.clear();
}
