#include "store/OdbcDriver.h"

#include "platform/OdbcApi.h"

#include <QFile>
#include <QRegularExpression>
#include <QVersionNumber>

#include <iterator>

namespace {

// The version that FreeTDS writes into its library ("freetds v1.3.17").
QString FreeTdsVersionOf(const QString& library)
{
    QFile file(library);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QByteArray mark = "freetds v";
    const QByteArray bytes = file.readAll();
    const qsizetype at = bytes.indexOf(mark);
    if (at < 0)
        return {};
    static const QRegularExpression version(QStringLiteral("^[0-9]+(\\.[0-9]+)*"));
    return version.match(QString::fromLatin1(bytes.mid(at + mark.size(), 32))).captured(0);
}

} // namespace

std::optional<OdbcDriverInfo> FindOdbcDriver(const QString& name)
{
    SQLHENV env = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return std::nullopt;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    std::optional<OdbcDriverInfo> found;
    // The wide function: the one Windows' driver manager offers under a
    // Unicode build; unixODBC's SQLWCHAR is UTF-16 too.
    SQLWCHAR description[256];
    SQLWCHAR attributes[2048];
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    const auto text = [](const SQLWCHAR* units, qsizetype length) {
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(units), length);
    };
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST; SQL_SUCCEEDED(SQLDriversW(
             env, direction, description, SQLSMALLINT(std::size(description)), &descriptionLength,
             attributes, SQLSMALLINT(std::size(attributes)), &attributesLength));
         direction = SQL_FETCH_NEXT) {
        if (text(description, descriptionLength) != name)
            continue;
        found.emplace();
        // Attributes come as "Key=value" texts, each ended by a NUL.
        for (const QString& pair : text(attributes, attributesLength).split(QChar(0)))
            if (pair.startsWith(QLatin1String("Driver=")))
                found->library = pair.mid(7);
        found->freeTdsVersion = FreeTdsVersionOf(found->library);
        break;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return found;
}

bool DoublesClosingBraces(const OdbcDriverInfo& driver)
{
    return !driver.freeTdsVersion.isEmpty() &&
           QVersionNumber::fromString(driver.freeTdsVersion) < QVersionNumber(1, 4);
}
