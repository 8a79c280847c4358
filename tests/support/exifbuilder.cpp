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

namespace {

struct TiffOut {
    bool mm;
    QByteArray b;
    void put(quint32 v, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            b += char(v >> (8 * (mm ? bytes - 1 - i : i)));
    }
    void set(int at, quint32 v, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            b[at + i] = char(v >> (8 * (mm ? bytes - 1 - i : i)));
    }
    quint32 get(int at, int bytes) const
    {
        quint32 v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= quint32(quint8(b[at + i])) << (8 * (mm ? bytes - 1 - i : i));
        return v;
    }
    // Writes a directory of entries (tag, type, count, value or data) followed by the
    // data of its long values; returns the positions of the entries' value fields.
    QList<int> directory(const QList<ExifTestEntry> &entries)
    {
        QList<int> fields;
        const int dataAt = int(b.size()) + 2 + 12 * int(entries.size()) + 4;
        QByteArray data;
        put(quint32(entries.size()), 2);
        for (const ExifTestEntry &e : entries) {
            put(e.tag, 2), put(e.type, 2), put(e.count, 4);
            fields << int(b.size());
            if (e.data.isNull() && e.type == 3)
                put(e.value, 2), put(0, 2);
            else if (e.data.isNull())
                put(e.value, 4);
            else if (e.data.size() <= 4)
                b += e.data.leftJustified(4, '\0');
            else {
                put(quint32(dataAt + data.size()), 4);
                data += e.data;
                if (data.size() % 2)
                    data += '\0';
            }
        }
        put(0, 4);
        b += data;
        return fields;
    }
};

} // namespace

CameraExif cameraExif(bool motorola, const QByteArray &thumbnail, quint16 orientation, int width,
                      int height, const QByteArray &dateTimeOriginal)
{
    CameraExif c;
    TiffOut t{motorola, motorola ? "MM" : "II"};
    t.put(42, 2), t.put(8, 4);
    const QList<int> ifd0 = t.directory({exifText(0x010F, "TestCam"), exifText(0x0110, "TC-1"),
                                         {0x0112, 3, 1, {}, orientation}, {0x8769, 4, 1, {}, 0}});
    const int nextOfIfd0 = ifd0.last() + 4;
    t.set(ifd0[3], quint32(t.b.size()), 4);
    c.makerNote = QByteArray("MAKERNOTE-\x01\x02\x03\x04\x05\x06", 16);
    const QList<int> exif = t.directory({exifText(0x9003, dateTimeOriginal),
                                         exifText(0x9004, dateTimeOriginal),
                                         {0x927C, 7, 16, c.makerNote},
                                         {0xA002, 3, 1, {}, quint32(width)},
                                         {0xA003, 3, 1, {}, quint32(height)}});
    c.makerNoteAt = int(t.get(exif[2], 4));
    t.set(nextOfIfd0, quint32(t.b.size()), 4);
    const QList<int> ifd1 = t.directory({{0x0103, 3, 1, {}, 6}, {0x0201, 4, 1, {}, 0},
                                         {0x0202, 4, 1, {}, quint32(thumbnail.size())}});
    t.set(ifd1[1], quint32(t.b.size()), 4);
    t.b += thumbnail;
    c.tiff = t.b;
    return c;
}

QByteArray jpegWithSegments(const QByteArray &jpeg, const QList<QPair<quint8, QByteArray>> &segments)
{
    QByteArray inserted;
    for (const auto &s : segments) {
        const int n = int(s.second.size()) + 2;
        inserted += char(0xFF);
        inserted += char(s.first);
        inserted += char(n >> 8);
        inserted += char(n & 0xFF);
        inserted += s.second;
    }
    return jpeg.left(2) + inserted + jpeg.mid(2);
}

QByteArray exifThumbnail(const QByteArray &tiff)
{
    if (tiff.size() < 8)
        return {};
    TiffOut t{tiff.startsWith("MM"), tiff};
    auto inside = [&](qint64 at, qint64 n) { return at >= 0 && n >= 0 && at + n <= tiff.size(); };
    const quint32 ifd0 = t.get(4, 4);
    if (!inside(ifd0, 2))
        return {};
    const qint64 nextAt = ifd0 + 2 + 12 * qint64(t.get(int(ifd0), 2));
    if (!inside(nextAt, 4))
        return {};
    const quint32 ifd1 = t.get(int(nextAt), 4);
    if (ifd1 == 0 || !inside(ifd1, 2))
        return {};
    quint32 offset = 0, length = 0;
    const int count = int(t.get(int(ifd1), 2));
    for (int i = 0; i < count && inside(ifd1 + 2 + 12 * i, 12); ++i) {
        const int e = int(ifd1) + 2 + 12 * i;
        if (t.get(e, 2) == 0x0201)
            offset = t.get(e + 8, 4);
        if (t.get(e, 2) == 0x0202)
            length = t.get(e + 8, 4);
    }
    return inside(offset, length) ? tiff.mid(offset, length) : QByteArray();
}

qint64 exifNumber(const QByteArray &tiff, quint16 tag)
{
    if (tiff.size() < 8)
        return -1;
    TiffOut t{tiff.startsWith("MM"), tiff};
    auto inside = [&](qint64 at, qint64 n) { return at >= 0 && n >= 0 && at + n <= tiff.size(); };
    QList<quint32> directories{t.get(4, 4)};
    for (int d = 0; d < directories.size() && d < 4; ++d) {
        const qint64 at = directories[d];
        if (!inside(at, 2))
            continue;
        const int count = int(t.get(int(at), 2));
        for (int i = 0; i < count && inside(at + 2 + 12 * i, 12); ++i) {
            const int e = int(at) + 2 + 12 * i;
            const quint32 type = t.get(e + 2, 2);
            const quint32 value = type == 3 ? t.get(e + 8, 2) : t.get(e + 8, 4);
            if (t.get(e, 2) == tag && (type == 3 || type == 4))
                return value;
            if (t.get(e, 2) == 0x8769)
                directories << value;
        }
        if (d == 0 && inside(at + 2 + 12 * count, 4) && t.get(int(at) + 2 + 12 * count, 4))
            directories << t.get(int(at) + 2 + 12 * count, 4);
    }
    return -1;
}
