// Layout files: the settings grid as a table file, opened over the current row.
#include "errortext.h"
#include "model/settingsrow.h"
#include "model/stringgrid.h"
#include "storage/layoutfile.h"
#include "storage/tablefile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

StringGrid settingsGrid(const QString &datei = QString(), const QString &suffix = QString())
{
    StringGrid g(Col::Count, 2);
    g.setRow(0, SettingsRow::captions());
    QStringList row = SettingsRow::defaults();
    row[Col::Datei] = datei;
    row[Col::Suffix] = suffix;
    g.setRow(1, row);
    return g;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One table file line: each cell followed by TAB, then CR LF.
QByteArray line(const QList<QByteArray> &cells)
{
    QByteArray out;
    for (const QByteArray &c : cells)
        out += c + '\t';
    return out + "\r\n";
}

} // namespace

class TestLayoutFile : public QObject
{
    Q_OBJECT

private slots:
    void savedLayoutOpensBackKeepingSourceCells();
    void windowsFileWithAccentsReadsUnchanged();
    void shortAndLongLinesChangeOnlyTheCellsTheyHold();
    void commandLineRowIsCutAndRotationMended();
    void unreadableAndUnwritableFilesChangeNothing();
    void hostileFilesNeverCrash();
    void nameWithoutExtensionGetsIkl();
    void grownGridIsSavedAsTheReaderTakesIt();
};

void TestLayoutFile::savedLayoutOpensBackKeepingSourceCells()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ikl");
    StringGrid a = settingsGrid("/fotos/a.jpg", "jpg");
    a.setCell(Col::ZTxt, 1, QStringLiteral("Geburtstag"));
    a.setCell(Col::FSize, 1, QStringLiteral("36"));
    a.setCell(Col::Rot, 1, QStringLiteral("2"));
    LayoutFile::save(a, path);
    // Exactly the table file of the grid: two lines of 24 TABs.
    const QByteArray bytes = readBytes(path);
    QCOMPARE(bytes.count('\t'), 48);
    QVERIFY(bytes.startsWith("Datei\tSuffix\tHG\t"));
    QVERIFY(bytes.endsWith("\t\r\n"));

    StringGrid b = settingsGrid("/fotos/b.png", "png");
    LayoutFile::open(b, path);
    QStringList expected = a.row(1);
    expected[Col::Datei] = QStringLiteral("/fotos/b.png");
    expected[Col::Suffix] = QStringLiteral("png");
    QCOMPARE(b.row(1), expected);
    QCOMPARE(b.row(0), SettingsRow::captions());

    // Opened over the grid it came from, nothing changes.
    StringGrid same = a;
    LayoutFile::open(same, path);
    QCOMPARE(same.row(1), a.row(1));
}

void TestLayoutFile::windowsFileWithAccentsReadsUnchanged()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("win.ikl");
    QList<QByteArray> header;
    for (const QString &c : SettingsRow::captions())
        header.append(c.toLatin1());
    QList<QByteArray> row;
    for (const QString &c : SettingsRow::defaults())
        row.append(c.toLatin1());
    row[Col::Datei] = "c:\\bilder\\m\xfcnchen.jpg";
    row[Col::ZTxt] = "Gr\xfc\xdf" "e aus K\xf6ln \x80";
    row[Col::AVerz] = "c:\\ausgabe\\b\xe4r";
    row[Col::FontN] = "Times New Roman";
    writeBytes(path, line(header) + line(row));

    StringGrid g = settingsGrid("/home/u/x.jpg", "jpg");
    LayoutFile::open(g, path);
    QCOMPARE(g.cell(Col::ZTxt, 1), QStringLiteral("Grüße aus Köln €"));
    QCOMPARE(g.cell(Col::AVerz, 1), QStringLiteral("c:\\ausgabe\\bär"));
    QCOMPARE(g.cell(Col::FontN, 1), QStringLiteral("Times New Roman"));
    QCOMPARE(g.cell(Col::Datei, 1), QStringLiteral("/home/u/x.jpg"));

    // Saved again, the accented cells go back as the same Windows-1252 bytes.
    const QString again = dir.filePath("again.ikl");
    LayoutFile::save(g, again);
    QVERIFY(readBytes(again).contains("Gr\xfc\xdf" "e aus K\xf6ln \x80\tc:\\ausgabe\\b\xe4r\t"));
}

void TestLayoutFile::shortAndLongLinesChangeOnlyTheCellsTheyHold()
{
    QTemporaryDir dir;
    const QString twenty = dir.filePath("twenty.ikl");
    QList<QByteArray> cells20(20, "x");
    writeBytes(twenty, line(cells20) + line(cells20));
    StringGrid g = settingsGrid("/a.jpg", "jpg");
    const StringGrid before = g;
    LayoutFile::open(g, twenty);
    QCOMPARE(g.colCount(), int(Col::Count));
    for (int c = 0; c < Col::Count; ++c) {
        QCOMPARE(g.cell(c, 0), c < 20 ? QStringLiteral("x") : before.cell(c, 0));
        const bool replaced = c >= 2 && c < 20;
        QCOMPARE(g.cell(c, 1), replaced ? QStringLiteral("x") : before.cell(c, 1));
    }

    // A line of 30 cells widens the grid; a third line adds a row.
    const QString thirty = dir.filePath("thirty.ikl");
    QList<QByteArray> cells30(30, "7");
    writeBytes(thirty, line(cells30) + line(cells30) + "drei\r\n");
    LayoutFile::open(g, thirty);
    QCOMPARE(g.colCount(), 30);
    QCOMPARE(g.rowCount(), 3);
    QCOMPARE(g.cell(29, 1), QStringLiteral("7"));
    QCOMPARE(g.cell(Col::Datei, 1), QStringLiteral("/a.jpg"));

    // An empty file changes nothing at all.
    const QString empty = dir.filePath("empty.ikl");
    writeBytes(empty, QByteArray());
    StringGrid h = settingsGrid("/a.jpg", "jpg");
    LayoutFile::open(h, empty);
    QCOMPARE(h.row(1), settingsGrid("/a.jpg", "jpg").row(1));
}

void TestLayoutFile::commandLineRowIsCutAndRotationMended()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("l.ikl");
    QStringList base = SettingsRow::defaults();
    base[Col::Datei] = QStringLiteral("/p.jpg");
    for (const char *rot : {"1", "2", "3", "9", ""}) {
        QList<QByteArray> row(30, "5");
        row[Col::Rot] = rot;
        writeBytes(path, line(QList<QByteArray>(30, "h")) + line(row));
        const QStringList r = LayoutFile::rowOver(base, path);
        QCOMPARE(r.size(), int(Col::Count));
        QCOMPARE(r.at(Col::Datei), QStringLiteral("/p.jpg"));
        QCOMPARE(r.at(Col::Rx), QStringLiteral("5"));
        const QString expected = QString::fromLatin1(rot) == "1" || QString::fromLatin1(rot) == "2"
            ? QString::fromLatin1(rot) : QStringLiteral("3");
        QCOMPARE(r.at(Col::Rot), expected);
    }
}

void TestLayoutFile::unreadableAndUnwritableFilesChangeNothing()
{
    QTemporaryDir dir;
    StringGrid g = settingsGrid("/a.jpg", "jpg");
    const StringGrid before = g;
    const QString missing = dir.filePath("fehlt.ikl");
    QCOMPARE(errorText([&] { LayoutFile::open(g, missing); }),
             QStringLiteral("Datei %1 kann nicht geöffnet werden").arg(missing));
    QCOMPARE(g.row(1), before.row(1));
    // A folder is no layout either.
    QVERIFY(!errorText([&] { LayoutFile::open(g, dir.path()); }).isEmpty());
    QCOMPARE(g.row(1), before.row(1));

    // A file where a folder would have to be: the layout cannot be created.
    const QString blocker = dir.filePath("blocker");
    writeBytes(blocker, "keep");
    const QString impossible = blocker + "/x.ikl";
    QCOMPARE(errorText([&] { LayoutFile::save(g, impossible); }),
             QStringLiteral("Datei %1 kann nicht erstellt werden").arg(impossible));
    QCOMPARE(readBytes(blocker), QByteArray("keep"));
}

void TestLayoutFile::hostileFilesNeverCrash()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("hostile.ikl");
    QRandomGenerator rng(7);
    QList<QByteArray> samples = {
        QByteArray("\xff\xd8\xff\xe0\0\x10JFIF\0", 11),           // a picture renamed
        QByteArray(100000, '\t'),                                  // one enormous line
        QByteArray(200000, '\n'),                                  // very many empty lines
        QByteArray("a\0b\tc\r\n", 7),                              // NUL ends the text
        QByteArray(2 * 1024 * 1024, 'x'),                          // larger than any layout
    };
    for (int i = 0; i < 20; ++i) {
        QByteArray b(rng.bounded(1, 4000), '\0');
        for (char &c : b)
            c = char(rng.bounded(256));
        samples.append(b);
    }
    for (const QByteArray &bytes : samples) {
        writeBytes(path, bytes);
        StringGrid g = settingsGrid("/a.jpg", "jpg");
        const QString error = errorText([&] { LayoutFile::open(g, path); });
        if (error.isEmpty())
            QCOMPARE(g.cell(Col::Datei, 1), QStringLiteral("/a.jpg"));
        else
            QCOMPARE(g.row(1), settingsGrid("/a.jpg", "jpg").row(1));
        QVERIFY(qint64(g.rowCount()) * g.colCount() <= (1 << 20));
    }
}

void TestLayoutFile::nameWithoutExtensionGetsIkl()
{
    QCOMPARE(LayoutFile::withExtension("/home/u/urlaub"), QStringLiteral("/home/u/urlaub.ikl"));
    QCOMPARE(LayoutFile::withExtension("/home/u.v/urlaub"), QStringLiteral("/home/u.v/urlaub.ikl"));
    QCOMPARE(LayoutFile::withExtension("/home/u/urlaub.ikl"), QStringLiteral("/home/u/urlaub.ikl"));
    QCOMPARE(LayoutFile::withExtension("/home/u/urlaub.txt"), QStringLiteral("/home/u/urlaub.txt"));
    QCOMPARE(LayoutFile::withExtension(QString()), QString());
    // A name ending in a dot has an empty extension: it takes "ikl", not ".ikl".
    QCOMPARE(LayoutFile::withExtension("/home/u/punkt."), QStringLiteral("/home/u/punkt.ikl"));
}

void TestLayoutFile::grownGridIsSavedAsTheReaderTakesIt()
{
    QTemporaryDir dir;
    // Files any reader accepts: many empty lines, one line of very many cells, and
    // cells longer than any path or extra text.
    const QByteArray manyLines(41000, '\n');
    QByteArray manyCells;
    for (int i = 0; i < 500000; ++i)
        manyCells += "x\t";
    const QByteArray longCells = line({"k", QByteArray(9000, 'k')}) + line({"d", "s", QByteArray(5000, '1')});
    for (const QByteArray &bytes : {manyLines, manyCells, longCells}) {
        const QString grown = dir.filePath("grown.ikl");
        writeBytes(grown, bytes);
        StringGrid g = settingsGrid("/a.jpg", "jpg");
        g.setCell(Col::ZTxt, 1, QStringLiteral("bleibt"));
        LayoutFile::open(g, grown);

        // Saved, it is the header row and the current settings row, whatever the grid
        // grew to, and it opens again with the same cells.
        const QString saved = dir.filePath("saved.ikl");
        LayoutFile::save(g, saved);
        const QByteArray written = readBytes(saved);
        QCOMPARE(written.count('\t'), 48);
        QCOMPARE(written.count('\n'), 2);
        StringGrid back = settingsGrid();
        TableFile::LoadFromFile(back, saved);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < Col::Count; ++c)
                QCOMPARE(back.cell(c, r), g.cell(c, r).left(TableFile::MaxCellLength));
        QCOMPARE(back.cell(Col::ZTxt, 1), QStringLiteral("bleibt"));
    }
}

QTEST_GUILESS_MAIN(TestLayoutFile)
#include "test_layoutfile.moc"
