// Punches made after the last run of a month still reach the table: the
// all-devices run starts at the day of a device's last successful run when
// that lies before the first of the month.
#include "FakeTerminalLink.h"
#include "TestDatabase.h"

#include "access/PasswordGate.h"
#include "app/StartRun.h"
#include "platform/Clock.h"
#include "platform/FileRegistryStore.h"
#include "platform/MessageSink.h"
#include "settings/CCrypt.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using testsupport::TestDatabase;

namespace {

const QString kId = QStringLiteral("00000000-0000-0000-0000-000000000042");

class NoPrompt : public PasswordPrompt {
public:
    QString PromptPassword() override { return {}; }
};

} // namespace

class TestMonthEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void lastEveningOfTheMonthIsPostedOnTheFirst();

private:
    // One all-devices run at the given time; the cards in the table afterwards.
    QStringList RunAt(const QDateTime& at, RegistryStore& registry);

    TestDatabase db_;
    QTemporaryDir dir_;
    FakeTerminalLink link_;
};

void TestMonthEnd::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY2(db_.Reset(), qPrintable(db_.LastError()));
    QVERIFY(db_.InsertDevices({{kId, QStringLiteral("G"), QStringLiteral("Gate"),
                                QStringLiteral("10.0.0.9"), 4370, 0, 1}}));
    CConnServer device = db_.Record();
    device.DeviceId = kId;
    device.Name = QStringLiteral("Gate");
    device.FilePath = dir_.filePath(QStringLiteral("export"));
    device.IsCheck = QStringLiteral("1");
    CCrypt crypt;
    QVERIFY(SaveSettings({device}, dir_.filePath(QStringLiteral("config.ini")), crypt));
}

QStringList TestMonthEnd::RunAt(const QDateTime& at, RegistryStore& registry)
{
    FixedClock clock(at);
    RecordingProgress progress;
    RecordingMessageSink messages;
    NoPrompt prompt;
    MainServices services{link_, progress, messages, clock, registry, prompt, dir_.path(), {}};
    const RunReport report = StartWithoutWindow({QStringLiteral("1")}, services).report;
    if (report.ExitStatus() != 0)
        qWarning() << messages.messages << report.outcomes.value(0).Line();
    QStringList cards;
    for (const auto& row : db_.Movements())
        cards.append(row.CardNb);
    cards.sort();
    return cards;
}

void TestMonthEnd::lastEveningOfTheMonthIsPostedOnTheFirst()
{
    const QDate lastDay(2024, 3, 31);
    FileRegistryStore registry(dir_.filePath(QStringLiteral("registry")));
    link_.punches = {FakeTerminalLink::Punch(QStringLiteral("A"), lastDay, QTime(8, 0))};
    QCOMPARE(RunAt(QDateTime(lastDay, QTime(20, 0)), registry), QStringList{QStringLiteral("A")});

    // Staff punch out after the evening's last run; the next run is on the 1st.
    link_.punches << FakeTerminalLink::Punch(QStringLiteral("B"), lastDay, QTime(21, 30))
                  << FakeTerminalLink::Punch(QStringLiteral("C"), lastDay, QTime(23, 59, 59))
                  << FakeTerminalLink::Punch(QStringLiteral("D"), lastDay.addDays(1), QTime(5, 50));
    QCOMPARE(RunAt(QDateTime(lastDay.addDays(1), QTime(6, 0)), registry),
             (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                          QStringLiteral("D")}));

    // Without a remembered success the range is the month alone: March stays out.
    FileRegistryStore fresh(dir_.filePath(QStringLiteral("fresh-registry")));
    link_.punches << FakeTerminalLink::Punch(QStringLiteral("E"), lastDay, QTime(22, 0));
    QCOMPARE(RunAt(QDateTime(lastDay.addDays(1), QTime(7, 0)), fresh).size(), 4);
}

QTEST_GUILESS_MAIN(TestMonthEnd)
#include "tst_month_end.moc"
