#include "SimOptions.h"

#include <QCommandLineParser>

#include <climits>

namespace {

struct Numbers {
    QCommandLineParser& parser;
    QString& error;

    template <typename T> void Read(const QCommandLineOption& option, T& target, qint64 minimum)
    {
        if (!parser.isSet(option))
            return;
        bool ok = false;
        const qint64 value = parser.value(option).toLongLong(&ok);
        if (!ok || value < minimum)
            error = QStringLiteral("invalid value for --%1: %2")
                        .arg(option.names().constFirst(), parser.value(option));
        else
            target = T(value);
    }
};

} // namespace

const QStringList& OddCards()
{
    static const QStringList cards = {
        QStringLiteral("12\"34"), QStringLiteral("O'Neil 7"), QStringLiteral("A\tB"),
        QStringLiteral("أحمد٣٤"), QStringLiteral("x%y"),      QStringLiteral("ص-9"),
    };
    return cards;
}

std::optional<SimOptions> ParseSimOptions(const QStringList& arguments, QString& message,
                                          int& exitCode)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Terminal simulator: a TCP server speaking the terminal protocol (ZTP/2).\n"
        "Prints \"listening <address> <port>\" as its first line on standard output,\n"
        "then serves one connection after another until killed."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    p.addOption(help);
    // Declares an option and adds it to the parser, in the order of --help.
    auto opt = [&p](const char* name, const char* text, const char* value = nullptr) {
        const QCommandLineOption option =
            value
                ? QCommandLineOption(QLatin1String(name), QLatin1String(text), QLatin1String(value))
                : QCommandLineOption(QLatin1String(name), QLatin1String(text));
        p.addOption(option);
        return option;
    };
    const auto listen = opt("listen", "Address to listen on (default 127.0.0.1).", "address");
    const auto port = opt("port", "TCP port (default 0: any free port).", "port");
    const auto key = opt("key", "The terminal's link key (default 0).", "key");
    const auto machine = opt("machine", "The terminal's machine number (default 1).", "n");
    const auto sessions = opt("sessions", "Exit after n connections (default: never).", "n");
    const auto idle = opt("idle-timeout", "Drop a silent client after ms (default 30000).", "ms");
    const auto log = opt("log", "Serve the punch lines of this file.", "file");
    const auto count = opt("count", "Generated punches (default 1000).", "n");
    const auto users = opt("users", "Generated users (default 50).", "n");
    const auto from = opt("from", "First day of generated punches (default 2024-03-01).", "date");
    const auto days = opt("days", "Days spanned by generated punches (default 31).", "n");
    const auto seed = opt("seed", "Seed of the generator (default 1).", "n");
    const auto refuse = opt("refuse", "Close the first n connections at once.", "n");
    const auto stallGreeting = opt("stall-greeting", "Accept but never greet.");
    const auto wrongKey = opt("wrong-key", "Refuse every key proof.");
    const auto closeAfter = opt("close-after", "Close the connection after n punches.", "n");
    const auto stallAfter = opt("stall-after", "Stop sending after n punches.", "n");
    const auto garbageAfter = opt("garbage-after", "Send a garbage line after n punches.", "n");
    const auto oversizedAfter =
        opt("oversized-after", "Send an oversized line after n punches.", "n");
    const auto badDates = opt("bad-dates", "Punch 3 of every 10 has month 13, punch 6 31 June.");
    const auto oddCards = opt("odd-cards", "Card numbers with quotes, tabs, blanks, Arabic.");
    const auto noData = opt("no-data", "Refuse LOAD with this error code (0: no data).", "code");
    const auto prepareRefused = opt("prepare-refused", "Refuse PREPARE.");
    const auto enableRefused = opt("enable-refused", "Refuse ACTIVE 1 (enabling).");
    const auto badCardAfter =
        opt("bad-card-after", "The punch after n has a card number that is not UTF-8.", "n");
    const auto wideIntAfter =
        opt("wide-int-after", "The punch after n writes its year with 11 digits.", "n");
    const auto clockOffset =
        opt("clock-offset", "The terminal's clock runs this far ahead of the host's (default 0).",
            "seconds");
    const auto forgeClock = opt("forge-clock", "Answer TIME with a code that does not match.");
    const auto rawStream = opt("raw-stream", "Send the punch stream on connect, then close.");
    const auto portFile = opt("port-file",
                              "Once listening, write \"<address> <port>\" to this file "
                              "(replaced in one step, so it is never seen half-written).",
                              "path");
    const auto stateFile =
        opt("state-file", "Write \"active 0\" or \"active 1\" here at every change.", "path");
    const auto rate = opt("rate", "Send at most n punches per second.", "n");
    const auto trickle = opt("trickle", "Send one punch every ms milliseconds.", "ms");
    const auto drip =
        opt("drip", "Send each punch line a byte at a time, ms milliseconds apart.", "ms");
    const auto impostor = opt("impostor", "Answer in the terminal's place without its key.");
    const auto forgeAfter =
        opt("forge-after", "Alter the punch after n without fixing the stream's code.", "n");
    const auto logCount =
        opt("log-count", "Announce n punches in the punch log header (LOAD: the real count).", "n");
    const auto greetingExtra =
        opt("greeting-extra", "Further fields after the greeting's nonce.", "text");
    const auto greetingVersion =
        opt("greeting-version", "The version the greeting names (default ZTP/2).", "text");
    const auto errorText = opt("error-text", "The text of every ERR answer.", "text");

    exitCode = 2;
    if (!p.parse(QStringList{QStringLiteral("zelvor-terminal-sim")} + arguments)) {
        message = p.errorText();
        return std::nullopt;
    }
    if (p.isSet(help)) {
        message = p.helpText();
        exitCode = 0;
        return std::nullopt;
    }
    SimOptions o;
    QString error;
    Numbers n{p, error};
    if (p.isSet(listen))
        o.listen = p.value(listen);
    n.Read(port, o.port, 0);
    o.portFile = p.value(portFile);
    n.Read(key, o.key, INT_MIN);
    n.Read(machine, o.machine, INT_MIN);
    n.Read(sessions, o.sessions, 0);
    n.Read(idle, o.idleTimeoutMs, 1);
    o.logFile = p.value(log);
    n.Read(count, o.count, 0);
    n.Read(users, o.users, 1);
    n.Read(days, o.days, 1);
    n.Read(seed, o.seed, 0);
    n.Read(refuse, o.refuse, 0);
    n.Read(closeAfter, o.closeAfter, 0);
    n.Read(stallAfter, o.stallAfter, 0);
    n.Read(garbageAfter, o.garbageAfter, 0);
    n.Read(oversizedAfter, o.oversizedAfter, 0);
    if (p.isSet(noData)) {
        int code = 0;
        n.Read(noData, code, INT_MIN);
        o.noData = code;
    }
    if (p.isSet(from)) {
        o.from = QDate::fromString(p.value(from), Qt::ISODate);
        if (!o.from.isValid())
            error = QStringLiteral("invalid value for --from: %1").arg(p.value(from));
    }
    o.stallGreeting = p.isSet(stallGreeting);
    o.wrongKey = p.isSet(wrongKey);
    o.badDates = p.isSet(badDates);
    o.oddCards = p.isSet(oddCards);
    o.prepareRefused = p.isSet(prepareRefused);
    o.enableRefused = p.isSet(enableRefused);
    n.Read(badCardAfter, o.badCardAfter, 0);
    n.Read(wideIntAfter, o.wideIntAfter, 0);
    n.Read(clockOffset, o.clockOffset, -100LL * 365 * 24 * 3600);
    o.forgeClock = p.isSet(forgeClock);
    o.rawStream = p.isSet(rawStream);
    o.stateFile = p.value(stateFile);
    if (p.isSet(rate)) {
        bool ok = false;
        o.rate = p.value(rate).toDouble(&ok);
        if (!ok || o.rate < 0)
            error = QStringLiteral("invalid value for --rate: %1").arg(p.value(rate));
    }
    n.Read(trickle, o.trickleMs, 1);
    n.Read(drip, o.dripMs, 1);
    o.impostor = p.isSet(impostor);
    n.Read(forgeAfter, o.forgeAfter, 0);
    n.Read(logCount, o.logCount, 0);
    o.greetingExtra = p.value(greetingExtra);
    if (p.isSet(greetingVersion))
        o.greetingVersion = p.value(greetingVersion);
    o.errorText = p.value(errorText);
    if (o.port > 65535)
        error = QStringLiteral("invalid port");
    if (!error.isEmpty()) {
        message = error;
        return std::nullopt;
    }
    return o;
}
