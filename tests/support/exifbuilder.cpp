#include "exifbuilder.h"

#include <QFile>

ExifTestEntry exifText(quint16 tag, const QByteArray &text)
{
    return {tag, 2, quint32(text.size() + 1), text + '\0'};
}

QByteArray jpegWithApp1(const QByteArray &payload, int app0Extra)
{
    QByteArray jpeg("\xFF\xD8", 2);
    auto length = [](int n) { return QByteArray(1, char(n >> 8)) + char(n & 0xFF); };
    if (app0Extra >= 0) {
        // JFIF 1.01, no density unit, thumbnail 1 x n pixels of three bytes each.
        jpeg += "\xFF\xE0" + length(16 + app0Extra) + QByteArray("JFIF\0\1\1\0\0\1\0\1", 12)
            + char(app0Extra ? 1 : 0) + char(app0Extra / 3) + QByteArray(app0Extra, '\x7F');
    }
    return jpeg + "\xFF\xE1" + length(int(payload.size()) + 2) + payload + "\xFF\xD9";
}

QByteArray exifPayload(const QList<ExifTestEntry> &ifd0, const QList<ExifTestEntry> &sub,
                       bool motorola, int ifd0Gap)
{
    QByteArray out, data;
    auto put = [&](quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += char(v >> (8 * (motorola ? bytes - 1 - i : i)));
    };
    const quint32 ifd0At = 8 + ifd0Gap;
    const quint32 subAt = ifd0At + 6 + 12 * quint32(ifd0.size() + !sub.isEmpty());
    const quint32 dataAt = subAt + (sub.isEmpty() ? 0 : 6 + 12 * quint32(sub.size()));
    auto directory = [&](QList<ExifTestEntry> entries) {
        put(quint32(entries.size()), 2);
        for (const ExifTestEntry &e : entries) {
            put(e.tag, 2), put(e.type, 2), put(e.count, 4);
            if (e.data.isNull() && e.type == 3)
                put(e.value, 2), put(0, 2);
            else if (e.data.isNull())
                put(e.value, 4);
            else if (e.data.size() <= 4)
                out += e.data.leftJustified(4, '\0');
            else
                put(dataAt + quint32(data.size()), 4), data += e.data;
        }
        put(0, 4);
    };
    out = motorola ? "MM" : "II";
    put(42, 2), put(ifd0At, 4);
    out += QByteArray(ifd0Gap, '\xEE');
    directory(sub.isEmpty() ? ifd0 : ifd0 + QList<ExifTestEntry>{{0x8769, 4, 1, {}, subAt}});
    if (!sub.isEmpty())
        directory(sub);
    return QByteArray("Exif\0\0", 6) + out + data;
}

bool writeTestFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
