#include "app/StartChoice.h"

#include "app/CommandLine.h"
#include "app/ProgramOptions.h"

#include <QtTest>

// Which starts open a window and which run without one.
class TestStartChoice : public QObject {
    Q_OBJECT

private slots:
    void display_data();
    void display();
    void withoutWindow_data();
    void withoutWindow();
    void choiceAndRunCountAlike_data();
    void choiceAndRunCountAlike();
};

void TestStartChoice::display_data()
{
    QTest::addColumn<QStringList>("variables"); // NAME=value
    QTest::addColumn<bool>("hasDisplay");

#ifdef Q_OS_WIN
    // Windows: the session's window station tells, not the environment; the
    // tests run in an interactive one.
    QTest::newRow("nothing") << QStringList{} << true;
    QTest::newRow("display named") << QStringList{QStringLiteral("DISPLAY=:0")} << true;
    QTest::newRow("offscreen") << QStringList{QStringLiteral("QT_QPA_PLATFORM=offscreen")} << false;
#else
    QTest::newRow("nothing") << QStringList{} << false;
    QTest::newRow("x11") << QStringList{QStringLiteral("DISPLAY=:0")} << true;
    QTest::newRow("wayland") << QStringList{QStringLiteral("WAYLAND_DISPLAY=wayland-0")} << true;
    QTest::newRow("empty display") << QStringList{QStringLiteral("DISPLAY=")} << false;
    QTest::newRow("offscreen") << QStringList{QStringLiteral("DISPLAY=:0"),
                                              QStringLiteral("QT_QPA_PLATFORM=offscreen")}
                               << false;
    QTest::newRow("xcb named") << QStringList{QStringLiteral("DISPLAY=:0"),
                                              QStringLiteral("QT_QPA_PLATFORM=xcb")}
                               << true;
#endif
}

void TestStartChoice::display()
{
    QFETCH(QStringList, variables);
    QFETCH(bool, hasDisplay);
    QProcessEnvironment environment;
    for (const QString& variable : variables)
        environment.insert(variable.section(QLatin1Char('='), 0, 0),
                           variable.section(QLatin1Char('='), 1));
    QCOMPARE(HasDisplay(environment), hasDisplay);
}

void TestStartChoice::withoutWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("hasDisplay");
    QTest::addColumn<bool>("withoutWindow");

    const QStringList single = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("/tmp"),
                                QStringLiteral("127.0.0.1"), QStringLiteral("4370")};
    QTest::newRow("interactive on a desktop") << QStringList{} << true << false;
    QTest::newRow("interactive without display") << QStringList{} << false << true;
    QTest::newRow("all devices on a desktop") << QStringList{QStringLiteral("1")} << true << true;
    QTest::newRow("all devices, flags around")
        << QStringList{QStringLiteral("-v"), QStringLiteral("1")} << true << true;
    QTest::newRow("single terminal on a desktop") << single << true << false;
    QTest::newRow("single terminal without display") << single << false << true;
}

void TestStartChoice::withoutWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, hasDisplay);
    QFETCH(bool, withoutWindow);
    QCOMPARE(RunsWithoutWindow(arguments, hasDisplay), withoutWindow);
}

// The start-up choice and the run's positional mapping read the same list: the
// arguments as given, our long options removed, Qt's own options left in. On a
// desktop the choice runs without a window exactly when the mapping makes an
// all-devices run, and the positions are the ones the choice counted.
void TestStartChoice::choiceAndRunCountAlike_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("allDevices");
    QTest::addColumn<QString>("ip"); // position 4

    const auto L = [](std::initializer_list<const char*> items) {
        QStringList list;
        for (const char* item : items)
            list.append(QString::fromUtf8(item));
        return list;
    };
    QTest::newRow("style and one word") << L({"-style", "X"}) << true << QString();
    QTest::newRow("style and two words") << L({"-style", "X", "A"}) << false << QString();
    QTest::newRow("platform before one position")
        << L({"-platform", "offscreen", "1"}) << false << QString();
    QTest::newRow("style before a terminal's positions")
        << L({"-style", "X", "p2", "p3", "p4", "p5"}) << false << QStringLiteral("p4");
    QTest::newRow("double dash removed first")
        << L({"--", "-style", "X", "p2", "p3", "p4"}) << false << QStringLiteral("p4");
}

void TestStartChoice::choiceAndRunCountAlike()
{
    QFETCH(QStringList, args);
    const QStringList arguments = ParseProgramOptions(args).arguments;
    const RunParameters run = MapParams(CCommandParse::Parse(arguments).Params);
    QCOMPARE(RunsWithoutWindow(arguments, true), run.AllDevicesRun);
    QTEST(run.AllDevicesRun, "allDevices");
    QTEST(run.ArgIP, "ip");
}

QTEST_GUILESS_MAIN(TestStartChoice)
#include "tst_start_choice.moc"
