#include "errortext.h"
#include "storage/configlist.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestConfigList : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

    static QByteArray bytesOf(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void loadFlagsAndWriteBack_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("exif");
        QTest::addColumn<bool>("png");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<bool>("lossless");
        const QByteArray head("80\r\n20\r\n1\r\n0\r\n0\r\n700\r\n500\r\n");
        QTest::newRow("no file") << QByteArray() << true << false
                                 << QByteArray("80\r\n20\r\n0\r\n19\r\n33\r\n714\r\n577\r\n1\r\n")
                                 << false;
        QTest::newRow("ninth line 1 is lossless stamping")
            << head + "1\r\n1\r\n" << true << true << head + "1\r\n1\r\n" << true;
        QTest::newRow("seven lines gain 1") << head << true << true << head + "1\r\n" << false;
        QTest::newRow("0 is off") << head + "0\r\n" << false << true << head + "0\r\n" << false;
        QTest::newRow("empty is off, LF ends a line") << head + "\n" << false << true << head + "\r\n" << false;
        QTest::newRow("other text is off, CR ends a line") << head + "x\r" << false << true << head + "x\r\n" << false;
        QTest::newRow("extra lines kept") << head + "1\r\nmore\r\n\r\n\xE4\r\n" << true << true
                                          << head + "1\r\nmore\r\n\r\n\xE4\r\n" << false;
    }

    void loadFlagsAndWriteBack()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, exif);
        QFETCH(bool, png);
        QFETCH(QByteArray, written);
        ConfigList list;
        if (bytes.isNull()) {
            list.setMissingFileDefaults(QRect(19, 33, 714, 577));
        } else {
            QFile f(path("config.dat"));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
            f.close();
            list.loadFromFile(f.fileName());
        }
        list.completeSevenLines();
        list.validate();
        QCOMPARE(list.exifPriority(), exif);
        QCOMPARE(list.pngInterlaced(), png);
        QFETCH(bool, lossless);
        QCOMPARE(list.losslessJpeg(), lossless);
        list.saveToFile(path("out.dat"));
        QCOMPARE(bytesOf(path("out.dat")), written);
    }

    void laterLinesAndTheirDefaults()
    {
        const QStringList eight = {"80", "20", "0", "19", "33", "714", "577", "1"};
        ConfigList list;
        list.setLines(eight + QStringList{"1"});
        // Nine lines, as written before the later settings existed: pictures are put
        // upright, and no correction applies.
        QVERIFY(list.uprightByExif());
        QVERIFY(list.timeShift().isZero());

        // A correction on a shorter list fills the lines before it with what they meant
        // while missing, so that nothing changes by writing it.
        list.setLines(eight);
        list.setTimeShift(*TimeShift::parse("-1 00:00"));
        QCOMPARE(list.lines(), eight + QStringList({"0", "1", "-1 00:00:00"}));
        QVERIFY(!list.losslessJpeg());
        QVERIFY(list.uprightByExif());
        list.validate();
        QCOMPARE(list.timeShift().seconds(), qint64(-86400));

        list.setFlag(ConfigList::UprightByExif, false);
        QVERIFY(!list.uprightByExif());
        list.saveToFile(path("later.dat"));
        ConfigList back;
        back.loadFromFile(path("later.dat"));
        QCOMPARE(back.lines(), list.lines());
        QCOMPARE(back.timeShift(), list.timeShift());
        QCOMPARE(back.takeMalformedTimeShift(), std::nullopt);

        // A malformed correction is no correction; taking it out leaves the stored form
        // of none and names what was there.
        back.setLine(ConfigList::TimeCorrection, QStringLiteral("+25:00"));
        QVERIFY(back.timeShift().isZero());
        QCOMPARE(back.takeMalformedTimeShift(), std::optional<QString>(QStringLiteral("+25:00")));
        QCOMPARE(back.line(ConfigList::TimeCorrection), QStringLiteral("+0 00:00:00"));
        QCOMPARE(back.takeMalformedTimeShift(), std::nullopt);
    }

    void unusableListThrows_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("message");
        QTest::newRow("three lines") << QStringList{"80", "20", "0"}
                                     << "Listenindex überschreitet das Maximum (7)";
        QTest::newRow("width not an integer")
            << QStringList{"80", "20", "0", "1", "2", "breit", "4", "1"}
            << "'breit' ist kein gültiger Integerwert";
        QTest::newRow("empty quality") << QStringList{"", "20", "0", "1", "2", "3", "4", "1"}
                                       << "'' ist kein gültiger Integerwert";
        QTest::newRow("flags need no integer")
            << QStringList{"80", "20", "ja", "1", "2", "3", "4", "nein"} << QString();
        // A hand-written correction is taken apart from the lines a start needs.
        QTest::newRow("malformed time correction")
            << QStringList{"80", "20", "0", "1", "2", "3", "4", "1", "0", "1", "+25:00"} << QString();
    }

    void unusableListThrows()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, message);
        ConfigList list;
        list.setLines(lines);
        QCOMPARE(errorText([&] { list.validate(); }), message);
    }
};

QTEST_GUILESS_MAIN(TestConfigList)
#include "test_configlist.moc"
