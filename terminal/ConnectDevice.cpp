#include "terminal/ConnectDevice.h"

#include <climits>

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

int LeadingInt(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    qint64 value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text[i].unicode() - '0');
        if (value > qint64(INT_MAX) + 1)
            value = qint64(INT_MAX) + 1;
    }
    if (negative)
        return int(std::max(-value, qint64(INT_MIN)));
    return int(std::min(value, qint64(INT_MAX)));
}

int LinkKeyOf(const QString& ipKey)
{
    bool ok = false;
    const int key = ipKey.trimmed().toInt(&ok);
    return ok ? key : 0;
}

bool ConnectDevice(CConnServer& record, TransferContext& ctx)
{
    if (record.IP.isEmpty() || record.Port.isEmpty()) {
        Report(ctx, progress::kNoAddress, progress::kErrorTitle, progress::kNoAddressText);
        return false;
    }
    const int port = LeadingInt(record.Port);
    if (ctx.Connected == 1) {
        ctx.link.CloseLink();
        ctx.Connected = 0;
        SetCaption(ctx, kConnectCaption);
        return true;
    }
    ctx.link.SetLinkKey(LinkKeyOf(record.IPKey));
    for (int attempt = 0; attempt < kAttempts && ctx.Connected == 0; ++attempt) {
        Report(ctx, progress::kTrying, progress::kTryingTitle, record.IP);
        ctx.Connected = ctx.link.OpenLink(record.IP, port) ? 1 : 0;
    }
    if (ctx.Connected == 1) {
        SetCaption(ctx, kDisconnectCaption);
        Report(ctx, progress::kConnected, progress::kConnectedTitle, progress::kConnectedText);
        return true;
    }
    Report(ctx, progress::kConnectFailed, progress::kConnectFailedTitle,
           progress::kConnectFailedText);
    return false;
}
