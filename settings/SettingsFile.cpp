#include "settings/SettingsFile.h"

#include "app/Progress.h"
#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/MessageSink.h"
#include "settings/CCrypt.h"
#include "settings/DeviceChoice.h"
#include "store/ConnectionString.h"

#include <QFile>
#include <QHash>

namespace {

const QString kBom = QString(QChar(0xFEFF));

QByteArray toUtf16Le(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

QString sectionText(const CConnServer& device, CCrypt& crypt)
{
    const QString pass = QString::fromLatin1(crypt.Encrypt(ToAnsi(device.Pass)));
    const QLatin1Char lf('\n');
    return QLatin1Char('[') + device.Name + QLatin1Char(']') + lf + QStringLiteral("DeviceId=") +
           device.DeviceId + lf + QStringLiteral("FilePath=") + device.FilePath + lf +
           QStringLiteral("IsCheck=") + device.IsCheck + lf + QStringLiteral("IsDeleteFile=") +
           device.IsDeleteFile + lf + QStringLiteral("Server=") + device.Server + lf +
           QStringLiteral("User=") + device.User + lf + QStringLiteral("Pass=") + pass + lf +
           QStringLiteral("DbName=") + device.DbName + lf;
}

// Stores value into the field named by key (compared ignoring case); false
// when the key is not one of the eight.
bool storeKey(CConnServer& record, const QString& key, const QString& value, CCrypt& crypt)
{
    struct Field {
        const char* name;
        QString CConnServer::*member;
    };
    static const Field fields[] = {
        {"DeviceId", &CConnServer::DeviceId}, {"FilePath", &CConnServer::FilePath},
        {"IsCheck", &CConnServer::IsCheck},   {"IsDeleteFile", &CConnServer::IsDeleteFile},
        {"Server", &CConnServer::Server},     {"User", &CConnServer::User},
        {"Pass", &CConnServer::Pass},         {"DbName", &CConnServer::DbName},
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

// The device list being read, with an index by name so that files with many
// sections are read in linear time.
class SectionIndex {
public:
    explicit SectionIndex(CConnServerList& devices) : devices_(devices)
    {
        for (qsizetype i = 0; i < devices_.size(); ++i)
            byFoldedName_[devices_[i].Name.toCaseFolded()].append(i);
    }

    void append(const CConnServer& record)
    {
        byFoldedName_[record.Name.toCaseFolded()].append(devices_.size());
        devices_.append(record);
    }

    // Copy of the first record with exactly this name, or an empty record.
    CConnServer find(const QString& name) const
    {
        for (qsizetype i : byFoldedName_.value(name.toCaseFolded()))
            if (devices_[i].Name == name)
                return devices_[i];
        return CConnServer();
    }

    // Every record whose name equals name, ignoring case, becomes record.
    void overwrite(const QString& name, const CConnServer& record)
    {
        for (qsizetype i : byFoldedName_.value(name.toCaseFolded()))
            devices_[i] = record;
    }

private:
    CConnServerList& devices_;
    QHash<QString, QList<qsizetype>> byFoldedName_;
};

} // namespace

QByteArray SettingsBytes(const CConnServerList& devices, CCrypt& crypt)
{
    QString text = kBom;
    for (const CConnServer& device : devices)
        if (!device.DeviceId.isEmpty())
            text += sectionText(device, crypt);
    return toUtf16Le(text);
}

bool SaveSettings(const CConnServerList& devices, const QString& path, CCrypt& crypt,
                  ProgressSink& progress)
{
    if (WriteFileAtomically(path, SettingsBytes(devices, crypt)))
        return true;
    progress.ShowNotification(progress::kDataStatusTitle, progress::kFileNotOpenedText);
    return false;
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
    for (CConnServer& device : devices)
        device.ConnStr = BuildConnStr(device);
}

void LoadSettings(const QString& path, CConnServerList& devices, DeviceChoice& combo, CCrypt& crypt,
                  MessageSink& messages)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        messages.Show(settingsfile::kOpenFailed);
        return;
    }
    const QByteArray bom = file.read(2);
    if (bom.size() < 2 || static_cast<unsigned char>(bom[0]) != 0xFF ||
        static_cast<unsigned char>(bom[1]) != 0xFE) {
        messages.Show(settingsfile::kNotUtf16);
        return;
    }
    const QByteArray body = file.readAll();
    file.close();

    // UTF-16LE units; an odd last byte is dropped and the text ends at the first zero unit.
    const qsizetype units = body.size() / 2;
    QString text;
    text.reserve(units);
    for (qsizetype i = 0; i < units; ++i) {
        const auto unit = char16_t(static_cast<unsigned char>(body[2 * i]) |
                                   (static_cast<unsigned char>(body[2 * i + 1]) << 8));
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    ParseSettingsText(text, devices, crypt);

    FillDeviceChoice(devices, combo);
}

void FillDeviceChoice(const CConnServerList& devices, DeviceChoice& combo)
{
    combo.ResetContent();
    int position = 0;
    for (const CConnServer& device : devices)
        if (device.IsCheck == QLatin1String("1"))
            combo.InsertString(position++, device.Name);
}

bool ReloadSettings(const QString& path, CConnServerList& devices, DeviceChoice& combo,
                    CCrypt& crypt, MessageSink& messages)
{
    devices.clear();
    LoadSettings(path, devices, combo, crypt, messages);
    return true;
}
