#include "settings/CCrypt.h"
#include "settings/SettingsFile.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// zelvor-settings started as a process on a config.ini of a folder of its own.
class TestSettingsTool : public QObject {
    Q_OBJECT

private slots:
    void init();
    void addReplacesWhereTheDeviceStands_data();
    void addReplacesWhereTheDeviceStands();
    void deviceTimeoutIsTheRunsOption_data();
    void deviceTimeoutIsTheRunsOption();

private:
    struct Result {
        int status = -1;
        QString err;
    };
    Result Run(const QStringList& args) const;
    CConnServerList Stored() const;

    std::unique_ptr<QTemporaryDir> folder_;
    QString config_;
};

void TestSettingsTool::init()
{
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    config_ = folder_->filePath(QStringLiteral("config.ini"));
}

TestSettingsTool::Result TestSettingsTool::Run(const QStringList& args) const
{
    QProcess tool;
    tool.start(QStringLiteral(ZELVOR_SETTINGS_PATH),
               QStringList{QStringLiteral("--file"), config_} + args);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit)
        return {};
    // Lines as this system ends them: CR LF on Windows.
    return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardError()).remove(u'\r')};
}

CConnServerList TestSettingsTool::Stored() const
{
    CConnServerList devices;
    CCrypt crypt;
    LoadSettings(config_, devices, crypt);
    return devices;
}

void TestSettingsTool::addReplacesWhereTheDeviceStands_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("order"); // of the names afterwards

    const QStringList three{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
    QTest::newRow("the first") << QStringLiteral("A") << three;
    QTest::newRow("one in the middle") << QStringLiteral("B") << three;
    QTest::newRow("the last") << QStringLiteral("C") << three;
    QTest::newRow("a new name comes last")
        << QStringLiteral("D") << three + QStringList{QStringLiteral("D")};
}

void TestSettingsTool::addReplacesWhereTheDeviceStands()
{
    QFETCH(QString, name);
    QFETCH(QStringList, order);
    const auto add = [this](const QString& id, const QString& device, const QString& server) {
        return Run({QStringLiteral("add"), QStringLiteral("--id"), id, QStringLiteral("--name"),
                    device, QStringLiteral("--server"), server});
    };
    for (const QString& stored : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")})
        QCOMPARE(add(QStringLiteral("id-") + stored, stored, QStringLiteral("old-db")).status, 0);

    const Result run =
        Run({QStringLiteral("add"), QStringLiteral("--id"), QStringLiteral("id-new"),
             QStringLiteral("--name"), name, QStringLiteral("--server"), QStringLiteral("new-db"),
             QStringLiteral("--driver"), QStringLiteral("Site Driver")});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    const CConnServerList devices = Stored();
    QStringList names;
    for (const CConnServer& device : devices) {
        names.append(device.Name);
        const bool added = device.Name == name;
        QCOMPARE(device.DeviceId,
                 added ? QStringLiteral("id-new") : QStringLiteral("id-") + device.Name);
        QCOMPARE(device.Server, added ? QStringLiteral("new-db") : QStringLiteral("old-db"));
        QCOMPARE(device.Driver, added ? QStringLiteral("Site Driver") : QString());
    }
    QCOMPARE(names, order);
}

void TestSettingsTool::deviceTimeoutIsTheRunsOption_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err"); // found in standard error

    // Taken, the command goes on to config.ini, which does not exist here.
    const QString range = QStringLiteral("zelvor-settings: --device-timeout takes a whole number "
                                         "from 0 to 604800 (see zelvor-settings --help)\n");
    const auto L = [](std::initializer_list<const char*> items) {
        QStringList list;
        for (const char* item : items)
            list.append(QString::fromUtf8(item));
        return list;
    };
    QTest::newRow("a week") << L({"check", "--device-timeout", "604800"}) << 1
                            << QStringLiteral("does not exist: no devices to check");
    QTest::newRow("none, after the name")
        << L({"set-clock", "Gate", "--device-timeout=0"}) << 1
        << QStringLiteral("does not exist: no devices to set the clock of");
    QTest::newRow("over a week") << L({"check", "--device-timeout", "604801"}) << 2 << range;
    QTest::newRow("negative") << L({"set-clock", "--device-timeout=-1", "Gate"}) << 2 << range;
    QTest::newRow("not a number") << L({"check", "--device-timeout", "10s"}) << 2 << range;
    QTest::newRow("no value") << L({"check", "--device-timeout"}) << 2
                              << QStringLiteral("unknown or incomplete option --device-timeout\n");
}

void TestSettingsTool::deviceTimeoutIsTheRunsOption()
{
    QFETCH(QStringList, args);
    QFETCH(QString, err);
    const Result run = Run(args);
    QTEST(run.status, "status");
    QVERIFY2(run.err.contains(err), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestSettingsTool)
#include "tst_settings_tool.moc"
