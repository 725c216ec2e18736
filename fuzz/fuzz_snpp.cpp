// libFuzzer target for the SNPP session parser. Built with -DTESMA_FUZZ=ON and clang;
// scripts/fuzz.sh builds it and runs it from fuzz/corpus/fuzz_snpp/.
//
// The input is split at 0xFE into the chunks a client sends, so lines are cut anywhere. The
// session must answer without crashing, never buffer more than a line, never queue a page
// that does not fit its frame, and send nothing after it closed.
#include "gateway/SnppSession.h"
#include "link/EncoderLink.h"
#include "tests/support/FakeSnppBackend.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    FakeSnppBackend backend;
    Recipient user;
    user.recipient = QStringLiteral("Mario");
    user.pinId = QStringLiteral("0000123A12");
    user.firstName = QStringLiteral("Mario");
    user.sendName = true;
    backend.book = { user };
    // The first byte picks a login, a full queue, a failing store and an unreadable address book.
    if (data[0] & 1) {
        backend.user = QStringLiteral("u");
        backend.password = QStringLiteral("p");
    }
    backend.limit = data[0] & 2 ? 1 : GatewayStore::kQueueLimit;
    backend.fail = data[0] & 4;
    backend.bookFails = data[0] & 8;

    SnppSession session(backend, QStringLiteral("127.0.0.1"));
    const QList<QByteArray> chunks = QByteArray(reinterpret_cast<const char *>(data + 1), int(size - 1)).split('\xFE');
    bool closed = false;
    for (const QByteArray &chunk : chunks) {
        // As the server does: a failed LOGI stops the feed, which goes on after its pause.
        QByteArray bytes = chunk;
        do {
            const SnppSession::Output out = session.feed(std::exchange(bytes, QByteArray()), 4);
            if (closed && !out.reply.isEmpty())
                std::abort();
            closed = closed || out.close;
            if (!out.reply.isEmpty() && !out.reply.endsWith("\r\n"))
                std::abort();
            if (out.reply.size() > 4 * SnppSession::kMaxReply)
                std::abort();
        } while (session.hasPendingLine());
        if (session.pendingBytes() > SnppSession::kMaxLine + 1)
            std::abort();
    }
    for (const GatewayPage &page : backend.queued) {
        if (page.body.isEmpty() || page.body.size() > SnppSession::roomFor(page) || page.header.size() != 10)
            std::abort();
        for (const char c : page.body) {
            if (quint8(c) < 32 || quint8(c) > 127)
                std::abort();
        }
    }
    return 0;
}
