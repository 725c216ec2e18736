// tesma-encoder-sim: plays the paging encoder on a pseudo-terminal, so the console can be
// tried and tested without hardware. See Usage() for the command line.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr unsigned char STX = 0x02;
constexpr unsigned char EOT = 0x04;
constexpr unsigned char ACK = 0x06;
constexpr unsigned char NAK = 0x15;
constexpr size_t kMaxFrame = 8192; // longer runs without EOT are dropped, not buffered forever

enum class Mode
{
    Ok,
    Silent,
    BadAck,
    BadChecksum,
    Short,
    Garbage
};

struct Options
{
    std::string link;
    std::string log;
    Mode mode = Mode::Ok;
    long delayMs = 0;
    long busyMs = 0;
    long failAfter = 0;
    long exitAfter = 0;
    long junkBytes = 8;
    bool lineTime = true;
    bool exitWithParent = false;
};

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

void Usage(FILE *out)
{
    std::fputs("Usage: tesma-encoder-sim --link <path> [options]\n"
               "Plays a paging encoder on a pseudo-terminal linked at <path> (for instance <workdir>/COM1).\n"
               "Frames STX..EOT are parsed and their checksum checked; a good frame is answered with its\n"
               "four checksum characters and ACK. Prints \"READY <path>\" once linked; removes the link on exit.\n"
               "It plays a line: what the console writes arrives at the port's bit rate and data format\n"
               "(start, data, parity and stop bits per character), so a frame is complete only after its line\n"
               "time, and every answer takes its line time too.\n"
               "\n"
               "  --link <path>        symbolic link to create (a symbolic link whose terminal is gone is\n"
               "                       replaced; one that points at an existing terminal, or anything else,\n"
               "                       is left alone and the simulator refuses to start)\n"
               "  --log <file>         append a line per frame:\n"
               "                       FRAME <hex STX..EOT> <ok|badsum> at=<ms> rx=<ms>\n"
               "                       (at: when its last byte arrived on the line; rx: when its first byte was\n"
               "                       read from the terminal), per answer:\n"
               "                       REPLY <hex> at=<ms> late=<us> (at: when its last byte was written; late:\n"
               "                       how far behind its line time the simulator wrote it), and per line-settings\n"
               "                       change: SETTINGS baud=<n> csize=<n> parity=<none|even|odd> cstopb=<0|1>\n"
               "                       Times are milliseconds of the system's monotonic clock.\n"
               "  --no-line-time       bytes arrive and answers go out at once (for fast tests)\n"
               "  --mode <m>           ok (default) | silent | bad-ack (fifth byte NAK) |\n"
               "                       bad-checksum (last checksum character wrong) | short (four bytes only) |\n"
               "                       garbage (junk bytes)\n"
               "  --junk-bytes <n>     how many junk bytes the garbage mode answers (default 8)\n"
               "  --delay-ms <n>       answer n ms after the frame ends (a late encoder)\n"
               "  --busy-ms <n>        after each acknowledged frame stay silent for n ms (a busy encoder)\n"
               "  --fail-after <n>     answer the first n frames correctly, apply --mode from then on\n"
               "  --exit-after <n>     close the pseudo-terminal and exit after n frames (a vanishing port)\n"
               "  --exit-with-parent   exit when the parent process ends\n"
               "  --help               this text\n"
               "A frame with a wrong checksum is logged and not answered. SIGTERM or SIGINT end the simulator.\n"
               "A pseudo-terminal always carries 8 data bits without parity; the log shows what the console set.\n",
               out);
}

bool ParseLong(const char *text, long &out)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 0)
        return false;
    out = value;
    return true;
}

bool ParseArgs(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&](const char *&value) {
            if (i + 1 >= argc)
                return false;
            value = argv[++i];
            return true;
        };
        const char *value = nullptr;
        if (arg == "--help") {
            Usage(stdout);
            std::exit(0);
        } else if (arg == "--exit-with-parent") {
            o.exitWithParent = true;
        } else if (arg == "--no-line-time") {
            o.lineTime = false;
        } else if (arg == "--junk-bytes" && next(value)) {
            if (!ParseLong(value, o.junkBytes))
                return false;
        } else if (arg == "--link" && next(value)) {
            o.link = value;
        } else if (arg == "--log" && next(value)) {
            o.log = value;
        } else if (arg == "--mode" && next(value)) {
            const std::string m = value;
            if (m == "ok")
                o.mode = Mode::Ok;
            else if (m == "silent")
                o.mode = Mode::Silent;
            else if (m == "bad-ack")
                o.mode = Mode::BadAck;
            else if (m == "bad-checksum")
                o.mode = Mode::BadChecksum;
            else if (m == "short")
                o.mode = Mode::Short;
            else if (m == "garbage")
                o.mode = Mode::Garbage;
            else
                return false;
        } else if (arg == "--delay-ms" && next(value)) {
            if (!ParseLong(value, o.delayMs))
                return false;
        } else if (arg == "--busy-ms" && next(value)) {
            if (!ParseLong(value, o.busyMs))
                return false;
        } else if (arg == "--fail-after" && next(value)) {
            if (!ParseLong(value, o.failAfter))
                return false;
        } else if (arg == "--exit-after" && next(value)) {
            if (!ParseLong(value, o.exitAfter))
                return false;
        } else {
            return false;
        }
    }
    return !o.link.empty();
}

// Microseconds of the monotonic clock (the clock the console's own timers use).
long long NowUs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

std::string Ms(long long us)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", us / 1000, us % 1000);
    return text;
}

std::string Hex(const unsigned char *bytes, size_t n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

class Log
{
public:
    bool open(const std::string &path)
    {
        if (path.empty())
            return true;
        m_file = std::fopen(path.c_str(), "a");
        return m_file != nullptr;
    }
    ~Log()
    {
        if (m_file)
            std::fclose(m_file);
    }
    void line(const std::string &text)
    {
        if (!m_file)
            return;
        std::fputs(text.c_str(), m_file);
        std::fputc('\n', m_file);
        std::fflush(m_file);
    }

private:
    FILE *m_file = nullptr;
};

int BaudOf(speed_t speed)
{
    static const std::pair<speed_t, int> table[] = { { B0, 0 },
                                                     { B50, 50 },
                                                     { B75, 75 },
                                                     { B110, 110 },
                                                     { B134, 134 },
                                                     { B150, 150 },
                                                     { B200, 200 },
                                                     { B300, 300 },
                                                     { B600, 600 },
                                                     { B1200, 1200 },
                                                     { B1800, 1800 },
                                                     { B2400, 2400 },
                                                     { B4800, 4800 },
                                                     { B9600, 9600 },
                                                     { B19200, 19200 },
                                                     { B38400, 38400 },
                                                     { B57600, 57600 },
                                                     { B115200, 115200 },
                                                     { B230400, 230400 },
                                                     { B460800, 460800 },
                                                     { B500000, 500000 },
                                                     { B576000, 576000 },
                                                     { B921600, 921600 },
                                                     { B1000000, 1000000 },
                                                     { B1152000, 1152000 },
                                                     { B1500000, 1500000 },
                                                     { B2000000, 2000000 } };
    for (const auto &entry : table)
        if (entry.first == speed)
            return entry.second;
    return -1;
}

std::string SettingsLine(const termios &t)
{
    int csize = 8;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        csize = 5;
        break;
    case CS6:
        csize = 6;
        break;
    case CS7:
        csize = 7;
        break;
    default:
        break;
    }
    const char *parity = !(t.c_cflag & PARENB) ? "none" : (t.c_cflag & PARODD) ? "odd" : "even";
    return "SETTINGS baud=" + std::to_string(BaudOf(cfgetospeed(&t))) + " csize=" + std::to_string(csize)
        + " parity=" + parity + " cstopb=" + ((t.c_cflag & CSTOPB) ? "1" : "0");
}

// Microseconds one character takes on the line with these settings: start, data, parity and
// stop bits at the bit rate.
long long CharacterUs(const termios &t)
{
    const int baud = BaudOf(cfgetospeed(&t));
    if (baud <= 0)
        return 0;
    int bits = 1 + 8;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        bits = 1 + 5;
        break;
    case CS6:
        bits = 1 + 6;
        break;
    case CS7:
        bits = 1 + 7;
        break;
    default:
        break;
    }
    bits += (t.c_cflag & PARENB) ? 1 : 0;
    bits += (t.c_cflag & CSTOPB) ? 2 : 1;
    return (static_cast<long long>(bits) * 1'000'000 + baud - 1) / baud;
}

// A byte on the line and the time (us) its last bit has passed.
struct TimedByte
{
    unsigned char byte;
    long long due;
};

// One answer going out: its bytes with the times they are due, and how late the simulator was.
struct Outgoing
{
    std::deque<TimedByte> bytes;
    std::vector<unsigned char> all;
    long long worstLateUs = 0;
};

// The answer the chosen behaviour gives to a frame with a good checksum (empty: none).
std::vector<unsigned char> AnswerFor(Mode mode, const unsigned char *sum, long junkBytes)
{
    std::vector<unsigned char> reply(sum, sum + 4);
    switch (mode) {
    case Mode::Ok:
        reply.push_back(ACK);
        break;
    case Mode::Silent:
        reply.clear();
        break;
    case Mode::BadAck:
        reply.push_back(NAK);
        break;
    case Mode::BadChecksum:
        reply[3] = static_cast<unsigned char>(reply[3] == '0' ? '1' : '0');
        reply.push_back(ACK);
        break;
    case Mode::Short:
        break;
    case Mode::Garbage: {
        static const unsigned char junk[] = { 0xFF, STX, '?', EOT, 0x00, ACK, 'x', 0x80 };
        reply.clear();
        for (long i = 0; i < junkBytes; ++i)
            reply.push_back(junk[i % 8]);
        break;
    }
    }
    return reply;
}

// Writes what it can without blocking; returns how many bytes went (a full terminal takes none).
size_t WriteSome(int fd, const unsigned char *bytes, size_t count)
{
    for (;;) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno != EINTR)
            return 0;
    }
}

// True when path names a symbolic link whose target exists as a terminal or other device.
bool LinkPointsAtLiveDevice(const std::string &path)
{
    struct stat target
    {
    };
    return stat(path.c_str(), &target) == 0 && S_ISCHR(target.st_mode);
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!ParseArgs(argc, argv, options)) {
        Usage(stderr);
        return 2;
    }
    if (options.exitWithParent) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() == 1)
            return 0;
    }
    Log log;
    if (!log.open(options.log)) {
        std::fprintf(stderr, "tesma-encoder-sim: cannot open log %s: %s\n", options.log.c_str(), std::strerror(errno));
        return 2;
    }

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("tesma-encoder-sim: pseudo-terminal");
        return 1;
    }
    const std::string slaveName = ptsname(master);
    // Holding our own end of the slave keeps the master from seeing a hang-up (and spinning on
    // POLLHUP) whenever the console closes the port.
    const int slave = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        std::perror("tesma-encoder-sim: slave");
        return 1;
    }
    // A serial device forgets its exclusive mode (TIOCEXCL) when its last user closes it; a
    // pseudo-terminal keeps it while its master is open, so a console that died holding the
    // port would lock out every later one but root's. The opens and closes of the terminal by
    // others are counted, and the mode is cleared once none is left.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, slaveName.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        std::perror("tesma-encoder-sim: watching the terminal");
        return 1;
    }
    long othersOpen = 0;
    auto countOpens = [&]() {
        alignas(inotify_event) char events[4096];
        ssize_t got;
        while ((got = ::read(watch, events, sizeof events)) > 0) {
            for (char *at = events; at < events + got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(at);
                if (event->mask & IN_OPEN)
                    ++othersOpen;
                if (event->mask & IN_CLOSE)
                    othersOpen = std::max(0L, othersOpen - 1);
                at += sizeof(inotify_event) + event->len;
            }
        }
        int exclusive = 0;
        if (othersOpen == 0 && ioctl(slave, TIOCGEXCL, &exclusive) == 0 && exclusive)
            ioctl(slave, TIOCNXCL);
    };

    termios raw {};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    tcsetattr(slave, TCSANOW, &raw);

    struct stat st
    {
    };
    if (lstat(options.link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "tesma-encoder-sim: %s exists and is not a symbolic link; not replaced\n",
                         options.link.c_str());
            return 1;
        }
        // A link to a terminal that still exists may be another console's line: keep it.
        if (LinkPointsAtLiveDevice(options.link)) {
            std::fprintf(stderr, "tesma-encoder-sim: %s points at a terminal that still exists; not replaced\n",
                         options.link.c_str());
            return 1;
        }
        ::unlink(options.link.c_str());
    }
    if (symlink(slaveName.c_str(), options.link.c_str()) != 0) {
        std::fprintf(stderr, "tesma-encoder-sim: cannot link %s: %s\n", options.link.c_str(), std::strerror(errno));
        return 1;
    }
    auto removeLink = [&]() {
        // Remove the link only while it still points at our terminal.
        char target[4096];
        const ssize_t n = readlink(options.link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == slaveName)
            ::unlink(options.link.c_str());
    };

    struct sigaction sa
    {
    };
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("READY %s\n", options.link.c_str());
    std::fflush(stdout);

    termios last {};
    tcgetattr(slave, &last);
    log.line(SettingsLine(last));

    std::vector<unsigned char> frame;
    bool inFrame = false;
    long long frameRx = 0; // when the current frame's first byte was read
    std::deque<TimedByte> incoming; // read from the terminal, not yet arrived on the line
    std::deque<Outgoing> outgoing; // answers, in order
    long long rxFree = 0; // when the line from the console is free again
    long long txFree = 0; // when the line to the console is free again
    long long busyUntil = 0;
    long frames = 0;
    bool exiting = false;
    long long exitAt = 0;
    long long characterUs = options.lineTime ? CharacterUs(last) : 0;
    bool outputBlocked = false; // the terminal took nothing of the last write
    // Answers never block the simulator: a console that reads nothing only delays them.
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    // A complete frame: log it and schedule its answer from the time its last byte arrived.
    auto frameEnded = [&](long long arrived) {
        ++frames;
        bool good = false;
        if (frame.size() >= 6) {
            unsigned sum = 0;
            for (size_t k = 0; k + 5 < frame.size(); ++k)
                sum = (sum + frame[k]) & 0xFFFF;
            const unsigned char *got4 = frame.data() + frame.size() - 5;
            good = true;
            for (int k = 0; k < 4; ++k)
                good = good && got4[k] == 0x30 + ((sum >> (12 - 4 * k)) & 0x0F);
        }
        log.line("FRAME " + Hex(frame.data(), frame.size()) + (good ? " ok" : " badsum") + " at=" + Ms(arrived)
                 + " rx=" + Ms(frameRx));
        if (good && arrived >= busyUntil) {
            const Mode mode = frames <= options.failAfter ? Mode::Ok : options.mode;
            std::vector<unsigned char> reply = AnswerFor(mode, frame.data() + frame.size() - 5, options.junkBytes);
            if (!reply.empty()) {
                const long long start = arrived + options.delayMs * 1000;
                if (reply.size() == 5 && reply[4] == ACK && mode != Mode::BadChecksum)
                    busyUntil = start + (options.busyMs * 1000);
                Outgoing out;
                long long at = std::max(txFree, start);
                for (unsigned char b : reply) {
                    at += characterUs;
                    out.bytes.push_back({ b, at });
                }
                txFree = at;
                out.all = std::move(reply);
                outgoing.push_back(std::move(out));
            }
        }
        if (options.exitAfter > 0 && frames >= options.exitAfter)
            exiting = true;
    };

    while (!g_stop) {
        // The last answer gets a moment to be read before the terminal goes away.
        if (exiting && outgoing.empty()) {
            if (exitAt == 0)
                exitAt = NowUs() + 200'000;
            else if (NowUs() >= exitAt)
                break;
        }
        long long now = NowUs();
        long long timeout = 20'000; // also the interval at which line settings are looked at
        if (!incoming.empty())
            timeout = std::min(timeout, incoming.front().due - now);
        if (!outgoing.empty())
            timeout = std::min(timeout, outgoing.front().bytes.front().due - now);
        timeout = std::max(timeout, outputBlocked ? 5'000LL : 0LL);
        pollfd polled[2] { { master, static_cast<short>(POLLIN | (outputBlocked ? POLLOUT : 0)), 0 },
                           { watch, POLLIN, 0 } };
        const pollfd &p = polled[0];
        const timespec wait { static_cast<time_t>(timeout / 1'000'000), static_cast<long>(timeout % 1'000'000) * 1000 };
        const int n = ::ppoll(polled, 2, &wait, nullptr);
        if (n < 0 && errno != EINTR)
            break;
        if (n > 0 && (polled[1].revents & POLLIN))
            countOpens();

        termios t {};
        if (tcgetattr(slave, &t) == 0) {
            const std::string line = SettingsLine(t);
            if (line != SettingsLine(last)) {
                log.line(line);
                last = t;
                characterUs = options.lineTime ? CharacterUs(last) : 0;
            }
        }

        if (n > 0 && (p.revents & POLLIN)) {
            unsigned char buffer[4096];
            const ssize_t got = ::read(master, buffer, sizeof buffer);
            now = NowUs();
            // Each byte reaches the encoder one character time after the one before it.
            for (ssize_t i = 0; i < got; ++i) {
                rxFree = std::max(rxFree, now) + characterUs;
                incoming.push_back({ buffer[i], rxFree });
                if (buffer[i] == STX)
                    frameRx = now;
            }
        }

        now = NowUs();
        while (!incoming.empty() && incoming.front().due <= now && !exiting) {
            const TimedByte in = incoming.front();
            incoming.pop_front();
            const unsigned char c = in.byte;
            if (c == STX) { // a start byte always begins a new frame
                frame.assign(1, STX);
                inFrame = true;
                continue;
            }
            if (!inFrame)
                continue;
            frame.push_back(c);
            if (frame.size() > kMaxFrame) {
                log.line("OVERFLOW " + std::to_string(frame.size()));
                frame.clear();
                inFrame = false;
                continue;
            }
            if (c != EOT)
                continue;
            inFrame = false;
            frameEnded(in.due);
        }
        if (exiting)
            incoming.clear();

        now = NowUs();
        while (!outgoing.empty()) {
            Outgoing &out = outgoing.front();
            // Every byte that is due goes in one write; a full terminal keeps the rest for later.
            std::vector<unsigned char> due;
            for (const TimedByte &b : out.bytes) {
                if (b.due > now)
                    break;
                due.push_back(b.byte);
            }
            if (due.empty())
                break;
            const size_t sent = WriteSome(master, due.data(), due.size());
            outputBlocked = sent == 0;
            const long long written = NowUs();
            if (sent > 0)
                out.worstLateUs = std::max(out.worstLateUs, written - out.bytes[sent - 1].due);
            for (size_t k = 0; k < sent; ++k)
                out.bytes.pop_front();
            if (!out.bytes.empty())
                break;
            log.line("REPLY " + Hex(out.all.data(), out.all.size()) + " at=" + Ms(written)
                     + " late=" + std::to_string(out.worstLateUs));
            outgoing.pop_front();
        }
    }

    removeLink();
    ::close(watch);
    ::close(slave);
    ::close(master);
    return 0;
}
