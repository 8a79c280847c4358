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
