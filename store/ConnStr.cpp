#include "store/ConnStr.h"

QString BuildConnStr(const CConnServer& record)
{
    return QStringLiteral("DRIVER={SQL Server};SERVER=") + record.Server + QStringLiteral(";UID=") +
           record.User + QStringLiteral(";PWD=") + record.Pass + QStringLiteral(";DATABASE=") +
           record.DbName;
}
