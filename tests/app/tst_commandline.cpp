#include "app/CommandLine.h"

#include <QTest>

namespace {

QStringList numbered(int n)
{
    QStringList args;
    for (int i = 1; i <= n; ++i)
        args.append(QStringLiteral("p%1").arg(i));
    return args;
}

} // namespace

Q_DECLARE_METATYPE(RunParameters)

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void splitting_data();
    void splitting();
    void mapping_data();
    void mapping();
};

void TestCommandLine::splitting_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("params");
    QTest::addColumn<QStringList>("flags");
    QTest::newRow("none") << QStringList() << QStringList() << QStringList();
    QTest::newRow("flag then one position")
        << QStringList{QStringLiteral("-print"), QStringLiteral("1")}
        << QStringList{QStringLiteral("1")} << QStringList{QStringLiteral("print")};
    QTest::newRow("slash starts a path, not a flag")
        << QStringList{QStringLiteral("/opt/x"), QStringLiteral("--v"), QStringLiteral("-")}
        << QStringList{QStringLiteral("/opt/x")} << QStringList{QStringLiteral("-v"), QString()};
    QTest::newRow("quoted empty argument takes a position")
        << QStringList{QString(), QStringLiteral("a b")}
        << QStringList{QString(), QStringLiteral("a b")} << QStringList();
}

void TestCommandLine::splitting()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, params);
    QFETCH(QStringList, flags);
    const CCommandParse parse = CCommandParse::Parse(args);
    QCOMPARE(parse.Params, params);
    QCOMPARE(parse.Flags, flags);
}

void TestCommandLine::mapping_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<RunParameters>("expected");

    const RunParameters none;
    RunParameters all;
    all.AllDevicesRun = true;
    all.ArgCloseFlag = QStringLiteral("0");
    QTest::newRow("0 arguments") << QStringList() << none;
    QTest::newRow("only flags") << QStringList{QStringLiteral("-a"), QStringLiteral("-b")} << none;
    QTest::newRow("1 argument") << QStringList{QStringLiteral("1")} << all;
    QTest::newRow("1 argument 0") << QStringList{QStringLiteral("0")} << all;
    QTest::newRow("1 quoted empty argument") << QStringList{QString()} << all;
    QTest::newRow("flag and 1 argument")
        << QStringList{QStringLiteral("-x"), QStringLiteral("1")} << all;
    QTest::newRow("2 arguments") << numbered(2) << none;

    RunParameters five;
    five.ArgFilePath = QStringLiteral("p3");
    five.ArgIP = QStringLiteral("p4");
    five.ArgPort = QStringLiteral("p5");
    QTest::newRow("5 arguments") << numbered(5) << five;

    RunParameters seventeen = five;
    seventeen.ArgFromDate = QStringLiteral("p14");
    seventeen.ArgToDate = QStringLiteral("p15");
    seventeen.ArgCloseFlag = QStringLiteral("p16");
    seventeen.SelectedName = QStringLiteral("p17");
    QTest::newRow("17 arguments") << numbered(17) << seventeen;
    QTest::newRow("18 arguments") << numbered(18) << seventeen;
    QStringList withFlags = numbered(17);
    withFlags.insert(4, QStringLiteral("-verbose"));
    QTest::newRow("17 arguments with a flag between") << withFlags << seventeen;
}

void TestCommandLine::mapping()
{
    QFETCH(QStringList, args);
    QFETCH(RunParameters, expected);
    const RunParameters run = MapParams(CCommandParse::Parse(args).Params);
    QCOMPARE(run.AllDevicesRun, expected.AllDevicesRun);
    QCOMPARE(run.ArgFilePath, expected.ArgFilePath);
    QCOMPARE(run.ArgIP, expected.ArgIP);
    QCOMPARE(run.ArgPort, expected.ArgPort);
    QCOMPARE(run.ArgFromDate, expected.ArgFromDate);
    QCOMPARE(run.ArgToDate, expected.ArgToDate);
    QCOMPARE(run.ArgCloseFlag, expected.ArgCloseFlag);
    QCOMPARE(run.SelectedName, expected.SelectedName);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
