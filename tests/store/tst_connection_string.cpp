#include "store/ConnectionString.h"

#include <QtTest>

// The connection string a device record turns into, byte for byte.
class TestConnectionString : public QObject {
    Q_OBJECT

private slots:
    void build_data();
    void build();
};

void TestConnectionString::build_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("pass");
    QTest::addColumn<QString>("dbName");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain values") << QStringLiteral("HR-SRV\\SQL2019") << QStringLiteral("sa")
                                  << QStringLiteral("secret") << QStringLiteral("HRSuite")
                                  << QStringLiteral("DRIVER={SQL Server};SERVER=HR-SRV\\SQL2019;"
                                                    "UID=sa;PWD={secret};DATABASE=HRSuite");
    QTest::newRow("all empty") << QString() << QString() << QString() << QString()
                               << QStringLiteral(
                                      "DRIVER={SQL Server};SERVER=;UID=;PWD={};DATABASE=");
    QTest::newRow("password with percent and plus")
        << QStringLiteral("srv") << QStringLiteral("u") << QStringLiteral("50%+off")
        << QStringLiteral("db")
        << QStringLiteral("DRIVER={SQL Server};SERVER=srv;UID=u;PWD={50%+off};DATABASE=db");
    QTest::newRow("password with semicolon and braces")
        << QStringLiteral("srv") << QStringLiteral("u") << QStringLiteral("a;b{c}d}")
        << QStringLiteral("db")
        << QStringLiteral("DRIVER={SQL Server};SERVER=srv;UID=u;PWD={a;b{c}}d}}};DATABASE=db");
    QTest::newRow("semicolon in database name")
        << QStringLiteral("srv") << QStringLiteral("u") << QStringLiteral("p")
        << QStringLiteral("db;UID=sa")
        << QStringLiteral("DRIVER={SQL Server};SERVER=srv;UID=u;PWD={p};DATABASE={db;UID=sa}");
    QTest::newRow("brace in user")
        << QStringLiteral("srv") << QStringLiteral("{admin}") << QStringLiteral("p")
        << QStringLiteral("db")
        << QStringLiteral("DRIVER={SQL Server};SERVER=srv;UID={{admin}}};PWD={p};DATABASE=db");
    QTest::newRow("leading and trailing blanks")
        << QStringLiteral(" srv") << QStringLiteral("u ") << QStringLiteral(" p ")
        << QStringLiteral("my db")
        << QStringLiteral("DRIVER={SQL Server};SERVER={ srv};UID={u };PWD={ p };DATABASE=my db");
    QTest::newRow("arabic database name")
        << QStringLiteral("srv") << QStringLiteral("u") << QStringLiteral("p")
        << QStringLiteral("الموارد")
        << QStringLiteral("DRIVER={SQL Server};SERVER=srv;UID=u;PWD={p};DATABASE=الموارد");
}

void TestConnectionString::build()
{
    QFETCH(QString, server);
    QFETCH(QString, user);
    QFETCH(QString, pass);
    QFETCH(QString, dbName);
    QFETCH(QString, expected);

    CConnServer record;
    record.Server = server;
    record.User = user;
    record.Pass = pass;
    record.DbName = dbName;
    record.ConnStr = QStringLiteral("stale");
    QCOMPARE(BuildConnStr(record), expected);
    // Driver options follow as they stand.
    record.DriverOptions = QStringLiteral(" Encrypt=yes;TrustServerCertificate=yes ");
    QCOMPARE(BuildConnStr(record),
             expected + QStringLiteral(";Encrypt=yes;TrustServerCertificate=yes"));
    // A driver of the site's own name, in braces with its '}' doubled.
    record.Driver = QStringLiteral("ODBC Driver 18 for SQL Server}");
    QCOMPARE(BuildConnStr(record).section(u';', 0, 0),
             QStringLiteral("DRIVER={ODBC Driver 18 for SQL Server}}}"));
}

QTEST_GUILESS_MAIN(TestConnectionString)
#include "tst_connection_string.moc"
