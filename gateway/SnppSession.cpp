#include "gateway/SnppSession.h"

#include "link/EncoderLink.h"
#include "link/MessageFilter.h"
#include "link/PagerCode.h"

#include <QTimeZone>
#include <algorithm>

namespace {

const QByteArray kGreeting = "220 SNPP Gateway Ready\r\n";
const QByteArray kPagerOk = "250 Pager ID Accepted\r\n";
const QByteArray kPagerBad = "550 Error, Invalid Pager ID\r\n";
const QByteArray kTooManyPagers = "552 Max Recipients Exceeded\r\n";
const QByteArray kLookupFailed = "554 Error, Address Book Not Available\r\n";
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
const QByteArray kLockedOut = "421 Locked out\r\n";
const QByteArray kLoginNeeded = "503 Error, Login Required\r\n";
const QByteArray kLevelOk = "250 Service Level Accepted\r\n";
const QByteArray kLevelBad = "550 Error, Invalid Service Level\r\n";
const QByteArray kHoldOk = "250 Delayed Messaging Selected\r\n";
const QByteArray kHoldBad = "550 Error, Invalid Delivery Date/Time\r\n";
const QByteArray kSubjectOk = "250 Message Subject OK\r\n";
// The options that this console cannot honour: one transmitter, the alert of the pager code,
// no caller shown. They are accepted, so a client that always sends them still pages.
const QByteArray kAlertOk = "250 Alert Override Accepted (Ignored)\r\n";
const QByteArray kAlertBad = "550 Error, Invalid Alert Parameter\r\n";
const QByteArray kCoverageOk = "250 Alternate Coverage Accepted (Ignored)\r\n";
const QByteArray kCoverageBad = "550 Error, Invalid Alternate Region\r\n";
const QByteArray kCallerOk = "250 Caller ID Accepted (Ignored)\r\n";
const QByteArray kCallerBad = "550 Error, Invalid Caller ID\r\n";
const QByteArray kNotImplemented = "500 Command Not Implemented\r\n";
const QByteArray kLineTooLong = "421 Line Too Long, Goodbye\r\n";
const QByteArray kTooManyErrors = "421 Too Many Errors, Goodbye\r\n";
constexpr char kHelp[] = "214 PAGE <pager ID or name>: an addressee (a name of the address book or a pager code)\r\n"
                         "214 MESS <text>: the message; DATA: a message of several lines, ended by a lone \".\"\r\n"
                         "214 SUBJ <text>: a subject, put in front of the message\r\n"
                         "214 HOLD YYMMDDHHMMSS [+/-GMT offset]: the next PAGE waits until then\r\n"
                         "214 LOGI <user> <password>, LEVE <1-3>, ALER, COVE, CALL, RESE, SEND, QUIT, HELP\r\n"
                         "250 End of Help Information\r\n";
// The answer to one line is at most HELP's, or a refusal and the "421" that closes: within
// kMaxReply, so the server can check for room before any answer is built.
static_assert(sizeof(kHelp) <= SnppSession::kMaxReply);

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

SnppSession::Output SnppSession::feed(const QByteArray &bytes, int maxLines)
{
    Output out;
    if (m_closed)
        return out;
    m_buffer += bytes;
    qsizetype start = 0;
    int answered = 0;
    while (!m_closed && !out.delay && (maxLines < 0 || answered < maxLines)) {
        const qsizetype end = m_buffer.indexOf('\n', start);
        if (end < 0)
            break;
        QByteArray line = m_buffer.mid(start, end - start);
        start = end + 1;
        ++answered;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > kMaxLine) {
            out.reply += closeWith(kLineTooLong);
            break;
        }
        out.reply += m_inData ? handleDataLine(line) : handleLine(line);
        out.delay = std::exchange(m_delay, false);
    }
    m_buffer.remove(0, start);
    // A peer that sends no line end must not make the buffer grow without bound.
    if (!m_closed && !hasPendingLine() && m_buffer.size() > kMaxLine + 1)
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
        return QByteArray(kHelp);
    if (verb == u"LOGI")
        return login(argument);
    if (verb == u"LEVE")
        return level(argument);
    if (verb == u"ALER") {
        const QString value = argument.trimmed();
        return value == u"0" || value == u"1" ? kAlertOk : kAlertBad;
    }
    if (verb == u"COVE")
        return argument.trimmed().isEmpty() ? kCoverageBad : kCoverageOk;
    if (verb == u"CALL")
        return argument.trimmed().isEmpty() ? kCallerBad : kCallerOk;
    if (verb == u"RESE") {
        reset();
        return kResetOk;
    }
    const bool paging = verb == u"PAGE" || verb == u"MESS" || verb == u"DATA" || verb == u"SUBJ" || verb == u"SEND"
        || verb == u"HOLD";
    if (!paging)
        return kNotImplemented;
    if (loginMissing())
        return kLoginNeeded;
    if (verb == u"PAGE")
        return page(argument);
    if (verb == u"MESS")
        return message(argument);
    if (verb == u"HOLD")
        return hold(argument);
    if (verb == u"SUBJ") {
        m_subject = argument;
        return kSubjectOk;
    }
    if (verb == u"DATA") {
        if (m_message)
            return kMessageTwice;
        m_inData = true;
        m_data.clear();
        m_dataLines = 0;
        m_dataTooLong = false;
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
    if (m_backend.loginUser().isEmpty()) {
        m_loggedIn = true;
        return kLoginOk;
    }
    if (!m_backend.loginAllowed(m_client, user))
        return closeWith(kLockedOut);
    if (user == m_backend.loginUser() && password == m_backend.loginPassword()) {
        m_loggedIn = true;
        m_login = user;
        return kLoginOk;
    }
    m_loggedIn = false;
    m_login.clear();
    // Each failure costs its sender a pause before the reply.
    m_delay = true;
    m_backend.loginFailed(m_client, user);
    if (!m_backend.loginAllowed(m_client, user))
        return closeWith(kLockedOut);
    if (++m_loginFailures >= kMaxLoginFailures)
        return closeWith(kLoginClosed);
    return kLoginBad;
}

QByteArray SnppSession::level(const QString &argument)
{
    bool ok = false;
    const int value = argument.trimmed().toInt(&ok);
    return ok && value >= 1 && value <= 3 ? kLevelOk : kLevelBad;
}

QDateTime SnppSession::parseHold(const QString &argument)
{
    const QStringList words = argument.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty() || words.size() > 2)
        return {};
    const QString &stamp = words[0];
    if (stamp.size() != 12 || !std::all_of(stamp.begin(), stamp.end(), [](QChar c) { return c.isDigit(); }))
        return {};
    auto number = [&](int at) { return stamp.mid(at, 2).toInt(); };
    const QDate date(2000 + number(0), number(2), number(4));
    const QTime time(number(6), number(8), number(10));
    if (!date.isValid() || !time.isValid())
        return {};
    if (words.size() == 1)
        return QDateTime(date, time);

    // "+H", "+HH", "+HMM" or "+HHMM": hours, then minutes when there are more than two digits.
    const QString &offset = words[1];
    const QString digits = offset.mid(1);
    if ((!offset.startsWith(QLatin1Char('+')) && !offset.startsWith(QLatin1Char('-'))) || digits.isEmpty()
        || digits.size() > 4 || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
        return {};
    const int hours = digits.size() > 2 ? digits.chopped(2).toInt() : digits.toInt();
    const int minutes = digits.size() > 2 ? digits.right(2).toInt() : 0;
    if (hours > 14 || minutes > 59)
        return {};
    const int seconds = (hours * 3600 + minutes * 60) * (offset.startsWith(QLatin1Char('-')) ? -1 : 1);
    return QDateTime(date, time, QTimeZone(seconds));
}

QByteArray SnppSession::hold(const QString &argument)
{
    const QDateTime until = parseHold(argument);
    if (!until.isValid())
        return kHoldBad;
    m_hold = until;
    return kHoldOk;
}

std::optional<GatewayPage> SnppSession::resolve(SnppBackend &backend, const QString &argument, bool *failed)
{
    if (failed)
        *failed = false;
    const QString name = argument.trimmed();
    if (name.isEmpty())
        return std::nullopt;
    GatewayPage page;
    const SnppBackend::Lookup found = backend.findRecipient(name);
    if (found.failed) {
        if (failed)
            *failed = true;
        return std::nullopt;
    }
    if (const std::optional<Recipient> &user = found.recipient)
        return pageFor(*user);
    // A pager code as typed in direct mode; a second word (the RFC's password) is ignored.
    const QString code = name.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    if (code.size() > 10 || CheckPagerCode(code) != CodeCheck::Ok)
        return std::nullopt;
    page.recipt = kDirectRecipt;
    page.header = PadPagerCode(code).toLatin1();
    return page;
}

std::optional<GatewayPage> SnppSession::pageFor(const Recipient &user)
{
    if (user.pinId.size() > 10 || CheckPagerCode(user.pinId) != CodeCheck::Ok)
        return std::nullopt;
    GatewayPage page;
    page.recipt = user.recipient;
    page.header = PadPagerCode(user.pinId).toLatin1();
    if (user.sendName)
        page.prefix = EncoderLink::framedPrefix(user.firstName.toLatin1() + ':');
    return page;
}

int SnppSession::roomFor(const GatewayPage &page)
{
    return EncoderLink::maxBodyLength(int(page.header.size()), int(page.prefix.size()), 0);
}

int SnppSession::maxMessage()
{
    return EncoderLink::maxBodyLength(10, 0, 0);
}

QByteArray SnppSession::page(const QString &argument)
{
    if (m_addressees.size() >= kMaxAddressees)
        return kTooManyPagers;
    // A group is resolved now: its members on duty at this PAGE are the addressees.
    const SnppBackend::GroupLookup group = m_backend.findGroup(argument.trimmed());
    if (group.failed)
        return kLookupFailed;
    if (group.group)
        return pageGroup(group);
    bool failed = false;
    std::optional<GatewayPage> addressee = resolve(m_backend, argument, &failed);
    if (failed)
        return kLookupFailed;
    if (!addressee)
        return kPagerBad;
    // Options given before a PAGE are its own (RFC 1861's "option-option-option-go").
    addressee->holdUntil = std::exchange(m_hold, QDateTime());
    m_addressees.append(*addressee);
    return kPagerOk;
}

QByteArray SnppSession::pageGroup(const SnppBackend::GroupLookup &group)
{
    if (group.onDuty.isEmpty()) {
        // The name as stored, on one line and within the reply's room.
        QString name = group.group->left(200);
        for (QChar &c : name) {
            if (c.unicode() < 32 || c.unicode() == 127)
                c = QLatin1Char('?');
        }
        return "550 No one on duty in group " + name.toUtf8() + "\r\n";
    }
    QList<GatewayPage> pages;
    for (const Recipient &member : group.onDuty) {
        // A member whose pager code is not valid cannot be reached; the others still are.
        if (std::optional<GatewayPage> page = pageFor(member))
            pages.append(*page);
    }
    if (pages.isEmpty())
        return kPagerBad;
    if (m_addressees.size() + pages.size() > kMaxAddressees)
        return kTooManyPagers;
    const QDateTime hold = std::exchange(m_hold, QDateTime());
    for (GatewayPage &page : pages) {
        page.holdUntil = hold;
        m_addressees.append(page);
    }
    return kPagerOk;
}

QByteArray SnppSession::message(const QString &text)
{
    if (m_message)
        return kMessageTwice;
    if (MessageFilter::filtered(text).isEmpty())
        return kMessageEmpty;
    m_message = text;
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
        // Dot-stuffing: a line that begins with "." was sent with one more. The limit counts
        // what the filter keeps: lines past it are read and dropped, and the message refused.
        const QString text = MessageFilter::filtered(QString::fromLatin1(line.startsWith('.') ? line.mid(1) : line));
        const qsizetype joined = m_data.size() + (m_dataLines > 0 ? 1 : 0) + text.size();
        if (m_dataTooLong || joined > maxMessage()) {
            m_dataTooLong = true;
            m_data.clear();
        } else {
            if (m_dataLines > 0)
                m_data += QLatin1Char(' ');
            m_data += text;
        }
        ++m_dataLines;
        return {};
    }
    m_inData = false;
    const QString data = std::exchange(m_data, QString());
    if (std::exchange(m_dataTooLong, false))
        return kTooLong;
    if (data.isEmpty())
        return kMessageEmpty;
    m_message = data;
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
    if (text.size() > maxMessage())
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
        page.login = m_login;
        // A HOLD after the last PAGE (the order some clients use) holds the pages without one.
        if (!page.holdUntil.isValid())
            page.holdUntil = m_hold;
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
    m_hold = QDateTime();
    m_message.reset();
    m_subject.clear();
    m_data.clear();
    m_dataLines = 0;
    m_dataTooLong = false;
}
