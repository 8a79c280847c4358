#include "model/settingsrow.h"
#include "model/stringgrid.h"
#include "errortext.h"
#include "storage/tablefile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

StringGrid settingsGrid()
{
    StringGrid g(Col::Count, 2);
    g.setRow(0, SettingsRow::captions());
    g.setRow(1, SettingsRow::defaults());
    return g;
}

// A grid whose every cell holds the text, so that cells a file does not reach stay visible.
StringGrid filled(int cols, const QString &text)
{
    StringGrid g(cols, 2);
    for (int r = 0; r < 2; ++r)
        g.setRow(r, QStringList(cols, text));
    return g;
}

// Rows joined by "|", cells by ",".
QString dump(const StringGrid &g)
{
    QStringList rows;
    for (int r = 0; r < g.rowCount(); ++r)
        rows.append(g.row(r).join(QLatin1Char(',')));
    return rows.join(QLatin1Char('|'));
}

QByteArray fileBytes(const QString &path, const QByteArray &write = QByteArray())
{
    QFile f(path);
    if (!write.isNull())
        return f.open(QIODevice::WriteOnly) && f.write(write) == write.size() ? write : QByteArray();
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestTableFile : public QObject
{
    Q_OBJECT

private slots:
    void saveThenLoadRestoresEveryCell()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("inkwerk.dat"));
        const StringGrid saved = settingsGrid();
        TableFile::SaveToFile(saved, path);
        // Two lines of 24 cells, each cell followed by a TAB, each line by CR LF.
        const QString text = SettingsRow::captions().join(u'\t') + "\t\r\n"
                             + SettingsRow::defaults().join(u'\t') + "\t\r\n";
        QCOMPARE(fileBytes(path), text.toLatin1());
        StringGrid g = filled(Col::Count, QStringLiteral("changed"));
        TableFile::LoadFromFile(g, path);
        QCOMPARE(dump(g), dump(saved));
    }

    void decodeRules_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("grid");
        QTest::newRow("zero bytes") << QByteArray() << ".,.,.,.|.,.,.,.";
        QTest::newRow("short line keeps the right cells")
            << QByteArray("a\tb\tc\td\t\r\ne\tf\t\r\n") << "a,b,c,d|e,f,.,.";
        QTest::newRow("LF, CR and CR LF end a line; three lines grow the rows")
            << QByteArray("a\t\nb\t\rc\t\r\n") << "a,.,.,.|b,.,.,.|c,,,";
        QTest::newRow("long line grows the columns")
            << QByteArray("1\t2\t3\t4\t5\t6\t\r\n") << "1,2,3,4,5,6|.,.,.,.,,";
        QTest::newRow("empty line keeps its row, no final line end")
            << QByteArray("a\t\r\rb\t") << "a,.,.,.|.,.,.,.|b,,,";
        QTest::newRow("two TABs make an empty cell") << QByteArray("a\t\tb\t") << "a,,b,.|.,.,.,.";
        QTest::newRow("letter and three TABs") << QByteArray("a\t\t\t") << "a,,,.|.,.,.,.";
        QTest::newRow("NUL ends the text") << QByteArray("a\t\0b\t\r\nc\t", 10) << "a,.,.,.|.,.,.,.";
        QTest::newRow("missing trailing TAB") << QByteArray("a\tb") << "a,b,.,.|.,.,.,.";
        QTest::newRow("missing TAB after an empty last cell") << QByteArray("a\t") << "a,.,.,.|.,.,.,.";
    }

    void decodeRules()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, grid);
        StringGrid g = filled(4, QStringLiteral("."));
        TableFile::decode(g, bytes);
        QCOMPARE(dump(g), grid);
    }

    void characterSets_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("umlauts in 1252") << "Möwe ä ß" << QByteArray("M\xF6we \xE4 \xDF\t\r\n");
        QTest::newRow("euro in 1252") << "5 €" << QByteArray("5 \x80\t\r\n");
        QTest::newRow("undefined 1252 byte") << "\u0081" << QByteArray("\x81\t\r\n");
        QTest::newRow("outside 1252 gives UTF-8")
            << "Łódź ä" << QByteArray("\xC5\x81\xC3\xB3""d\xC5\xBA \xC3\xA4\t\r\n");
        // Its 1252 bytes C3 A4 would read back as UTF-8 "ä".
        QTest::newRow("1252 that looks like UTF-8") << "Ã¤" << QByteArray("\xC3\x83\xC2\xA4\t\r\n");
    }

    void characterSets()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        StringGrid g(1, 1);
        g.setCell(0, 0, text);
        QCOMPARE(TableFile::encode(g), bytes);
        StringGrid back(1, 1);
        TableFile::decode(back, bytes);
        QCOMPARE(back.cell(0, 0), text);
    }

    void cellsAreCutToTheLongestKept()
    {
        const QString longText(TableFile::MaxCellLength + 10, QLatin1Char('a'));
        StringGrid g(2, 1);
        g.setCell(0, 0, longText);
        g.setCell(1, 0, QStringLiteral("b"));
        const QByteArray bytes = TableFile::encode(g);
        QCOMPARE(bytes, QByteArray(TableFile::MaxCellLength, 'a') + "\tb\t\r\n");
        StringGrid back(2, 1);
        TableFile::decode(back, longText.toLatin1() + "\tb\t");
        QCOMPARE(back.cell(0, 0), longText.left(TableFile::MaxCellLength));
        QCOMPARE(back.cell(1, 0), QStringLiteral("b"));
    }

    void failedSaveKeepsOldFile()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("gone/inkwerk.dat"));
        QCOMPARE(errorText([&] { TableFile::SaveToFile(settingsGrid(), missing); }),
                 QStringLiteral("Datei %1 kann nicht erstellt werden")
                     .arg(QDir::toNativeSeparators(missing)));
        QVERIFY(!QFile::exists(missing));
#ifdef Q_OS_UNIX
        // A file size limit makes the write fail even for root, who ignores permissions.
        const QString path = dir.filePath(QStringLiteral("inkwerk.dat"));
        QVERIFY(!fileBytes(path, "old\t\r\n").isEmpty());
        rlimit saved {};
        getrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = saved;
        tiny.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &tiny);
        const QString message = errorText([&] { TableFile::SaveToFile(settingsGrid(), path); });
        setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(message, QStringLiteral("Stream-Schreibfehler"));
        QCOMPARE(fileBytes(path), QByteArray("old\t\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"inkwerk.dat"});
#endif
    }

    void unreadableFileLeavesGrid()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("layout.ikl"));
        const QString message = QStringLiteral("Datei %1 kann nicht geöffnet werden")
                                    .arg(QDir::toNativeSeparators(path));
        const StringGrid before = filled(4, QStringLiteral("."));
        StringGrid g = before;
        QCOMPARE(errorText([&] { TableFile::LoadFromFile(g, path); }), message);
        fileBytes(path, QByteArray(1024 * 1024 + 1, '\t'));
        QCOMPARE(errorText([&] { TableFile::LoadFromFile(g, path); }), message);
        // 501 lines, one of them 4000 cells long, would ask for two million cells.
        QVERIFY(!errorText([&] { TableFile::decode(g, QByteArray(4000, '\t') + QByteArray(501, '\n')); })
                     .isEmpty());
        QCOMPARE(dump(g), dump(before));
    }
};

QTEST_GUILESS_MAIN(TestTableFile)
#include "test_tablefile.moc"
