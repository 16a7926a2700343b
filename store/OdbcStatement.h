#pragma once

#include "platform/OdbcApi.h"

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <vector>

// What Qt's ODBC driver does not offer, done on the ODBC handles under it.

// The ODBC handle inside one of Qt's driver or result objects; null when
// there is none.
SQLHANDLE OdbcHandleOf(const QVariant& handle);

// The driver's messages about a handle, joined as Qt joins them; state, when
// given, receives the SQLSTATE of the first.
QString OdbcDiagnosticText(SQLSMALLINT type, SQLHANDLE handle, QString* state = nullptr);

// Sets a statement's query time-out (0: none). Drivers that ignore the
// attribute leave the statement unbounded; that is said once on standard error.
void SetOdbcStatementTimeout(SQLHANDLE statement, int seconds);

// A statement on a connection's own handle, which runs by direct execution
// or prepared once and then many times. Its parameters are bound to buffers
// of its own and bound again only when a value no longer fits: Qt binds
// every parameter again before each execution, and FreeTDS answers a new
// binding by preparing the statement again, a call and its undoing per
// execution where one call does. Texts are bound as Qt binds them for the
// same driver (wideText: as UTF-16, else as UTF-8), so the server compares
// and converts them alike. Every failure throws DatabaseError with the
// driver's text and the SQLSTATE of a failed execution.
class OdbcStatement {
public:
    OdbcStatement(SQLHANDLE connection, bool wideText, int timeoutSeconds);
    ~OdbcStatement();
    OdbcStatement(const OdbcStatement&) = delete;
    OdbcStatement& operator=(const OdbcStatement&) = delete;

    // Runs text once with values, without preparing it; returns the rows it
    // changed (-1 when the driver does not say).
    int ExecuteDirect(const QString& text, const QVariantList& values = {});

    // Prepares text, then runs it with values as often as asked.
    void Prepare(const QString& text);
    int Execute(const QVariantList& values);

    // Frees the handle now, while its connection is still open (a statement
    // handle freed after its connection is a dangling one). Later calls throw
    // DatabaseError.
    void Release();
    bool IsOpen() const { return handle_ != nullptr; }

private:
    struct Parameter {
        int type = QMetaType::UnknownType;
        SQLULEN capacity = 0; // characters a text may have
        std::vector<char> buffer;
        SQLLEN length = 0;
    };
    void Bind(const QVariantList& values);
    void BindOne(SQLUSMALLINT number, Parameter& parameter, const QVariant& value);
    int Finish(SQLRETURN rc);

    SQLHANDLE handle_ = nullptr;
    bool wideText_;
    std::vector<Parameter> parameters_;
};
