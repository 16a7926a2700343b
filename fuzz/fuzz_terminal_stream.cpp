// The link's handling of whatever a terminal sends: greeting, answers, a
// clock reading, punch streams. Input: one byte of mode (bit 0: the terminal
// proves the key, so the input starts after the handshake), one byte of read
// piece size, then the terminal's bytes.
#include "ScriptedTerminal.h"

#include "terminal/NetTerminalLink.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    constexpr int kKey = 4711;
    const bool authenticated = (data[0] & 1) != 0;
    const int piece = 1 + data[1];
    const std::string_view input(reinterpret_cast<const char*>(data + 2), size - 2);
    NetTerminalLink link(std::make_unique<ScriptedTerminal>(input, authenticated, piece, kKey));
    link.SetPunchLimit(1000);
    link.SetLinkKey(kKey);
    if (!link.OpenLink(QStringLiteral("terminal"), 4370))
        return 0;
    TerminalTime time;
    link.ReadClock(1, time);
    link.PreparePunchRead(1);
    link.SetTerminalActive(1, false);
    // Two downloads: the second stream's code is keyed with its number.
    for (int download = 0; download < 2; ++download) {
        if (!link.LoadPunchLog(1)) {
            int code = 0;
            link.FetchErrorCode(code);
            continue;
        }
        CAttLogRec punch;
        for (int i = 0; i < 2000 && link.NextPunch(1, punch); ++i) {
        }
        link.AnnouncedCount();
        link.StreamBroken();
    }
    link.SetTerminalActive(1, true);
    link.LastFailure();
    link.CloseLink();
    return 0;
}
