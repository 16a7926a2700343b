#pragma once

#include <QString>

// Qt's ODBC driver logs warnings of its own, all beginning with "QODBC": a
// copy of the error of every failed statement, which the program reports
// itself, and what it meets while a connection ends ("Unable to disconnect
// datasource"), which nothing else reports. None of them reaches the
// operator's window; each is written once on standard error (the journal),
// with the device whose work it concerns:
//   zelvor: Gate1: ODBC driver: QODBCDriver::disconnect: Unable to ...
// Every other message goes on as before. Installs the handler once; later
// calls do nothing.
void RouteDriverWarnings();

// Names the device whose work this thread does while the object lives, for
// the driver's warnings; scopes nest.
class DriverWarningDevice {
public:
    explicit DriverWarningDevice(const QString& name);
    ~DriverWarningDevice();
    DriverWarningDevice(const DriverWarningDevice&) = delete;
    DriverWarningDevice& operator=(const DriverWarningDevice&) = delete;

private:
    const QString name_;
    const QString* previous_;
};

// The line a driver warning becomes ("Gate1: ODBC driver: ..."): the quotes
// and tabs of Qt's debug stream taken out; device may be empty.
QString DriverWarningLine(const QString& device, const QString& message);
