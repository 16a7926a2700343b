#include "app/ProgramOptions.h"

#include <QTest>

// Taking the program's own long options out of its argument list.
class TestProgramOptions : public QObject {
    Q_OBJECT
private slots:
    void parsing_data();
    void parsing();
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
        << L({"--jobs=4"}) << false << false << false << none
        << QStringLiteral("zelvor: unknown option --jobs (see zelvor --help)") << none;
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

QTEST_GUILESS_MAIN(TestProgramOptions)
#include "tst_program_options.moc"
