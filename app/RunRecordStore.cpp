#include "app/RunRecordStore.h"

#include "app/LastRun.h"
#include "app/LastSuccess.h"
#include "platform/FileRegistryStore.h"

namespace {

// Whether from's value should replace to's: a run record only where to has
// none, a last success only when it is later than to's (or to's is unreadable).
bool Replaces(const QString& key, const std::optional<QString>& theirs,
              const std::optional<QString>& ours)
{
    if (key == lastrun::kKey)
        return !ours;
    const std::optional<QDateTime> theirsAt = LastSuccessOf(theirs);
    const std::optional<QDateTime> oursAt = LastSuccessOf(ours);
    return theirsAt && (!oursAt || *theirsAt > *oursAt);
}

} // namespace

QStringList TakeOverRunRecords(RegistryStore& from, RegistryStore& to)
{
    QStringList problems;
    for (const QString& key : {lastsuccess::kKey, lastrun::kKey}) {
        for (const QString& name : from.ValueNames(key)) {
            const std::optional<QString> theirs = from.QueryValue(key, name);
            const bool moved = !theirs || !Replaces(key, theirs, to.QueryValue(key, name)) ||
                               (to.CreateKey(key) && to.SetValue(key, name, *theirs));
            if (!moved || !from.DeleteValue(key, name))
                problems.append(QStringLiteral("warning: cannot take over %1 from %2 into %3")
                                    .arg(name, from.KeyPlace(key), to.KeyPlace(key)));
        }
    }
    return problems;
}

RunRecordStore::RunRecordStore(RegistryStore& user, const QString& folder) : store_(&user)
{
    if (folder.isEmpty())
        return;
    own_ = std::make_unique<FileRegistryStore>(folder);
    store_ = own_.get();
    warnings_ = TakeOverRunRecords(user, *own_);
}

RunRecordStore::~RunRecordStore() = default;
