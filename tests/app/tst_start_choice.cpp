#include "app/StartChoice.h"

#include <QtTest>

// Which starts open a window and which run without one.
class TestStartChoice : public QObject {
    Q_OBJECT

private slots:
    void display_data();
    void display();
    void withoutWindow_data();
    void withoutWindow();
};

void TestStartChoice::display_data()
{
    QTest::addColumn<QStringList>("variables"); // NAME=value
    QTest::addColumn<bool>("hasDisplay");

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

QTEST_GUILESS_MAIN(TestStartChoice)
#include "tst_start_choice.moc"
