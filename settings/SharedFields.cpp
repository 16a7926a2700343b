#include "settings/SharedFields.h"

#include "resources/OperatorTexts.h"

#include <algorithm>

namespace {

struct SharedField {
    QString CConnServer::*member;
    const QString* name;
};

const SharedField kSharedFields[] = {
    {&CConnServer::Server, &optext::kFieldServer},
    {&CConnServer::User, &optext::kFieldUser},
    {&CConnServer::Pass, &optext::kFieldPassword},
    {&CConnServer::DbName, &optext::kFieldDatabase},
    {&CConnServer::DriverOptions, &optext::kFieldDriverOptions},
    {&CConnServer::Driver, &optext::kFieldDriver},
    {&CConnServer::FilePath, &optext::kFieldExportFolder},
    {&CConnServer::IsDeleteFile, &optext::kFieldDeleteFile},
};

bool AllAgree(const CConnServerList& stored, QString CConnServer::*member)
{
    return std::all_of(stored.cbegin(), stored.cend(), [&](const CConnServer& device) {
        return device.*member == stored.constFirst().*member;
    });
}

} // namespace

QStringList FieldsSaveUnifies(const CConnServerList& stored, const CConnServer& saved)
{
    QList<const SharedField*> differing;
    for (const SharedField& field : kSharedFields)
        if (!stored.isEmpty() && !AllAgree(stored, field.member))
            differing.append(&field);
    QStringList lines;
    for (const CConnServer& device : stored) {
        QStringList fields;
        for (const SharedField* field : differing)
            if (device.*(field->member) != saved.*(field->member))
                fields.append(*field->name);
        if (!fields.isEmpty())
            lines.append(
                QStringLiteral("%1: %2").arg(device.Name, fields.join(QStringLiteral("، "))));
    }
    return lines;
}
