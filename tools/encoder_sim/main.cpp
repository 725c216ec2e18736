// tesma-encoder-sim: plays the paging encoder on a pseudo-terminal, so the console can be
// tried and tested without hardware. See Usage() for the command line.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
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
               "\n"
               "  --link <path>        symbolic link to create (an existing symbolic link is replaced,\n"
               "                       anything else is left alone and the simulator refuses to start)\n"
               "  --log <file>         append a line per frame: FRAME <hex STX..EOT> <ok|badsum>, per answer:\n"
               "                       REPLY <hex>, and per line-settings change:\n"
               "                       SETTINGS baud=<n> csize=<n> parity=<none|even|odd> cstopb=<0|1>\n"
               "  --mode <m>           ok (default) | silent | bad-ack (fifth byte NAK) |\n"
               "                       bad-checksum (last checksum character wrong) | short (four bytes only) |\n"
               "                       garbage (junk bytes)\n"
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

long long NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
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

struct PendingReply
{
    long long due;
    std::vector<unsigned char> bytes;
};

// The answer the chosen behaviour gives to a frame with a good checksum (empty: none).
std::vector<unsigned char> AnswerFor(Mode mode, const unsigned char *sum)
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
    case Mode::Garbage:
        reply = { 0xFF, STX, '?', EOT, 0x00, ACK, 'x', 0x80 };
        break;
    }
    return reply;
}

void WriteAll(int fd, const std::vector<unsigned char> &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        done += static_cast<size_t>(n);
    }
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
    std::deque<PendingReply> pending;
    long long busyUntil = 0;
    long frames = 0;
    bool exiting = false;
    long long exitAt = 0;

    while (!g_stop) {
        // The last answer gets a moment to be read before the terminal goes away.
        if (exiting && pending.empty()) {
            if (exitAt == 0)
                exitAt = NowMs() + 200;
            else if (NowMs() >= exitAt)
                break;
        }
        long long now = NowMs();
        int timeout = 20; // also the interval at which line settings are looked at
        if (!pending.empty())
            timeout = static_cast<int>(std::clamp<long long>(pending.front().due - now, 0, 20));
        pollfd p { master, POLLIN, 0 };
        const int n = ::poll(&p, 1, timeout);
        if (n < 0 && errno != EINTR)
            break;

        termios t {};
        if (tcgetattr(slave, &t) == 0) {
            const std::string line = SettingsLine(t);
            if (line != SettingsLine(last)) {
                log.line(line);
                last = t;
            }
        }

        if (n > 0 && (p.revents & POLLIN)) {
            unsigned char buffer[4096];
            const ssize_t got = ::read(master, buffer, sizeof buffer);
            for (ssize_t i = 0; i < got && !exiting; ++i) {
                const unsigned char c = buffer[i];
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
                log.line("FRAME " + Hex(frame.data(), frame.size()) + (good ? " ok" : " badsum"));
                now = NowMs();
                if (good && now >= busyUntil) {
                    const Mode mode = frames <= options.failAfter ? Mode::Ok : options.mode;
                    std::vector<unsigned char> reply = AnswerFor(mode, frame.data() + frame.size() - 5);
                    if (!reply.empty()) {
                        if (reply.size() == 5 && reply[4] == ACK && mode != Mode::BadChecksum)
                            busyUntil = now + options.delayMs + options.busyMs;
                        pending.push_back({ now + options.delayMs, std::move(reply) });
                    }
                }
                if (options.exitAfter > 0 && frames >= options.exitAfter)
                    exiting = true;
            }
        }

        now = NowMs();
        while (!pending.empty() && pending.front().due <= now) {
            WriteAll(master, pending.front().bytes);
            log.line("REPLY " + Hex(pending.front().bytes.data(), pending.front().bytes.size()));
            pending.pop_front();
        }
    }

    removeLink();
    ::close(slave);
    ::close(master);
    return 0;
}
