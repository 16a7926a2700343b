#include "app/ProgramOptions.h"

#include <QTest>

// Taking the program's own long options out of its argument list.
class TestProgramOptions : public QObject {
    Q_OBJECT
private slots:
    void parsing_data();
    void parsing();
    void runOptions_data();
    void runOptions();
    void since_data();
    void since();
};

void TestProgramOptions::parsing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("withValueOption"); // also knows --metrics FILE, as later options will
    QTest::addColumn<bool>("help");
    QTest::addColumn<bool>("version");
    QTest::addColumn<QStringList>("values"); // name=value
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("arguments");

    const auto L = [](std::initializer_list<const char*> items) {
        QStringList list;
        for (const char* item : items)
            list.append(QString::fromUtf8(item));
        return list;
    };
    const QStringList none;
    QTest::newRow("nothing") << none << false << false << false << none << QString() << none;
    QTest::newRow("help") << L({"--help"}) << false << true << false << none << QString() << none;
    QTest::newRow("version after a position")
        << L({"1", "--version"}) << false << false << true << none << QString() << L({"1"});
    QTest::newRow("single-dash flags and their words stay, in order")
        << L({"-style", "X", "-", "A", ""}) << false << false << false << none << QString()
        << L({"-style", "X", "-", "A", ""});
    QTest::newRow("unknown long option")
        << L({"1", "--bogus", "2"}) << false << false << false << none
        << QStringLiteral("zelvor: unknown option --bogus (see zelvor --help)") << L({"1"});
    QTest::newRow("unknown long option with a value")
        << L({"--job=4"}) << false << false << false << none
        << QStringLiteral("zelvor: unknown option --job (see zelvor --help)") << none;
    QTest::newRow("value given to a plain option")
        << L({"--help=yes"}) << false << false << false << none
        << QStringLiteral("zelvor: option --help takes no value (see zelvor --help)") << none;
    QTest::newRow("double dash ends the options")
        << L({"-x", "--", "--help", "1"}) << false << false << false << none << QString()
        << L({"-x", "--help", "1"});
    QTest::newRow("value never takes a position")
        << L({"--metrics", "m.txt", "1"}) << true << false << false << L({"metrics=m.txt"})
        << QString() << L({"1"});
    QTest::newRow("value that looks like an option")
        << L({"--metrics", "--help", "a", "b"}) << true << false << false << L({"metrics=--help"})
        << QString() << L({"a", "b"});
    QTest::newRow("value after an equals sign, last one wins")
        << L({"--metrics=a=b", "x", "--metrics=", "y"}) << true << false << false << L({"metrics="})
        << QString() << L({"x", "y"});
    QTest::newRow("value missing")
        << L({"1", "--metrics"}) << true << false << false << none
        << QStringLiteral("zelvor: option --metrics needs a value (see zelvor --help)") << L({"1"});
}

void TestProgramOptions::parsing()
{
    QFETCH(QStringList, args);
    QFETCH(bool, withValueOption);
    QList<LongOption> known = ProgramLongOptions();
    if (withValueOption)
        known.append({QStringLiteral("metrics"), true});

    const ProgramOptions options = ParseProgramOptions(args, known);
    QStringList values;
    for (auto it = options.values.cbegin(); it != options.values.cend(); ++it)
        values.append(it.key() + QLatin1Char('=') + it.value());
    QTEST(options.help, "help");
    QTEST(options.version, "version");
    QTEST(values, "values");
    QTEST(options.error, "error");
    QTEST(options.arguments, "arguments");
}

void TestProgramOptions::runOptions_data()
{
    const auto L = [](std::initializer_list<const char*> items) {
        QStringList list;
        for (const char* item : items)
            list.append(QString::fromUtf8(item));
        return list;
    };
    const auto S = [](const char* text) { return QString::fromUtf8(text); };
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("environment"); // ZELVOR_METRICS_FILE
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("jobs");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<QString>("metrics");
    const int jobs = RunOptions::kDefaultJobs;
    const int timeout = RunOptions::kDefaultDeviceTimeoutSeconds;
    QTest::newRow("defaults") << L({"1"}) << S("") << true << jobs << timeout << S("");
    QTest::newRow("given") << L({"--jobs", "1", "--device-timeout=0", "1"}) << S("") << true << 1
                           << 0 << S("");
    QTest::newRow("metrics from the environment")
        << L({"1"}) << S("/run/z.prom") << true << jobs << timeout << S("/run/z.prom");
    QTest::newRow("the option wins") << L({"--metrics", "/a.prom", "1"}) << S("/run/z.prom") << true
                                     << jobs << timeout << S("/a.prom");
    for (const char* bad : {"0", "65", "x", "-1", "4x", ""})
        QTest::addRow("jobs '%s'", bad) << QStringList{S("--jobs"), S(bad), S("1")} << S("")
                                        << false << jobs << timeout << S("");
    QTest::newRow("negative time-out")
        << L({"--device-timeout", "-5", "1"}) << S("") << false << jobs << timeout << S("");
}

void TestProgramOptions::runOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QString, environment);
    QFETCH(bool, ok);
    QProcessEnvironment env;
    if (!environment.isEmpty())
        env.insert(QStringLiteral("ZELVOR_METRICS_FILE"), environment);
    const ProgramOptions options = ParseProgramOptions(args);
    QVERIFY(options.error.isEmpty());
    QCOMPARE(options.arguments, QStringList{QStringLiteral("1")});
    RunOptions run;
    QString error;
    QCOMPARE(RunOptionsFrom(options, env, run, error), ok);
    QCOMPARE(error.isEmpty(), ok);
    if (!ok) {
        QVERIFY2(error.startsWith(QStringLiteral("zelvor: --")), qPrintable(error));
        return;
    }
    QTEST(run.jobs, "jobs");
    QTEST(run.deviceTimeoutSeconds, "timeout");
    QTEST(run.metricsPath, "metrics");
}

void TestProgramOptions::since_data()
{
    QTest::addColumn<QString>("args");    // separated by blanks
    QTest::addColumn<QDate>("since");     // invalid: refused
    QTest::addColumn<QString>("because"); // part of the usage error
    const auto S = [](const char* text) { return QString::fromUtf8(text); };
    QTest::newRow("today") << S("--since 2024-05-17 1") << QDate(2024, 5, 17) << QString();
    QTest::newRow("a year back, across a leap day")
        << S("--since=2023-05-17 1") << QDate(2023, 5, 17) << QString();
    QTest::newRow("a day more than a year back")
        << S("--since 2023-05-16 1") << QDate()
        << S("more than a year back (the earliest day is 2023-05-17)");
    QTest::newRow("tomorrow") << S("--since 2024-05-18 1") << QDate()
                              << S("in the future (today is 2024-05-17)");
    for (const char* bad : {"2024-5-1", "2024-02-30", "2024-05-17x"})
        QTest::addRow("malformed '%s'", bad) << QStringLiteral("--since %1 1").arg(S(bad))
                                             << QDate() << S("takes a day as YYYY-MM-DD");
    QTest::newRow("the window") << S("--since 2024-05-01") << QDate()
                                << S("only with the all-devices run");
    QTest::newRow("a single terminal") << S("--since 2024-05-01 x x /tmp 10.0.0.9") << QDate()
                                       << S("only with the all-devices run");
}

void TestProgramOptions::since()
{
    QFETCH(QString, args);
    QFETCH(QDate, since);
    QFETCH(QString, because);
    const ProgramOptions options = ParseProgramOptions(args.split(QLatin1Char(' ')));
    RunOptions run;
    QString error;
    QCOMPARE(RunOptionsFrom(options, {}, run, error, QDate(2024, 5, 17)), because.isEmpty());
    QCOMPARE(run.since, since);
    QVERIFY2(error.contains(because), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestProgramOptions)
#include "tst_program_options.moc"
