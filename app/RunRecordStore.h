#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class RegistryStore;

// The store of the devices' last successes and last runs: the account's own
// store, or the installation's folder for every account alike
// (platform/InstallLayout.h, RunRecordsFolder), into which the records an
// earlier version left in the account's store are taken over on opening.
class RunRecordStore {
public:
    // folder: the installation's folder of the records; empty: user keeps them.
    RunRecordStore(RegistryStore& user, const QString& folder);
    ~RunRecordStore();
    RunRecordStore(const RunRecordStore&) = delete;
    RunRecordStore& operator=(const RunRecordStore&) = delete;

    RegistryStore& Store() { return *store_; }
    // One line per record that could not be taken over: it stays where it
    // was and is tried again at the next opening.
    const QStringList& Warnings() const { return warnings_; }

private:
    std::unique_ptr<RegistryStore> own_;
    RegistryStore* store_;
    QStringList warnings_;
};

// Moves from's records into to and removes them from from: a last success
// replaces to's only when it is later (the record only moves forward), a run
// record only fills a device to has none of. Returns one line per record that
// could not be moved.
QStringList TakeOverRunRecords(RegistryStore& from, RegistryStore& to);
