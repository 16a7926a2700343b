#include "store/OdbcStatement.h"

#include "platform/MessageSink.h"
#include "resources/FaultTexts.h"
#include "store/DatabaseError.h"

#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC's wide characters are UTF-16");

// Room for a text of this many characters: at least 256, and doubled past
// that, so that a batch's texts seldom need a new binding.
SQLULEN TextCapacity(qsizetype characters)
{
    SQLULEN capacity = 256;
    while (capacity < SQLULEN(characters))
        capacity *= 2;
    return capacity;
}

int KindOf(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
        return QMetaType::Int;
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Long:
        return QMetaType::LongLong;
    case QMetaType::Double:
    case QMetaType::Float:
        return QMetaType::Double;
    default:
        return QMetaType::QString;
    }
}

} // namespace

SQLHANDLE OdbcHandleOf(const QVariant& handle)
{
    if (!handle.isValid() || handle.metaType() != QMetaType::fromType<SQLHANDLE>())
        return nullptr;
    return *static_cast<const SQLHANDLE*>(handle.constData());
}

QString OdbcDiagnosticText(SQLSMALLINT type, SQLHANDLE handle, QString* state)
{
    QStringList messages;
    SQLWCHAR sqlState[6];
    SQLWCHAR message[1024];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT record = 1; handle && record <= 10; ++record) {
        const SQLRETURN rc = SQLGetDiagRecW(type, handle, record, sqlState, &native, message,
                                            SQLSMALLINT(std::size(message)), &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        if (state && record == 1)
            *state = QString::fromUtf16(reinterpret_cast<const char16_t*>(sqlState), 5);
        messages << QString::fromUtf16(reinterpret_cast<const char16_t*>(message),
                                       std::min<qsizetype>(length, std::size(message) - 1))
                        .trimmed();
    }
    return messages.isEmpty() ? QStringLiteral("the ODBC driver reported no reason")
                              : messages.join(QLatin1Char(' '));
}

void SetOdbcStatementTimeout(SQLHANDLE statement, int seconds)
{
    if (!statement)
        return;
    const SQLRETURN rc = SQLSetStmtAttr(statement, SQL_ATTR_QUERY_TIMEOUT,
                                        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds)),
                                        SQL_IS_UINTEGER);
    // Said once: the driver refuses it for every statement alike.
    static std::atomic_bool said = false;
    if (!SQL_SUCCEEDED(rc) && !said.exchange(true))
        WriteProgramLine(stderr, QStringLiteral("warning: the ODBC driver refuses a statement "
                                                "time-out; statements may wait without limit"));
}

OdbcStatement::OdbcStatement(SQLHANDLE connection, bool wideText, int timeoutSeconds)
    : wideText_(wideText)
{
    if (!connection || !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle_))) {
        handle_ = nullptr;
        throw DatabaseError(OdbcDiagnosticText(SQL_HANDLE_DBC, connection));
    }
    SetOdbcStatementTimeout(handle_, timeoutSeconds);
}

OdbcStatement::~OdbcStatement()
{
    Release();
}

void OdbcStatement::Release()
{
    if (handle_)
        SQLFreeHandle(SQL_HANDLE_STMT, handle_);
    handle_ = nullptr;
}

int OdbcStatement::ExecuteDirect(const QString& text, const QVariantList& values)
{
    if (!handle_)
        throw DatabaseError(faulttext::kNotOpen);
    Bind(values);
    std::u16string statement = text.toStdU16String();
    return Finish(SQLExecDirectW(handle_, reinterpret_cast<SQLWCHAR*>(statement.data()),
                                 SQLINTEGER(statement.size())));
}

void OdbcStatement::Prepare(const QString& text)
{
    if (!handle_)
        throw DatabaseError(faulttext::kNotOpen);
    std::u16string statement = text.toStdU16String();
    if (!SQL_SUCCEEDED(SQLPrepareW(handle_, reinterpret_cast<SQLWCHAR*>(statement.data()),
                                   SQLINTEGER(statement.size()))))
        throw DatabaseError(OdbcDiagnosticText(SQL_HANDLE_STMT, handle_));
}

int OdbcStatement::Execute(const QVariantList& values)
{
    if (!handle_)
        throw DatabaseError(faulttext::kNotOpen);
    Bind(values);
    return Finish(SQLExecute(handle_));
}

void OdbcStatement::Bind(const QVariantList& values)
{
    parameters_.resize(values.size());
    for (qsizetype i = 0; i < values.size(); ++i)
        BindOne(SQLUSMALLINT(i + 1), parameters_[i], values.at(i));
}

void OdbcStatement::BindOne(SQLUSMALLINT number, Parameter& parameter, const QVariant& value)
{
    const int kind = KindOf(value);
    QByteArray text;
    if (kind == QMetaType::QString) {
        const QString string = value.toString();
        text = wideText_
                   ? QByteArray(reinterpret_cast<const char*>(string.utf16()), string.size() * 2)
                   : string.toUtf8();
    }
    const qsizetype characters = wideText_ ? text.size() / 2 : text.size();
    const bool fits = parameter.type == kind &&
                      (kind != QMetaType::QString || SQLULEN(characters) <= parameter.capacity);
    if (!fits) {
        parameter.type = kind;
        SQLSMALLINT cType = SQL_C_CHAR;
        SQLSMALLINT sqlType = SQL_VARCHAR;
        SQLULEN columnSize = 0;
        switch (kind) {
        case QMetaType::Int:
            parameter.buffer.assign(sizeof(SQLINTEGER), 0);
            cType = SQL_C_SLONG;
            sqlType = SQL_INTEGER;
            break;
        case QMetaType::LongLong:
            parameter.buffer.assign(sizeof(SQLBIGINT), 0);
            cType = SQL_C_SBIGINT;
            sqlType = SQL_BIGINT;
            break;
        case QMetaType::Double:
            parameter.buffer.assign(sizeof(SQLDOUBLE), 0);
            cType = SQL_C_DOUBLE;
            sqlType = SQL_DOUBLE;
            break;
        default:
            parameter.capacity = TextCapacity(characters);
            parameter.buffer.assign((parameter.capacity + 1) * (wideText_ ? 2 : 1), 0);
            cType = wideText_ ? SQL_C_WCHAR : SQL_C_CHAR;
            sqlType = wideText_ ? SQL_WVARCHAR : SQL_VARCHAR;
            columnSize = parameter.capacity;
        }
        if (!SQL_SUCCEEDED(SQLBindParameter(handle_, number, SQL_PARAM_INPUT, cType, sqlType,
                                            columnSize, 0, parameter.buffer.data(),
                                            SQLLEN(parameter.buffer.size()), &parameter.length)))
            throw DatabaseError(OdbcDiagnosticText(SQL_HANDLE_STMT, handle_));
    }
    switch (kind) {
    case QMetaType::Int: {
        const SQLINTEGER number32 = value.toInt();
        std::memcpy(parameter.buffer.data(), &number32, sizeof number32);
        parameter.length = sizeof number32;
        break;
    }
    case QMetaType::LongLong: {
        const SQLBIGINT number64 = value.toLongLong();
        std::memcpy(parameter.buffer.data(), &number64, sizeof number64);
        parameter.length = sizeof number64;
        break;
    }
    case QMetaType::Double: {
        const SQLDOUBLE real = value.toDouble();
        std::memcpy(parameter.buffer.data(), &real, sizeof real);
        parameter.length = sizeof real;
        break;
    }
    default:
        std::memcpy(parameter.buffer.data(), text.constData(), size_t(text.size()));
        parameter.length = value.isNull() ? SQL_NULL_DATA : SQLLEN(text.size());
    }
}

int OdbcStatement::Finish(SQLRETURN rc)
{
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        QString state;
        const QString text = OdbcDiagnosticText(SQL_HANDLE_STMT, handle_, &state);
        SQLFreeStmt(handle_, SQL_CLOSE);
        throw DatabaseError(text, state);
    }
    SQLLEN rows = -1;
    if (!SQL_SUCCEEDED(SQLRowCount(handle_, &rows)))
        rows = -1;
    // The rest of the answer is read, not cancelled: a statement freed or
    // run again with an answer pending costs a cancel request and its wait.
    while (SQL_SUCCEEDED(SQLMoreResults(handle_))) {
    }
    SQLFreeStmt(handle_, SQL_CLOSE);
    return int(rows);
}
