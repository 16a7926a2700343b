#include "terminal/ConnectDevice.h"

#include "platform/IntText.h"
#include "resources/OperatorTexts.h"

namespace {
constexpr int kAttempts = 3;

void SetCaption(TransferContext& ctx, const QString& caption)
{
    if (ctx.setConnectCaption)
        ctx.setConnectCaption(caption);
}

void Report(TransferContext& ctx, const QString& code, const QString& title, const QString& text)
{
    ctx.progress.ReportStatus(code);
    ctx.progress.ShowNotification(title, text);
}
} // namespace

int LinkKeyOf(const QString& ipKey)
{
    int key = 0;
    return ParseWholeInt(QStringView(ipKey).trimmed(), key, true) ? key : 0;
}

bool ConnectDevice(CConnServer& record, TransferContext& ctx)
{
    if (record.IP.isEmpty() || record.Port.isEmpty()) {
        Report(ctx, progress::kNoAddress, optext::kErrorTitle, optext::kNoAddressText);
        return false;
    }
    const int port = LeadingInt(record.Port);
    if (ctx.Connected == 1) {
        ctx.link.CloseLink();
        ctx.Connected = 0;
        SetCaption(ctx, optext::kConnectCaption);
        return true;
    }
    ctx.link.SetLinkKey(LinkKeyOf(record.IPKey));
    for (int attempt = 0; attempt < kAttempts && ctx.Connected == 0; ++attempt) {
        Report(ctx, progress::kTrying, optext::kTryingTitle, record.IP);
        ctx.Connected = ctx.link.OpenLink(record.IP, port) ? 1 : 0;
    }
    if (ctx.Connected == 1) {
        SetCaption(ctx, optext::kDisconnectCaption);
        Report(ctx, progress::kConnected, optext::kConnectedTitle, optext::kConnectedText);
        return true;
    }
    Report(ctx, progress::kConnectFailed, optext::kConnectFailedTitle, optext::kConnectFailedText);
    return false;
}
