// libFuzzer target for the reply handling of SendPage and for CheckPagerCode. Built with
// -DTESMA_FUZZ=ON and clang; scripts/fuzz.sh builds it and runs it from fuzz/corpus/fuzz_link/.
//
// The input's first byte picks the waits before each reply, the rest is split at 0xFE into a
// pager code text and the encoder's replies to successive frames. A page must end within its
// bounds, never read more than it asked for, and never crash.
#include "link/EncoderLink.h"
#include "link/PagerCode.h"
#include "tests/support/FakeTime.h"
#include "tests/support/ScriptedPagePort.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int waits = data[0] % 40;
    const QList<QByteArray> parts = QByteArray(reinterpret_cast<const char *>(data + 1), int(size - 1)).split('\xFE');

    const QString code = QString::fromLatin1(parts.first());
    const CodeCheck check = CheckPagerCode(code);
    if (check == CodeCheck::Ok && PadPagerCode(code).size() < 10)
        std::abort();

    FakeClock clock;
    FakePump pump(clock);
    ScriptedPagePort port(clock);
    for (qsizetype i = 1; i < parts.size(); ++i)
        port.replies.enqueue({ parts[i], waits });
    PageRequest request;
    request.header = check == CodeCheck::Ok ? BuildEncoderHeader(PadPagerCode(code), 0) : "0000123A12";
    request.namePrefix = QStringLiteral("Bo:");
    request.counter = 7;
    request.body = QStringLiteral("HI");
    BusyDeadline busy;
    busy.set(clock.tick + (waits % 2 ? 5000 : -1));
    EncoderLink link(port, busy, clock, pump);
    const qint64 start = clock.tick;
    const PageResult result = link.SendPage(request);
    if (result.refused)
        return 0;
    // Bounded: the tries and the waiting loop end by the deadline plus one attempt.
    if (clock.tick - start > 5 * 320 + 5000 + 1100 + 320)
        std::abort();
    if (port.reads > 5 * port.writes.size())
        std::abort();
    return 0;
}
