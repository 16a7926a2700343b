#include "settings/SettingsFile.h"

#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/ControlChars.h"
#include "platform/MessageSink.h"
#include "resources/FaultTexts.h"
#include "settings/CCrypt.h"
#include "store/ConnectionString.h"

#include <QFile>
#include <QHash>

#include <algorithm>

namespace {

const QString kBom = QString(QChar(0xFEFF));

// Every text goes into a line of its own: one with a line break in it would
// add a key or a section of its choosing, so its breaks become "_" as in names.
// The keys that later versions added (DriverOptions, Driver) are written
// when any device has a value for them: a section without a key takes the
// value of the section before, so once one device has one every section says
// its own; a file where none has any stays as it always was.
struct LaterKeys {
    bool options = false;
    bool driver = false;
};

QString sectionText(const CConnServer& device, CCrypt& crypt, LaterKeys later,
                    const QString& lineEnd)
{
    const QString pass = QString::fromLatin1(crypt.Encrypt(ToAnsi(device.Pass)));
    const auto line = [&lineEnd](const char* key, const QString& value) {
        return QLatin1String(key) + QLatin1Char('=') + StorableDeviceName(value) + lineEnd;
    };
    return QLatin1Char('[') + StorableDeviceName(device.Name) + QLatin1Char(']') + lineEnd +
           line("DeviceId", device.DeviceId) + line("FilePath", device.FilePath) +
           line("IsCheck", device.IsCheck) + line("IsDeleteFile", device.IsDeleteFile) +
           line("Server", device.Server) + line("User", device.User) + line("Pass", pass) +
           line("DbName", device.DbName) +
           (later.options ? line("DriverOptions", device.DriverOptions) : QString()) +
           (later.driver ? line("Driver", device.Driver) : QString());
}

// Stores value into the field named by key (compared ignoring case); false
// when the key is not one of the ten.
bool storeKey(CConnServer& record, const QString& key, const QString& value, CCrypt& crypt)
{
    struct Field {
        const char* name;
        QString CConnServer::*member;
    };
    static const Field fields[] = {
        {"DeviceId", &CConnServer::DeviceId},
        {"FilePath", &CConnServer::FilePath},
        {"IsCheck", &CConnServer::IsCheck},
        {"IsDeleteFile", &CConnServer::IsDeleteFile},
        {"Server", &CConnServer::Server},
        {"User", &CConnServer::User},
        {"Pass", &CConnServer::Pass},
        {"DbName", &CConnServer::DbName},
        {"DriverOptions", &CConnServer::DriverOptions},
        {"Driver", &CConnServer::Driver},
    };
    for (const Field& field : fields) {
        if (key.compare(QLatin1String(field.name), Qt::CaseInsensitive) != 0)
            continue;
        record.*field.member =
            field.member == &CConnServer::Pass ? crypt.Decrypt(ToAnsi(value)) : value;
        return true;
    }
    return false;
}

// The records being read. A key line changes the first record named exactly
// like the current section and then makes every record whose name equals it
// ignoring case a copy of that one. Doing that record by record takes
// quadratic time when many sections share a name, so a group of such records
// keeps its last written value once, and each record takes it at the end
// unless it was added after that write.
class SectionIndex {
public:
    explicit SectionIndex(CConnServerList& devices) : devices_(devices)
    {
        for (qsizetype i = 0; i < devices_.size(); ++i)
            add(devices_[i]);
    }

    void append(const CConnServer& record) { add(record); }

    // Copy of the first record with exactly this name, or an empty record.
    CConnServer find(const QString& name) const
    {
        const auto group = groups_.constFind(name.toCaseFolded());
        if (group == groups_.cend())
            return CConnServer();
        // Records added before the group's last write all hold its value.
        if (group->written && group->value.Name == name)
            return group->value;
        for (qsizetype i : group->members) {
            const Entry& entry = entries_[i];
            if (group->written && entry.stamp < group->writeStamp)
                continue; // holds the group's value, whose name differs
            if (entry.record.Name == name)
                return entry.record;
        }
        return CConnServer();
    }

    // Every record whose name equals name, ignoring case, becomes record.
    void overwrite(const QString& name, const CConnServer& record)
    {
        const auto group = groups_.find(name.toCaseFolded());
        if (group == groups_.end())
            return;
        group->value = record;
        group->written = true;
        group->writeStamp = ++clock_;
        // Members added before this write need no more looking at by find.
        group->members.clear();
    }

    // Writes every record's final value into the list.
    void finish()
    {
        devices_.clear();
        devices_.reserve(entries_.size());
        for (const Entry& entry : entries_) {
            const Group& group = groups_[entry.group];
            devices_.append(group.written && entry.stamp < group.writeStamp ? group.value
                                                                            : entry.record);
        }
    }

private:
    struct Entry {
        CConnServer record;
        QString group;
        quint64 stamp = 0;
    };
    struct Group {
        QList<qsizetype> members; // added since the last write
        CConnServer value;
        bool written = false;
        quint64 writeStamp = 0;
    };

    void add(const CConnServer& record)
    {
        const QString folded = record.Name.toCaseFolded();
        groups_[folded].members.append(entries_.size());
        entries_.append(Entry{record, folded, ++clock_});
    }

    CConnServerList& devices_;
    QList<Entry> entries_;
    QHash<QString, Group> groups_;
    quint64 clock_ = 0;
};

} // namespace

QString StorableDeviceName(const QString& name)
{
    QString storable = name;
    for (QChar& c : storable)
        if (IsControlOrSeparator(c))
            c = QLatin1Char('_');
    return storable;
}

QStringList MakeNamesStorable(CConnServerList& devices)
{
    QStringList changed;
    for (CConnServer& device : devices) {
        const QString storable = StorableDeviceName(device.Name);
        if (storable != device.Name)
            changed.append(OneLine(device.Name) + QStringLiteral(" -> ") + storable);
        device.Name = storable;
    }
    return changed;
}

QByteArray SettingsBytes(const CConnServerList& devices, CCrypt& crypt, LineEnd lineEnd)
{
    const QString end = lineEnd == LineEnd::CrLf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QString text = kBom;
    const auto any = [&devices](QString CConnServer::*field) {
        return std::any_of(devices.cbegin(), devices.cend(),
                           [field](const CConnServer& d) { return !(d.*field).isEmpty(); });
    };
    const LaterKeys later{any(&CConnServer::DriverOptions), any(&CConnServer::Driver)};
    for (const CConnServer& device : devices)
        if (!device.DeviceId.isEmpty())
            text += sectionText(device, crypt, later, end);
    return ToUtf16Le(text);
}

LineEnd LineEndOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return LineEnd::Lf;
    // The first line break tells; a section's nine lines fit well in this.
    const QString head = FromUtf16Le(file.read(4096));
    const qsizetype lf = head.indexOf(QLatin1Char('\n'));
    return lf > 0 && head[lf - 1] == QLatin1Char('\r') ? LineEnd::CrLf : LineEnd::Lf;
}

bool SaveSettings(const CConnServerList& devices, const QString& path, CCrypt& crypt,
                  QString* problem)
{
    const QString failure =
        ReplaceFileKeepingOwner(path, SettingsBytes(devices, crypt, LineEndOf(path)));
    if (problem)
        *problem = failure;
    return failure.isEmpty();
}

void ParseSettingsText(const QString& text, CConnServerList& devices, CCrypt& crypt)
{
    SectionIndex index(devices);
    CConnServer working;
    QString section;
    const QStringList pieces = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& raw : pieces) {
        const QString piece = raw.trimmed();
        if (piece.isEmpty())
            continue;
        if (piece.startsWith(QLatin1Char('[')) && piece.endsWith(QLatin1Char(']'))) {
            section = piece.mid(1, qMax<qsizetype>(0, piece.size() - 2));
            working.Name = section;
            index.append(working);
            continue;
        }
        const qsizetype eq = piece.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        // The key applies to the first record of the current section; before the
        // first header there is none, so only the working record takes it.
        working = index.find(section);
        storeKey(working, piece.left(eq), piece.mid(eq + 1), crypt);
        index.overwrite(section, working);
    }
    index.finish();
    for (CConnServer& device : devices)
        device.ConnStr = BuildConnStr(device);
}

SettingsLoad LoadSettings(const QString& path, CConnServerList& devices, CCrypt& crypt)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {false,
                QStringLiteral("%1 (%2)").arg(faulttext::kSettingsOpenFailed, file.errorString())};
    const QByteArray bom = file.read(2);
    if (bom.size() < 2 || static_cast<unsigned char>(bom[0]) != 0xFF ||
        static_cast<unsigned char>(bom[1]) != 0xFE)
        return {false, faulttext::kSettingsNotUtf16};
    ParseSettingsText(FromUtf16Le(file.readAll()), devices, crypt);
    return {true, {}};
}

SettingsLoad ReloadSettings(const QString& path, CConnServerList& devices, CCrypt& crypt)
{
    devices.clear();
    return LoadSettings(path, devices, crypt);
}

QStringList OfferedNames(const CConnServerList& devices)
{
    QStringList names;
    for (const CConnServer& device : devices)
        if (device.IsCheck == QLatin1String("1"))
            names.append(device.Name);
    return names;
}

int OfferedEntryOf(const CConnServerList& devices, const CConnServer& device)
{
    int entry = 0;
    for (const CConnServer& offered : devices) {
        if (offered.IsCheck != QLatin1String("1"))
            continue;
        if (offered.DeviceId.compare(device.DeviceId, Qt::CaseInsensitive) == 0 &&
            offered.Server == device.Server && offered.DbName == device.DbName)
            return entry;
        ++entry;
    }
    return -1;
}
