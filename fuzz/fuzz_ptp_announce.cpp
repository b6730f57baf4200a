// Feeds datagrams to the PTP Announce reader and the grandmaster table. The
// input is split into datagrams by a leading length byte; the clock moves a
// second per datagram so that entries also expire.
#include "clocks/GrandmasterTable.h"
#include "clocks/PtpAnnounce.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CGrandmasterTable table;
    int64_t now = 0;
    while (size > 0) {
        const size_t length = std::min<size_t>(data[0], size - 1);
        const auto announce = ReadPtpAnnounce(data + 1, length);
        if (announce) {
            if (ClockIdentityText(announce->grandmaster).size() != 23)
                std::abort();
            table.Heard(*announce, "192.0.2.1", now);
        }
        table.Expire(++now);
        data += 1 + length;
        size -= 1 + length;
    }
    if (table.List().size() > CGrandmasterTable::kMaxEntries)
        std::abort();
    return 0;
}
