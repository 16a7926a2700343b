#include "app/CheckDiagnosis.h"

#include "platform/InstallLayout.h"
#include "resources/FaultTexts.h"

#include <algorithm>
#include <initializer_list>

namespace {

bool ContainsAny(const QString& text, std::initializer_list<const char*> needles)
{
    return std::any_of(needles.begin(), needles.end(), [&](const char* needle) {
        return text.contains(QLatin1String(needle), Qt::CaseInsensitive);
    });
}

// Where unixODBC looks for the driver name, for the hint.
QString OdbcinstPlace()
{
    const QString folder = qEnvironmentVariable("ODBCSYSINI");
    return folder.isEmpty() ? QStringLiteral("/etc/odbcinst.ini")
                            : QStringLiteral("%1/odbcinst.ini (from ODBCSYSINI)").arg(folder);
}

} // namespace

DatabaseFault ClassifyDatabaseFailure(const QString& text, const QString& driver)
{
    if (text == faulttext::kNoOdbcDriver)
        return DatabaseFault::QtDriverMissing;
    // unixODBC's own texts. A name that is not mapped is tried as a library
    // path, so "Can't open lib 'SQL Server'" means the name was not found.
    if (ContainsAny(text, {"Data source name not found", "IM002"}) ||
        text.contains(QStringLiteral("Can't open lib '%1'").arg(driver)))
        return DatabaseFault::DriverNotMapped;
    if (ContainsAny(text, {"Can't open lib", "IM003"}))
        return DatabaseFault::DriverNotLoadable;
    if (ContainsAny(text, {"[Driver Manager]"}))
        return DatabaseFault::DriverManager;
    // The server's and the drivers' texts (SQL Server through FreeTDS or
    // Microsoft's driver, PostgreSQL through psqlODBC). SQL Server's "Cannot
    // open database" also says "login failed", so the database comes first.
    if (ContainsAny(text, {"Cannot open database"}) ||
        (text.contains(QLatin1String("database \"")) && ContainsAny(text, {"does not exist"})))
        return DatabaseFault::DatabaseMissing;
    if (ContainsAny(text,
                    {"Login failed", "authentication failed", "28000", "no password supplied"}) ||
        (text.contains(QLatin1String("role \"")) && ContainsAny(text, {"does not exist"})))
        return DatabaseFault::LoginRefused;
    if (ContainsAny(text, {"could not translate host name", "Name or service not known",
                           "Unknown host", "host not found"}))
        return DatabaseFault::ServerNotFound;
    if (ContainsAny(text,
                    {"Is the server running", "Connection refused", "No such file or directory",
                     "timeout expired", "timed out", "Unable to connect",
                     "unavailable or does not exist", "could not connect", "No route to host",
                     "Network is unreachable", "TCP Provider", "08001", "HYT00"}))
        return DatabaseFault::ServerUnreachable;
    return DatabaseFault::Other;
}

bool IsDriverFault(DatabaseFault fault)
{
    return fault == DatabaseFault::QtDriverMissing || fault == DatabaseFault::DriverNotMapped ||
           fault == DatabaseFault::DriverNotLoadable || fault == DatabaseFault::DriverManager;
}

QString DatabaseFaultText(DatabaseFault fault)
{
    switch (fault) {
    case DatabaseFault::QtDriverMissing:
        return QStringLiteral("Qt's ODBC driver is not installed");
    case DatabaseFault::DriverNotMapped:
        return QStringLiteral("driver not mapped");
    case DatabaseFault::DriverNotLoadable:
        return QStringLiteral("driver library cannot be loaded");
    case DatabaseFault::DriverManager:
        return QStringLiteral("the ODBC driver manager refused");
    case DatabaseFault::ServerNotFound:
        return QStringLiteral("server name not found");
    case DatabaseFault::ServerUnreachable:
        return QStringLiteral("server unreachable");
    case DatabaseFault::LoginRefused:
        return QStringLiteral("login refused");
    case DatabaseFault::DatabaseMissing:
        return QStringLiteral("database not found or not allowed");
    case DatabaseFault::Other:
        break;
    }
    return QStringLiteral("the database refused");
}

QString DatabaseFaultHint(DatabaseFault fault, const QString& driver)
{
    switch (fault) {
    case DatabaseFault::QtDriverMissing:
        return QStringLiteral("install Qt's ODBC driver (Debian package libqt6sql6-odbc)");
    case DatabaseFault::DriverNotMapped:
        return QStringLiteral("add a [%1] section naming the driver library to %2; "
                              "odbcinst -q -d lists the names; see %3/odbc.md")
            .arg(driver, OdbcinstPlace(), DocFolder());
    case DatabaseFault::DriverNotLoadable:
        return QStringLiteral("the Driver line of [%1] in %2 names a library that is "
                              "not installed or not readable (tdsodbc); see %3/odbc.md")
            .arg(driver, OdbcinstPlace(), DocFolder());
    case DatabaseFault::DriverManager:
        return QStringLiteral("try the connection with isql -v -k; see %1/odbc.md")
            .arg(DocFolder());
    case DatabaseFault::ServerNotFound:
        return QStringLiteral("check Server in config.ini (zelvor-settings list) and the name "
                              "service (DNS, /etc/hosts)");
    case DatabaseFault::ServerUnreachable:
        return QStringLiteral("the database server is down or does not answer within the login "
                              "time-out, Server or the port is wrong (FreeTDS: driver option "
                              "Port=N or TDSPORT; Microsoft's driver: Server as host,port; see "
                              "%1/odbc.md), or a firewall blocks the way")
            .arg(DocFolder());
    case DatabaseFault::LoginRefused:
        return QStringLiteral(
            "wrong User or password in config.ini (set them again with "
            "zelvor-settings add ... --password-stdin), or the login is disabled");
    case DatabaseFault::DatabaseMissing:
        return QStringLiteral("check DbName in config.ini, and that the login may use that "
                              "database");
    case DatabaseFault::Other:
        break;
    }
    return QStringLiteral("the driver's text above says why; see %1/odbc.md").arg(DocFolder());
}

QString TerminalReachText(const TerminalProbe& probe, const QString& address, int port)
{
    const QString at = QStringLiteral("%1:%2").arg(address).arg(port);
    switch (probe.reach) {
    case TerminalReach::Answers:
        return QStringLiteral("%1 answers").arg(at);
    case TerminalReach::Silent:
        return QStringLiteral("%1 accepts the connection but does not answer").arg(at);
    case TerminalReach::ClosedAtOnce:
        return QStringLiteral("%1 accepts the connection and closes it at once").arg(at);
    case TerminalReach::Refused:
        return QStringLiteral("connection refused at %1").arg(at);
    case TerminalReach::HostNotFound:
        return QStringLiteral("host %1 not found").arg(address);
    case TerminalReach::Unreachable:
        return QStringLiteral("%1 unreachable (%2)").arg(at, probe.socketText);
    case TerminalReach::TimedOut:
        return QStringLiteral("no answer from %1 (time-out)").arg(at);
    case TerminalReach::Other:
        break;
    }
    return QStringLiteral("cannot connect to %1 (%2)").arg(at, probe.socketText);
}

QString TerminalReachHint(TerminalReach reach)
{
    switch (reach) {
    case TerminalReach::Answers:
        return {};
    case TerminalReach::Silent:
    case TerminalReach::ClosedAtOnce:
        return QStringLiteral("the terminal is busy or hung (restart it), or another service "
                              "listens on that port (check Port in tsrHrDeviceShift)");
    case TerminalReach::Refused:
        return QStringLiteral("nothing listens on that port: the terminal's network service is "
                              "off, or Port in tsrHrDeviceShift is wrong");
    case TerminalReach::HostNotFound:
        return QStringLiteral("check IP in tsrHrDeviceShift and the name service");
    case TerminalReach::Unreachable:
    case TerminalReach::TimedOut:
        return QStringLiteral("the terminal is off or not on the network, IP in tsrHrDeviceShift "
                              "is wrong, or a firewall drops the connection");
    case TerminalReach::Other:
        break;
    }
    return QStringLiteral("check IP and Port in tsrHrDeviceShift and the network");
}

QString DatabaseEndpointText(const CConnServer& record, const OdbcDriverInfo& driver)
{
    QString host = record.Server.trimmed();
    const qsizetype instance = host.indexOf(QLatin1Char('\\'));
    if (instance >= 0)
        return QStringLiteral("host %1, instance %2 (its port from the server's browser service, "
                              "UDP port 1434)")
            .arg(host.left(instance), host.mid(instance + 1));
    QString port;
    const qsizetype comma = host.indexOf(QLatin1Char(','));
    if (comma >= 0) {
        port = host.mid(comma + 1).trimmed() + QStringLiteral(" (from Server)");
        host = host.left(comma).trimmed();
    }
    const bool freeTds = !driver.freeTdsVersion.isEmpty();
    const QString environment = qEnvironmentVariable("TDSPORT");
    if (freeTds && !environment.isEmpty())
        port = environment + QStringLiteral(" (TDSPORT)");
    for (const QString& option : record.DriverOptions.split(QLatin1Char(';'))) {
        const qsizetype eq = option.indexOf(QLatin1Char('='));
        if (port.isEmpty() && eq > 0 &&
            option.left(eq).trimmed().compare(QLatin1String("Port"), Qt::CaseInsensitive) == 0)
            port = option.mid(eq + 1).trimmed() + QStringLiteral(" (driver option Port)");
    }
    if (port.isEmpty())
        port = QStringLiteral("1433 (the default)");
    return QStringLiteral("host %1, port %2").arg(host, port);
}

QString PasswordDriverHint(const CConnServer& record, const OdbcDriverInfo& driver)
{
    if (!record.Pass.contains(QLatin1Char('}')) || !DoublesClosingBraces(driver))
        return {};
    return QStringLiteral("FreeTDS %1 sends each '}' of the password doubled (mended in 1.4), so "
                          "this login cannot succeed: choose a password without '}' or install "
                          "a newer FreeTDS")
        .arg(driver.freeTdsVersion);
}
