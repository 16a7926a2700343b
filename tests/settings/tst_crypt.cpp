#include "platform/CodePage.h"
#include "settings/CCrypt.h"
#include "settings/HexText.h"

#include <QTest>

class TestCrypt : public QObject {
    Q_OBJECT
private slots:
    void knownAnswers_data();
    void knownAnswers();
    void roundTrips_data();
    void roundTrips();
    void sameTextUnderEveryInstance();
    void hexReading_data();
    void hexReading();
    void bytesToHexIsLowerCase();
    void unmappableCharacterBecomesQuestionMark();
};

void TestCrypt::knownAnswers_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");
    QTest::newRow("secret") << QByteArray("secret") << QByteArray("949a2a29e88a");
    QTest::newRow("sa") << QByteArray("sa") << QByteArray("949e");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestCrypt::knownAnswers()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);
    CCrypt crypt;
    QCOMPARE(crypt.Encrypt(plain), cipher);
    QCOMPARE(crypt.Decrypt(cipher), QString::fromLatin1(plain));
}

void TestCrypt::roundTrips_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("ascii") << QStringLiteral("P@ss;w{o}rd%20+");
    QTest::newRow("arabic") << QStringLiteral("كلمة123");
    QTest::newRow("long") << QString(200, QLatin1Char('x'));
    QTest::newRow("one") << QStringLiteral("z");
}

void TestCrypt::roundTrips()
{
    QFETCH(QString, password);
    CCrypt crypt;
    const QByteArray plain = ToAnsi(password);
    const QByteArray cipher = crypt.Encrypt(plain);
    QCOMPARE(cipher.size(), plain.size() * 2);
    for (char c : cipher)
        QVERIFY2(QByteArray("0123456789abcdef").contains(c), cipher.constData());
    QCOMPARE(crypt.Decrypt(cipher), password);
    // Upper-case digits decipher to the same password.
    QCOMPARE(crypt.Decrypt(cipher.toUpper()), password);
}

void TestCrypt::sameTextUnderEveryInstance()
{
    CCrypt one;
    CCrypt two;
    const QByteArray first = one.Encrypt("repeat");
    QCOMPARE(one.Encrypt("repeat"), first);
    QCOMPARE(two.Encrypt("repeat"), first);
    QVERIFY(one.Status());
}

void TestCrypt::hexReading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("pairs") << QStringLiteral("00ff7fA0") << 4 << QByteArray("\x00\xff\x7f\xa0", 4);
    QTest::newRow("odd length drops the last") << QStringLiteral("4142F") << 2 << QByteArray("AB");
    QTest::newRow("count limits") << QStringLiteral("414243") << 2 << QByteArray("AB");
    QTest::newRow("empty") << QString() << 4 << QByteArray();
    // 'G' is valued 'G'-'0'-7 = 16: (16*16)|1 truncated to 8 bits is 0x01.
    QTest::newRow("non-hex is converted, not rejected")
        << QStringLiteral("G1") << 1 << QByteArray("\x01", 1);
    // ' ' - '0' wraps to 240 in 8 bits, so 240 - 7 = 233 = 0xE9; (0xE9*16 | 0) & 0xFF = 0x90.
    QTest::newRow("blank") << QStringLiteral(" 0") << 1 << QByteArray("\x90", 1);
}

void TestCrypt::hexReading()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(QByteArray, bytes);
    QCOMPARE(HexToBytes(text, count), bytes);
}

void TestCrypt::bytesToHexIsLowerCase()
{
    QCOMPARE(BytesToHex(QByteArray("\x00\x0a\xff\x10", 4)), QStringLiteral("000aff10"));
}

void TestCrypt::unmappableCharacterBecomesQuestionMark()
{
    // Windows-1256 has no Greek letters: such a character is stored as "?".
    CCrypt crypt;
    const QByteArray cipher = crypt.Encrypt(ToAnsi(QStringLiteral("aΩb")));
    QCOMPARE(crypt.Decrypt(cipher), QStringLiteral("a?b"));
}

QTEST_GUILESS_MAIN(TestCrypt)
#include "tst_crypt.moc"
