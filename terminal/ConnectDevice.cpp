#include "terminal/ConnectDevice.h"

#include "resources/OperatorTexts.h"

namespace {
constexpr int kAttempts = 3;

void Report(TransferContext& ctx, const QString& code, const QString& title, const QString& text)
{
    ctx.progress.ReportStatus(code);
    ctx.progress.ShowNotification(title, text);
}
} // namespace

bool ConnectDevice(const TerminalAddress& address, TransferContext& ctx)
{
    if (!address.complete) {
        Report(ctx, progress::kNoAddress, optext::kErrorTitle, optext::kNoAddressText);
        return false;
    }
    ctx.link.SetLinkKey(address.key);
    // Each attempt makes a new connection (a link still open is dropped first).
    bool open = false;
    for (int attempt = 0; attempt < kAttempts && !open; ++attempt) {
        Report(ctx, progress::kTrying, optext::kTryingTitle, address.host);
        open = ctx.link.OpenLink(address.host, address.port);
    }
    if (open) {
        Report(ctx, progress::kConnected, optext::kConnectedTitle, optext::kConnectedText);
        return true;
    }
    Report(ctx, progress::kConnectFailed, optext::kConnectFailedTitle, optext::kConnectFailedText);
    return false;
}
