// The protocol's text rules: integers, card escaping, punch lines, key proof.
#include "terminal/LinkAuth.h"
#include "terminal/PunchLine.h"
#include "terminal/ShownText.h"
#include "terminal/WireText.h"

#include <QTest>

#include <climits>
#include <string>

class WireProtocolTest : public QObject {
    Q_OBJECT
private slots:
    void parseInt_data();
    void parseInt();
    void cardRoundTrip_data();
    void cardRoundTrip();
    void punchLine_data();
    void punchLine();
    void formatRefusesOverlongCard();
    void keyProof_data();
    void keyProof();
    void streamCode_data();
    void streamCode();
    void noncesDiffer();
    void shownText_data();
    void shownText();
};

void WireProtocolTest::parseInt_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("zero") << QByteArray("0") << true << 0;
    QTest::newRow("year") << QByteArray("2024") << true << 2024;
    QTest::newRow("seven digits") << QByteArray("9087654") << true << 9087654;
    QTest::newRow("eight digits") << QByteArray("12345678") << true << 12345678;
    QTest::newRow("negative") << QByteArray("-17") << true << -17;
    QTest::newRow("max") << QByteArray("2147483647") << true << INT_MAX;
    QTest::newRow("min") << QByteArray("-2147483648") << true << INT_MIN;
    QTest::newRow("overflow") << QByteArray("2147483648") << false << 0;
    QTest::newRow("long overflow") << QByteArray("99999999999") << false << 0;
    QTest::newRow("11 digits in range") << QByteArray("00000002026") << false << 0;
    QTest::newRow("empty") << QByteArray("") << false << 0;
    QTest::newRow("sign only") << QByteArray("-") << false << 0;
    QTest::newRow("plus") << QByteArray("+3") << false << 0;
    QTest::newRow("blank") << QByteArray(" 3") << false << 0;
    QTest::newRow("letter") << QByteArray("3a") << false << 0;
}

void WireProtocolTest::parseInt()
{
    QFETCH(QByteArray, field);
    QFETCH(bool, ok);
    QFETCH(int, value);
    int parsed = 12345;
    QCOMPARE(ztp::ParseInt(std::string_view(field.constData(), std::size_t(field.size())), parsed),
             ok);
    // The same field where a line goes on after it (read a word at a time).
    const QByteArray line = field + " 1 0 2024 3 5 8 7 9 0";
    std::size_t at = 0;
    int inLine = 12345;
    QCOMPARE(ztp::ScanIntField(std::string_view(line.constData(), std::size_t(line.size())), at,
                               inLine) &&
                 at == std::size_t(field.size()),
             ok);
    if (ok) {
        QCOMPARE(parsed, value);
        QCOMPARE(inLine, value);
        char out[12];
        QCOMPARE(QByteArray(out, ztp::WriteInt(out, value)), field);
    }
}

void WireProtocolTest::cardRoundTrip_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QByteArray>("escaped");
    QTest::newRow("digits") << QStringLiteral("1042") << QByteArray("1042");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("quotes") << QStringLiteral("12\"3'4") << QByteArray("12\"3'4");
    QTest::newRow("tab") << QStringLiteral("A\tB") << QByteArray("A%09B");
    QTest::newRow("blank, percent, LF, CR")
        << QStringLiteral("a b%c\nd\re") << QByteArray("a%20b%25c%0Ad%0De");
    QTest::newRow("arabic") << QStringLiteral("أحمد٣٤") << QStringLiteral("أحمد٣٤").toUtf8();
    QTest::newRow("delete") << QStringLiteral("x\x7fy") << QByteArray("x%7Fy");
}

void WireProtocolTest::cardRoundTrip()
{
    QFETCH(QString, card);
    QFETCH(QByteArray, escaped);
    const QByteArray utf8 = card.toUtf8();
    char out[256];
    const int size =
        ztp::EscapeCard(std::string_view(utf8.constData(), std::size_t(utf8.size())), out, 256);
    QCOMPARE(QByteArray(out, size), escaped);
    char back[256];
    const int backSize =
        ztp::UnescapeCard(std::string_view(escaped.constData(), std::size_t(escaped.size())), back);
    QCOMPARE(QString::fromUtf8(back, backSize), card);
}

void WireProtocolTest::punchLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("card");
    QTest::addColumn<int>("month");
    QTest::newRow("plain") << QByteArray("P 1042 1 0 2024 3 5 8 7 9 0") << true
                           << QStringLiteral("1042") << 3;
    QTest::newRow("empty card") << QByteArray("P  1 0 2024 3 5 8 7 9 0") << true << QString() << 3;
    QTest::newRow("month 13 passes through")
        << QByteArray("P 7 1 0 2024 13 5 8 7 9 0") << true << QStringLiteral("7") << 13;
    QTest::newRow("escaped tab") << QByteArray("P A%09B 1 0 2024 6 31 8 7 9 -3") << true
                                 << QStringLiteral("A\tB") << 6;
    QTest::newRow("too few values")
        << QByteArray("P 1042 1 0 2024 3 5 8 7 9") << false << QString() << 0;
    QTest::newRow("too many values")
        << QByteArray("P 1042 1 0 2024 3 5 8 7 9 0 0") << false << QString() << 0;
    QTest::newRow("double blank") << QByteArray("P 1042 1  0 2024 3 5 8 7 9 0") << false
                                  << QString() << 0;
    QTest::newRow("trailing blank")
        << QByteArray("P 1042 1 0 2024 3 5 8 7 9 0 ") << false << QString() << 0;
    QTest::newRow("not a number") << QByteArray("P 1042 1 0 2024 x 5 8 7 9 0") << false << QString()
                                  << 0;
    QTest::newRow("raw control byte") << QByteArray("P 10\x01"
                                                    "42 1 0 2024 3 5 8 7 9 0")
                                      << false << QString() << 0;
    QTest::newRow("card not UTF-8")
        << QByteArray("P \xC3( 1 0 2024 3 5 8 7 9 0") << false << QString() << 0;
    QTest::newRow("overlong UTF-8 card")
        << QByteArray("P \xC0\xAF 1 0 2024 3 5 8 7 9 0") << false << QString() << 0;
    QTest::newRow("bad escape") << QByteArray("P 10%4 1 0 2024 3 5 8 7 9 0") << false << QString()
                                << 0;
    QTest::newRow("escape at end")
        << QByteArray("P 10% 1 0 2024 3 5 8 7 9 0") << false << QString() << 0;
    QTest::newRow("wrong tag") << QByteArray("Q 1042 1 0 2024 3 5 8 7 9 0") << false << QString()
                               << 0;
    QTest::newRow("garbage") << QByteArray("\xff\xfe garbage") << false << QString() << 0;
    QTest::newRow("empty") << QByteArray() << false << QString() << 0;
}

void WireProtocolTest::punchLine()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, ok);
    QFETCH(QString, card);
    QFETCH(int, month);
    ztp::WirePunch punch;
    QCOMPARE(
        ztp::ParsePunchLine(std::string_view(line.constData(), std::size_t(line.size())), punch),
        ok);
    if (!ok)
        return;
    QCOMPARE(QString::fromUtf8(punch.card().data(), qsizetype(punch.card().size())), card);
    QCOMPARE(punch.values[ztp::kMonth], month);
    // Formatting the parsed punch gives the line back.
    char out[ztp::kMaxLineBytes];
    const int size = ztp::FormatPunchLine(punch.card(), punch.values, out, ztp::kMaxLineBytes);
    QCOMPARE(QByteArray(out, size), line + '\n');
}

void WireProtocolTest::formatRefusesOverlongCard()
{
    const std::string card(ztp::kMaxLineBytes, '\t'); // escapes to three times its size
    char out[ztp::kMaxLineBytes];
    QCOMPARE(ztp::FormatPunchLine(card, {}, out, ztp::kMaxLineBytes), -1);
}

void WireProtocolTest::keyProof_data()
{
    // Expected values computed independently with another HMAC implementation.
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("clientProof");
    QTest::addColumn<QByteArray>("terminalProof");
    QTest::newRow("key 4711") << 4711
                              << QByteArray("402515ec27755ebcf4818a3fff83d447"
                                            "b5d303d06cb4ef4c462058a4e36ff616")
                              << QByteArray("3ddf2f70eab9625da01e0ff675f7067b"
                                            "1d92cff4d301f8f36796438bda43c4dc");
    QTest::newRow("key 0") << 0
                           << QByteArray("27b7232a790ab429024dc9274daf8279"
                                         "aa0bcc886e2e744e98fa3291b2b57ead")
                           << QByteArray("fc30b152ab640a43b9ddc39a4c81e24d"
                                         "53a4c333fdc19444cffaaf307009512b");
    QTest::newRow("negative key") << -5
                                  << QByteArray("6f20b8c09c4287cc2be6429dbaca3833"
                                                "73559dc05e09f339d323c06d41a96490")
                                  << QByteArray("90e26bb2116213784ddb8461bfe67062"
                                                "c99513ecad261a2a007f8b351610fbb0");
}

void WireProtocolTest::keyProof()
{
    QFETCH(int, key);
    QFETCH(QByteArray, clientProof);
    QFETCH(QByteArray, terminalProof);
    const ztp::Nonces nonces{QByteArray("00112233445566778899aabbccddeeff"),
                             QByteArray("ffeeddccbbaa99887766554433221100")};
    QCOMPARE(ztp::ClientProof(key, nonces), clientProof);
    QCOMPARE(ztp::TerminalProof(key, nonces), terminalProof);
    QVERIFY(ztp::SameProof(ztp::TerminalProof(key, nonces), terminalProof));
    QVERIFY(!ztp::SameProof(ztp::TerminalProof(key + 1, nonces), terminalProof));
    // Each nonce counts: swapping them gives another proof.
    QVERIFY(ztp::ClientProof(key, {nonces.client, nonces.terminal}) != clientProof);
}

void WireProtocolTest::streamCode_data()
{
    // Expected values computed independently with another HMAC implementation.
    QTest::addColumn<int>("stream");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("code");
    const QStringList two = {QStringLiteral("LOG 2"), QStringLiteral("P 1042 1 0 2024 3 5 8 7 9 0"),
                             QStringLiteral("P A%09B 2 1 2024 3 5 17 30 0 0"),
                             QStringLiteral("END 2")};
    QTest::newRow("first stream") << 1 << two
                                  << QByteArray("583b0dd3cbb73f1ff98a270f3a4d39c4"
                                                "a36db3711bdf532511837d9d5b8fb7f9");
    QTest::newRow("second stream") << 2 << two
                                   << QByteArray("e4284cdecddb8c0d974ab0c063f63686"
                                                 "681899bccc109493fa4d8c33a8d77fe7");
    QTest::newRow("the protocol document's example")
        << 1
        << QStringList{QStringLiteral("LOG 3"), QStringLiteral("P 1042 1 0 2024 3 5 8 7 9 0"),
                       QStringLiteral("P A%09B 2 1 2024 3 5 17 30 0 0"),
                       QStringLiteral("P أحمد 1 0 2024 3 6 7 59 58 0"), QStringLiteral("END 3")}
        << QByteArray("b5c980412c859da2bc21c0c32581e8bda4b6817153df2496d9204950ac4485bc");
}

void WireProtocolTest::streamCode()
{
    QFETCH(int, stream);
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, code);
    const ztp::Nonces nonces{QByteArray("00112233445566778899aabbccddeeff"),
                             QByteArray("ffeeddccbbaa99887766554433221100")};
    ztp::StreamCode mac(ztp::MakeSessionKey(4711, nonces), stream);
    for (const QString& line : lines) {
        const QByteArray utf8 = line.toUtf8();
        mac.AddLine(std::string_view(utf8.constData(), std::size_t(utf8.size())));
    }
    QCOMPARE(mac.Hex(), code);
}

void WireProtocolTest::noncesDiffer()
{
    const QByteArray a = ztp::MakeNonce();
    QCOMPARE(a.size(), 2 * ztp::kNonceBytes);
    QVERIFY(a != ztp::MakeNonce());
}

void WireProtocolTest::shownText_data()
{
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QByteArray("log unreadable") << QStringLiteral("log unreadable");
    QTest::newRow("arabic kept") << QStringLiteral("السجل تالف").toUtf8()
                                 << QStringLiteral("السجل تالف");
    QTest::newRow("line breaks and escape")
        << QByteArray("a\r\nzelvor: OK\x1b[0m") << QStringLiteral("a??zelvor: OK?[0m");
    QTest::newRow("unicode separators and overrides")
        << QStringLiteral("x\u2028y\u202Ez\u2066w\u0085").toUtf8() << QStringLiteral("x?y?z?w?");
    QTest::newRow("invalid UTF-8") << QByteArray("a\xff") << QStringLiteral("a\uFFFD");
    QTest::newRow("cut") << QByteArray(300, 'x')
                         << QString(200, QLatin1Char('x')) + QStringLiteral("...");
}

void WireProtocolTest::shownText()
{
    QFETCH(QByteArray, utf8);
    QFETCH(QString, shown);
    QCOMPARE(ShownText(std::string_view(utf8.constData(), std::size_t(utf8.size()))), shown);
}

QTEST_APPLESS_MAIN(WireProtocolTest)
#include "tst_wire_protocol.moc"
