#include "model/settingsrow.h"

#include "model/inkwerkerror.h"

namespace SettingsRow {

const QStringList &captions()
{
    static const QStringList c = {
        QStringLiteral("Datei"), QStringLiteral("Suffix"), QStringLiteral("HG"),
        QStringLiteral("Sch"), QStringLiteral("SchGr"), QStringLiteral("DT"),
        QStringLiteral("DArt"), QStringLiteral("Rot"), QStringLiteral("ZT"),
        QStringLiteral("ZTxt"), QStringLiteral("AVerz"), QStringLiteral("TimeDN"),
        QStringLiteral("TimeDat"), QStringLiteral("Rx"), QStringLiteral("Ry"),
        QStringLiteral("Pos"), QStringLiteral("FontN"), QStringLiteral("FSize"),
        QStringLiteral("FStyle"), QStringLiteral("HGColor"), QStringLiteral("SchColor"),
        QStringLiteral("TxtColor"), QStringLiteral("Miniat."), QStringLiteral("StpV"),
    };
    return c;
}

QString defaultExtraText()
{
    return QStringLiteral("Urlaub");
}

const QStringList &defaults()
{
    // One table of every built-in default, in column order.
    static const QStringList d = {
        QString(),                 // Datei
        QString(),                 // Suffix
        QString(),                 // HG: background box off
        QStringLiteral("1"),       // Sch: shadow on
        QStringLiteral("3"),       // SchGr
        QStringLiteral("1"),       // DT: date
        QStringLiteral("1"),       // DArt: image timestamp
        QStringLiteral("3"),       // Rot: none
        QStringLiteral("1"),       // ZT: extra text on
        defaultExtraText(),        // ZTxt
        QString(),                 // AVerz: source folder
        QStringLiteral("1"),       // TimeDN
        QStringLiteral("1"),       // TimeDat
        QStringLiteral("10"),      // Rx
        QStringLiteral("10"),      // Ry
        QStringLiteral("1"),       // Pos: top left
        QStringLiteral("Arial"),   // FontN
        QStringLiteral("20"),      // FSize
        QStringLiteral("100"),     // FStyle: bold
        QStringLiteral("clAqua"),  // HGColor
        QStringLiteral("clBlack"), // SchColor
        QStringLiteral("clWhite"), // TxtColor
        QString(),                 // Miniat.
        QStringLiteral("1"),       // StpV: preview on
    };
    return d;
}

QString notAnIntegerMessage(const QString &text)
{
    return QStringLiteral("'%1' ist kein gültiger Integerwert").arg(text);
}

int toInt(const QString &cell)
{
    // Decimal with optional sign, or hexadecimal after "$", surrounding blanks allowed,
    // as the platform's integer conversion accepts.
    const QString t = cell.trimmed();
    bool ok = false;
    int value = 0;
    if (t.startsWith(QLatin1Char('$'))) {
        const qlonglong v = t.mid(1).toLongLong(&ok, 16);
        ok = ok && t.size() > 1 && v >= 0 && v <= 0xFFFFFFFFLL;
        value = int(quint32(v));
    } else {
        value = t.toInt(&ok, 10);
    }
    if (!ok)
        throw InkwerkError(notAnIntegerMessage(cell));
    return value;
}

bool styleFlag(const QString &fstyle, int index)
{
    return index < fstyle.size() && fstyle.at(index) == QLatin1Char('1');
}

QString withStyleFlag(const QString &fstyle, int index, bool on)
{
    QString s = fstyle;
    while (s.size() < 3)
        s.append(QLatin1Char('0'));
    s[index] = on ? QLatin1Char('1') : QLatin1Char('0');
    return s;
}

} // namespace SettingsRow
