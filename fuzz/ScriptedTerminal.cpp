#include "ScriptedTerminal.h"

#include "terminal/Protocol.h"

#include <algorithm>

namespace {

bool StartsWith(std::string_view line, std::string_view head)
{
    return line.substr(0, head.size()) == head;
}

} // namespace

ScriptedTerminal::ScriptedTerminal(std::string_view input, bool authenticated, int pieceBytes,
                                   int linkKey)
    : input_(input), authenticated_(authenticated), pieceBytes_(std::max(1, pieceBytes)),
      linkKey_(linkKey)
{
    if (authenticated_) {
        nonces_.terminal = QByteArray(2 * ztp::kNonceBytes, 'a');
        served_ = "HELLO " + QByteArray(ztp::kVersion) + ' ' + nonces_.terminal + '\n';
    } else {
        served_ = QByteArray(input.data(), qsizetype(input.size()));
        inputQueued_ = true;
    }
}

qint64 ScriptedTerminal::Read(char* out, qint64 size, QDeadlineTimer, Stop& stop)
{
    const qint64 n = std::min({size, qint64(pieceBytes_), qint64(served_.size() - at_)});
    if (!connected_ || n <= 0) {
        connected_ = false;
        stop = Stop::Closed;
        return 0;
    }
    std::copy_n(served_.constData() + at_, n, out);
    at_ += n;
    return n;
}

bool ScriptedTerminal::Write(const char* data, qint64 size, QDeadlineTimer)
{
    if (!connected_)
        return false;
    const std::string_view line(data, std::size_t(size));
    // The client's proof is not checked: only the terminal's side is under test.
    if (authenticated_ && !inputQueued_ && StartsWith(line, "AUTH ")) {
        nonces_.client = QByteArray(data + 5, std::min<qint64>(size - 5, 2 * ztp::kNonceBytes));
        served_ += "OK " + ztp::TerminalProof(linkKey_, nonces_) + '\n';
        served_ += WithStreamCodes(input_, ztp::MakeSessionKey(linkKey_, nonces_));
        inputQueued_ = true;
    }
    return true;
}

QByteArray ScriptedTerminal::WithStreamCodes(std::string_view input,
                                             const ztp::SessionKey& key) const
{
    QByteArray result;
    std::optional<ztp::StreamCode> code;
    qint64 streams = 0;
    while (!input.empty()) {
        const std::size_t lf = input.find('\n');
        const std::string_view raw = input.substr(0, lf);
        input = lf == std::string_view::npos ? std::string_view() : input.substr(lf + 1);
        std::string_view line = raw;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        result.append(raw.data(), qsizetype(raw.size()));
        if (StartsWith(line, "LOG ")) {
            code.emplace(key, ++streams);
            code->AddLine(line);
        } else if (code && StartsWith(line, "END ") && line.find(' ', 4) == line.npos) {
            code->AddLine(line);
            if (result.endsWith('\r'))
                result.chop(1);
            result += ' ' + code->Hex();
            code.reset();
        } else if (code) {
            code->AddLine(line);
        }
        if (lf != std::string_view::npos)
            result += '\n';
    }
    return result;
}
