#include "model/colortext.h"
#include "errortext.h"

#include <QSet>
#include <QtTest>

class TestColorText : public QObject
{
    Q_OBJECT

private slots:
    void readAndWrite_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("value");
        QTest::addColumn<QString>("written");
        QTest::newRow("identifier") << "clAqua" << 0x00FFFF00u << "clAqua";
        QTest::newRow("any letter case") << "CLAQUA" << 0x00FFFF00u << "clAqua";
        QTest::newRow("lower-case hex") << "$00ff8000" << 0x00FF8000u << "$00FF8000";
        QTest::newRow("eight digits") << "$a" << 0x0000000Au << "$0000000A";
        QTest::newRow("decimal") << "255" << 0x000000FFu << "clRed";
    }

    void readAndWrite()
    {
        QFETCH(QString, text);
        QFETCH(quint32, value);
        QFETCH(QString, written);
        QCOMPARE(ColorText::fromText(text), value);
        QCOMPARE(ColorText::toText(value), written);
    }

    void badTextThrows()
    {
        for (const QString text : {"clOrange", "", "$", "$00GG0000", "FF00"})
            QCOMPARE(errorText([&] { ColorText::fromText(text); }),
                     QStringLiteral("'%1' ist kein gültiger Integerwert").arg(text));
    }

    void tableIsDistinctAndRoundTrips()
    {
        const auto &table = ColorText::identifierTable();
        QCOMPARE(table.size(), 49);
        QSet<quint32> values;
        for (const auto &[name, value] : table) {
            values.insert(value);
            QCOMPARE(ColorText::toText(value), name);
            QCOMPARE(ColorText::fromText(name.toLower()), value);
        }
        QCOMPARE(values.size(), 49);
    }

    void qColorConversion()
    {
        QCOMPARE(ColorText::fromQColor(ColorText::toQColor(0x00FF8000)), 0x00FF8000u);
        QCOMPARE(ColorText::toQColor(0x00FF8000), QColor(0, 128, 255));
        // System colours are looked up, not taken as RGB (which would be a dark red).
        QCOMPARE(ColorText::toQColor(0x80000005), QColor(Qt::white));
    }
};

QTEST_GUILESS_MAIN(TestColorText)
#include "test_colortext.moc"
