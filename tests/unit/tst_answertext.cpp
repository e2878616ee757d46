#include "lookup/answertext.h"
#include "support/datatable.h"

#include <QTest>

// The keys the program reads from every answer, in the order of the expected lists below.
static const QStringList SixKeys = {
    QStringLiteral("country:"), QStringLiteral("region:"), QStringLiteral("city:"),
    QStringLiteral("postal:"),  QStringLiteral("loc:"),    QStringLiteral("timezone:"),
};

class TestAnswerText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void normalise_data();
    void normalise();
    void getJSValue_data();
    void getJSValue();
    void valueFromAnswer_data();
    void valueFromAnswer();
    void sixKeys_data();
    void sixKeys();
    void largeAnswer();
};

void TestAnswerText::normalise_data()
{
    const DataTable<QString, QString> table({"answer", "expected"});

    table.row("empty", QString(), QString());
    table.row("plain text untouched", QStringLiteral("Could not connect"),
              QStringLiteral("Could not connect"));
    table.row("tabs removed", QStringLiteral("\ta\tb\t"), QStringLiteral("ab"));
    table.row("CR LF is one space", QStringLiteral("a\r\nb"), QStringLiteral("a b"));
    table.row("lone CR", QStringLiteral("a\rb\r"), QStringLiteral("a b "));
    table.row("lone LF", QStringLiteral("a\nb\n"), QStringLiteral("a b "));
    table.row("LF CR is two spaces", QStringLiteral("a\n\rb"), QStringLiteral("a  b"));
    table.row("CR CR LF", QStringLiteral("a\r\r\nb"), QStringLiteral("a  b"));
    table.row("tab inside CR LF goes first", QStringLiteral("a\r\t\nb"), QStringLiteral("a b"));
    table.row("brace quote", QStringLiteral("{\"a"), QStringLiteral("a"));
    table.row("quote brace", QStringLiteral("a\"}"), QStringLiteral("a"));
    table.row("lone braces", QStringLiteral("{a}"), QStringLiteral("a"));
    table.row("brace pairs take their quotes", QStringLiteral("{\"a\"}"), QStringLiteral("a"));
    table.row("tab between brace and quote", QStringLiteral("{\t\"a\"\t}"), QStringLiteral("a"));
    table.row("line break keeps quotes apart from braces", QStringLiteral("{\n\"a\"\n}"),
              QStringLiteral(" \"a\" "));
    table.row("quote colon", QStringLiteral("\"a\":1"), QStringLiteral("\"a:1"));
    table.row("colon quote", QStringLiteral("a:\"b"), QStringLiteral("a:b"));
    table.row("quote colon quote", QStringLiteral("\"a\":\"b\""), QStringLiteral("\"a:b\""));
    table.row("space keeps the colon quote", QStringLiteral("\"a\": \"b\""),
              QStringLiteral("\"a: \"b\""));
    table.row("brackets", QStringLiteral("[1,[2],3]"), QStringLiteral("1,2,3"));
    table.row("nested", QStringLiteral("{\"a\":[{\"b\":\"c\"}]}"), QStringLiteral("a:b:c"));
    table.row("single line", QStringLiteral("{\"city\":\"Berlin\",\"loc\":\"52.5,13.4\"}"),
              QStringLiteral("city:Berlin\",\"loc:52.5,13.4"));
    table.row("single line with spaces",
              QStringLiteral("{\"city\": \"Berlin\", \"loc\": \"52.5,13.4\"}"),
              QStringLiteral("city: \"Berlin\", \"loc: \"52.5,13.4"));
    table.row("pretty printed with a list",
              QStringLiteral("{\n  \"ip\": \"1.2.3.4\",\n  \"tags\": [\n    \"a\"\n  ]\n}"),
              QStringLiteral("   \"ip: \"1.2.3.4\",   \"tags:      \"a\"    "));
    table.row("pretty printed with CR LF", QStringLiteral("{\r\n  \"a\": \"b\"\r\n}"),
              QStringLiteral("   \"a: \"b\" "));
    table.row("non-ASCII kept", QStringLiteral("{\"city\":\"東京\"}"), QStringLiteral("city:東京"));
}

void TestAnswerText::normalise()
{
    QFETCH(QString, answer);
    QFETCH(QString, expected);
    QCOMPARE(AnswerText::Normalise(answer), expected);
}

void TestAnswerText::getJSValue_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty source") << QString() << QStringLiteral("city:") << QString();
    QTest::newRow("key missing") << QStringLiteral("country:DE") << QStringLiteral("city:")
                                 << QString();
    QTest::newRow("key at the very end")
        << QStringLiteral("x\",region:") << QStringLiteral("region:") << QString();
    QTest::newRow("runs to the end")
        << QStringLiteral("city:Berlin") << QStringLiteral("city:") << QStringLiteral("Berlin");
    QTest::newRow("ends at quote comma")
        << QStringLiteral("city:Rome\",x:y") << QStringLiteral("city:") << QStringLiteral("Rome");
    QTest::newRow("quote comma wins over a nearer quote space")
        << QStringLiteral("city:\"A\" B\",C") << QStringLiteral("city:") << QStringLiteral("A B");
    QTest::newRow("ends at quote space") << QStringLiteral("city:\"Oslo\" next")
                                         << QStringLiteral("city:") << QStringLiteral("Oslo");
    QTest::newRow("ends at brace")
        << QStringLiteral("{city:Lima} more") << QStringLiteral("city:") << QStringLiteral("Lima");
    QTest::newRow("quote space wins over a nearer brace")
        << QStringLiteral("city:Lima} x\" y") << QStringLiteral("city:")
        << QStringLiteral("Lima} x");
    QTest::newRow("terminator before the key is ignored")
        << QStringLiteral("a\",b\" c}city:Quito") << QStringLiteral("city:")
        << QStringLiteral("Quito");
    QTest::newRow("first of two wins") << QStringLiteral("city:Bonn\",city:Köln")
                                       << QStringLiteral("city:") << QStringLiteral("Bonn");
    QTest::newRow("source in capitals") << QStringLiteral("CITY:Paris\",loc:1")
                                        << QStringLiteral("city:") << QStringLiteral("Paris");
    QTest::newRow("key in capitals") << QStringLiteral("city:Paris\",loc:1")
                                     << QStringLiteral("CITY:") << QStringLiteral("Paris");
    QTest::newRow("inside a longer key") << QStringLiteral("subcity:Mitte\",city:Berlin")
                                         << QStringLiteral("city:") << QStringLiteral("Mitte");
    QTest::newRow("quotes removed") << QStringLiteral("city:\"Big\" Apple\",")
                                    << QStringLiteral("city:") << QStringLiteral("Big Apple");
    QTest::newRow("each comma widened")
        << QStringLiteral("loc:1,2,,3") << QStringLiteral("loc:") << QStringLiteral("1, 2, , 3");
    QTest::newRow("leading space kept") << QStringLiteral("city: \"Lyon\", x")
                                        << QStringLiteral("city:") << QStringLiteral(" Lyon");
}

void TestAnswerText::getJSValue()
{
    QFETCH(QString, source);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(AnswerText::GetJSValue(source, key), expected);
}

// Single values that only come out as they do because of the flattening before the search.
void TestAnswerText::valueFromAnswer_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("comma space inside a value")
        << QStringLiteral("{\"city\": \"Washington, D.C.\", \"region\": \"DC\"}")
        << QStringLiteral("city:") << QStringLiteral(" Washington,  D.C.");
    QTest::newRow("last value of a spaced single line")
        << QStringLiteral("{\"city\": \"Washington, D.C.\", \"region\": \"DC\"}")
        << QStringLiteral("region:") << QStringLiteral(" DC");
    QTest::newRow("unquoted number runs on")
        << QStringLiteral("{\n  \"city\": \"Kyiv\",\n  \"postal\": 1001,\n  \"loc\": "
                          "\"50.45,30.52\",\n  \"timezone\": \"Europe/Kyiv\"\n}")
        << QStringLiteral("postal:") << QStringLiteral(" 1001,    loc: 50.45, 30.52");
    QTest::newRow("value after an unquoted one")
        << QStringLiteral("{\n  \"city\": \"Kyiv\",\n  \"postal\": 1001,\n  \"loc\": "
                          "\"50.45,30.52\",\n  \"timezone\": \"Europe/Kyiv\"\n}")
        << QStringLiteral("loc:") << QStringLiteral(" 50.45, 30.52");
    QTest::newRow("unquoted flag runs to the end")
        << QStringLiteral("{\"anycast\":true,\"city\":\"Reston\"}") << QStringLiteral("anycast:")
        << QStringLiteral("true, city:Reston");
    QTest::newRow("value in a list")
        << QStringLiteral("{\"cities\": [\"Turin\", \"Milan\"], \"x\": 1}")
        << QStringLiteral("cities:") << QStringLiteral(" Turin");
}

void TestAnswerText::valueFromAnswer()
{
    QFETCH(QString, answer);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(AnswerText::GetJSValue(AnswerText::Normalise(answer), key), expected);
}

void TestAnswerText::sixKeys_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("expected");

    const QStringList none(SixKeys.size());

    const QString saoPaulo = QStringLiteral("{\n"
                                            "  \"ip\": \"203.0.113.7\",\n"
                                            "  \"city\": \"São Paulo\",\n"
                                            "  \"region\": \"São Paulo\",\n"
                                            "  \"country\": \"BR\",\n"
                                            "  \"loc\": \"-23.5475,-46.6361\",\n"
                                            "  \"postal\": \"01000-000\",\n"
                                            "  \"timezone\": \"America/Sao_Paulo\"\n"
                                            "}");
    QTest::newRow("pretty printed")
        << saoPaulo << QStringList {" BR",        " São Paulo",          " São Paulo",
                                    " 01000-000", " -23.5475, -46.6361", " America/Sao_Paulo"};

    const QString tokyo = QStringLiteral("{\r\n"
                                         "  \"ip\": \"192.0.2.1\",\r\n"
                                         "  \"city\": \"東京\",\r\n"
                                         "  \"region\": \"東京都\",\r\n"
                                         "  \"country\": \"JP\",\r\n"
                                         "  \"loc\": \"35.6895,139.6917\",\r\n"
                                         "  \"postal\": \"100-0001\",\r\n"
                                         "  \"timezone\": \"Asia/Tokyo\"\r\n"
                                         "}");
    QTest::newRow("pretty printed with CR LF")
        << tokyo
        << QStringList {" JP",        " 東京都", " 東京", " 100-0001", " 35.6895, 139.6917",
                        " Asia/Tokyo"};

    const QString zurich = QStringLiteral(
        "{\"ip\":\"198.51.100.4\",\"city\":\"Zürich\",\"region\":\"Zurich\",\"country\":\"CH\","
        "\"loc\":\"47.3667,8.5500\",\"postal\":\"8001\",\"timezone\":\"Europe/Zurich\"}");
    QTest::newRow("single line") << zurich
                                 << QStringList {"CH",   "Zurich",          "Zürich",
                                                 "8001", "47.3667, 8.5500", "Europe/Zurich"};

    const QString capitals = QStringLiteral("{\"City\":\"Berlin\",\"Region\":\"Land "
                                            "Berlin\",\"Country\":\"DE\",\"Loc\":\"52.52,13.40\","
                                            "\"Postal\":\"10115\",\"Timezone\":\"Europe/Berlin\"}");
    QTest::newRow("keys with capitals")
        << capitals
        << QStringList {"DE", "Land Berlin", "Berlin", "10115", "52.52, 13.40", "Europe/Berlin"};

    const QString partial = QStringLiteral("{\n"
                                           "  \"ip\": \"203.0.113.9\",\n"
                                           "  \"country\": \"FR\",\n"
                                           "  \"loc\": \"48.8534,2.3488\"\n"
                                           "}");
    QTest::newRow("some keys missing")
        << partial << QStringList {" FR", "", "", "", " 48.8534, 2.3488", ""};

    QTest::newRow("empty answer") << QString() << none;
    QTest::newRow("no connection") << QStringLiteral("Could not connect") << none;
    QTest::newRow("rate limited") << QStringLiteral("{\n"
                                                    "  \"status\": 429,\n"
                                                    "  \"error\": {\n"
                                                    "    \"title\": \"Rate limit exceeded\",\n"
                                                    "    \"message\": \"Too many requests from "
                                                    "this address; try again tomorrow.\"\n"
                                                    "  }\n"
                                                    "}")
                                  << none;
}

void TestAnswerText::sixKeys()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, expected);

    const QString flat = AnswerText::Normalise(answer);
    QStringList values;
    for (const QString &key : SixKeys)
        values.append(AnswerText::GetJSValue(flat, key));
    QCOMPARE(values, expected);
}

// An answer of a mebibyte or so (the largest the runner accepts) flattens and yields its values;
// work that grew with the square of the length would run into the suite's time limit here.
void TestAnswerText::largeAnswer()
{
    // Each unit flattens on its own to a:"b", and the units do not interact.
    const QString unit = QStringLiteral("{\"a\":[\"b\"]},\r\n");
    const int units = 80'000;
    const QString answer = unit.repeated(units) + QStringLiteral("{\"zz\":\"end\"}");

    const QString flat = AnswerText::Normalise(answer);
    const QString last = AnswerText::GetJSValue(flat, QStringLiteral("zz:"));
    const QString first = AnswerText::GetJSValue(flat, QStringLiteral("a:"));
    const QString absent = AnswerText::GetJSValue(flat, QStringLiteral("city:"));

    QCOMPARE(flat, QStringLiteral("a:\"b\", ").repeated(units) + QStringLiteral("zz:end"));
    QCOMPARE(last, QStringLiteral("end"));
    QCOMPARE(first, QStringLiteral("b"));
    QVERIFY(absent.isEmpty());
}

QTEST_GUILESS_MAIN(TestAnswerText)
#include "tst_answertext.moc"
