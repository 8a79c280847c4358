#include "imaging/metadata/exifreader.h"

#include "model/inkwerkerror.h"
#include "model/wallclock.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include <cstring>

namespace {

constexpr quint16 TagImageDescription = 0x010E;
constexpr quint16 TagMake = 0x010F;
constexpr quint16 TagModel = 0x0110;
constexpr quint16 TagOrientation = 0x0112;
constexpr quint16 TagDateTime = 0x0132;
constexpr quint16 TagRights = 0x8298;
constexpr quint16 TagExifIfd = 0x8769;
constexpr quint16 TagDateTimeOriginal = 0x9003;
constexpr quint16 TagDateTimeDigitized = 0x9004;
constexpr quint16 TagUserComment = 0x9286;

constexpr quint16 TypeShort = 3;
constexpr int EntrySize = 12;
// "Exif" 0 0 between the APP1 length field and the TIFF header.
constexpr int IdentifierSize = 6;
// JFIF and JFXX extension blocks may both stand before the APP1 block; more than a few
// APP0 blocks in a row is no camera file.
constexpr int MaxApp0Blocks = 8;
// Marker segments looked at before the start of scan: an ICC profile split into its
// largest number of chunks and every other block of a real file fit many times over.
constexpr int MaxSegments = 4096;

QString readFailure()
{
    return QStringLiteral("Stream-Lesefehler");
}

// Reads exactly size bytes at pos; a short file or a failing read ends the scan.
QByteArray readExactly(QFile &file, qint64 pos, qint64 size)
{
    if (!file.seek(pos))
        throw InkwerkError(readFailure());
    QByteArray bytes = file.read(size);
    if (bytes.size() != size)
        throw InkwerkError(readFailure());
    return bytes;
}

quint16 bigEndian16(const QByteArray &b, int pos)
{
    return quint16((quint8(b[pos]) << 8) | quint8(b[pos + 1]));
}

// Reads size bytes at pos, or nothing when the file ends before.
QByteArray readIfPresent(QFile &file, qint64 pos, qint64 size)
{
    if (!file.seek(pos))
        return QByteArray();
    QByteArray bytes = file.read(size);
    return bytes.size() == size ? bytes : QByteArray();
}

// The position of the APP1 marker right after the start of image and any APP0 blocks,
// or -1. APP0 blocks are skipped by their own length, so a JFIF block with a thumbnail is
// no obstacle. A file too short for these reads fails the scan.
qint64 app1InPlace(QFile &file)
{
    qint64 pos = 2;
    QByteArray head = readExactly(file, pos, 4);
    for (int i = 0; i < MaxApp0Blocks && quint8(head[0]) == 0xFF && quint8(head[1]) == 0xE0;
         ++i) {
        const quint16 length = bigEndian16(head, 2);
        if (length < 2)
            return -1;
        pos += 2 + length;
        head = readExactly(file, pos, 4);
    }
    return quint8(head[0]) == 0xFF && quint8(head[1]) == 0xE1 ? pos : -1;
}

// The position of the first APP1 marker whose block is named "Exif" 0 0, walking the
// marker segments from the start of image to the start of scan by their lengths; -1 when
// there is none, the walk leaves the file or meets something that is no marker.
qint64 findExifSegment(QFile &file)
{
    static const QByteArray exifName("Exif\0\0", IdentifierSize);
    qint64 pos = 2;
    for (int n = 0; n < MaxSegments; ++n) {
        const QByteArray marker = readIfPresent(file, pos, 2);
        if (marker.isEmpty() || quint8(marker[0]) != 0xFF)
            return -1;
        const quint8 code = quint8(marker[1]);
        if (code == 0xFF) {   // a fill byte before the marker
            ++pos;
            continue;
        }
        if (code == 0xDA || code == 0xD9 || code == 0x00 || code == 0xD8)
            return -1;   // start of scan, end of image, or no marker at all
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            pos += 2;    // markers that carry no length
            continue;
        }
        const QByteArray lengthBytes = readIfPresent(file, pos + 2, 2);
        if (lengthBytes.isEmpty())
            return -1;
        const quint16 length = bigEndian16(lengthBytes, 0);
        if (length < 2)
            return -1;
        if (code == 0xE1 && length >= 2 + IdentifierSize
            && readIfPresent(file, pos + 4, IdentifierSize) == exifName)
            return pos;
        pos += 2 + length;
    }
    return -1;
}

// Bounded reads from the TIFF part of the block in its own byte order. Callers check
// the range first; a read out of range gives 0 as a second line of defence.
class TiffView
{
public:
    TiffView(const QByteArray &bytes, bool motorola) : m_bytes(bytes), m_motorola(motorola) {}

    qint64 size() const { return m_bytes.size(); }
    bool holds(qint64 pos, qint64 length) const
    {
        return pos >= 0 && length >= 0 && pos <= size() && length <= size() - pos;
    }
    quint16 u16(qint64 pos) const
    {
        if (!holds(pos, 2))
            return 0;
        const quint16 a = quint8(m_bytes[pos]), b = quint8(m_bytes[pos + 1]);
        return m_motorola ? quint16((a << 8) | b) : quint16((b << 8) | a);
    }
    quint32 u32(qint64 pos) const
    {
        if (!holds(pos, 4))
            return 0;
        const quint32 hi = u16(pos), lo = u16(pos + 2);
        return m_motorola ? (hi << 16) | lo : (lo << 16) | hi;
    }

private:
    const QByteArray &m_bytes;
    bool m_motorola;
};

struct Entry {
    quint16 tag;
    quint16 type;
    quint32 count;
    qint64 valuePos; // position of the 4-byte value field in the TIFF part
};

// The entries of the directory at offset, as many as it says and as the block holds.
QList<Entry> readDirectory(const TiffView &tiff, quint32 offset)
{
    QList<Entry> entries;
    if (!tiff.holds(offset, 2))
        return entries;
    const qint64 available = (tiff.size() - offset - 2) / EntrySize;
    const qint64 count = qMin<qint64>(tiff.u16(offset), available);
    entries.reserve(count);
    for (qint64 i = 0; i < count; ++i) {
        const qint64 pos = offset + 2 + i * EntrySize;
        entries.append({tiff.u16(pos), tiff.u16(pos + 2), tiff.u32(pos + 4), pos + 8});
    }
    return entries;
}

// A numeric value inside the entry: a SHORT sits in the first two bytes of the field,
// which matters in Motorola order.
quint32 numericValue(const TiffView &tiff, const Entry &e)
{
    return e.type == TypeShort ? tiff.u16(e.valuePos) : tiff.u32(e.valuePos);
}

// Date fields: day.month.year with an optional hours:minutes[:seconds] after blanks.
bool parseGermanDateTime(const QString &text, QDateTime *result)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.size() > 2)
        return false;
    auto numbers = [](const QString &s, QChar sep, int minParts, QList<int> *out) {
        const QStringList fields = s.split(sep);
        if (fields.size() < minParts || fields.size() > 3)
            return false;
        for (const QString &f : fields) {
            if (f.isEmpty() || f.size() > 4)
                return false;
            int v = 0;
            for (QChar c : f) {
                if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                    return false;
                v = v * 10 + (c.unicode() - '0');
            }
            out->append(v);
        }
        return true;
    };
    QList<int> d, t;
    if (!numbers(parts[0], QLatin1Char('.'), 3, &d))
        return false;
    if (parts.size() == 2 && !numbers(parts[1], QLatin1Char(':'), 2, &t))
        return false;
    while (t.size() < 3)
        t.append(0);
    const QDate date(d[2], d[1], d[0]);
    const QTime time(t[0], t[1], t[2]);
    if (!date.isValid() || !time.isValid())
        return false;
    // The camera's digits stay as written, also in the hour the clocks skip or repeat.
    *result = wallClockDateTime(date, time);
    return result->isValid();
}

} // namespace

TExif::TExif()
{
    Clear();
}

void TExif::Clear()
{
    Valid = false;
    ImageDescription.clear();
    Make.clear();
    Model.clear();
    Orientation = 1;
    OrientationText = orientationText(1);
    RightsText.clear();
    DateTime.clear();
    DateTimeOriginal.clear();
    DateTimeDigitized.clear();
    UserComment.clear();
    ExifIfdOffset = 0;
    m_tiff.clear();
}

QString TExif::orientationText(uint32_t value)
{
    switch (value) {
    case 1: return QStringLiteral("Normal");
    case 2: return QStringLiteral("Mirrored");
    case 3: return QStringLiteral("Rotated 180");
    case 4: return QStringLiteral("Rotated 180, mirrored");
    case 5: return QStringLiteral("Rotated 90 left, mirrored");
    case 6: return QStringLiteral("Rotated 90 right");
    case 7: return QStringLiteral("Rotated 90 right, mirrored");
    case 8: return QStringLiteral("Rotated 90 left");
    default: return QStringLiteral("Unknown");
    }
}

void TExif::ReadFromFile(const QString &path)
{
    // A vanished file keeps the previous results; the caller notices it elsewhere.
    if (!QFileInfo(path).isFile())
        return;
    Clear();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw InkwerkError(QStringLiteral("Datei %1 kann nicht geöffnet werden")
                               .arg(QDir::toNativeSeparators(path)));
    }
    const QByteArray soi = readExactly(file, 0, 2);
    if (quint8(soi[0]) != 0xFF || quint8(soi[1]) != 0xD8)
        return;

    // The place where most files keep the block decides whether a short file fails the
    // scan; a block named "Exif" elsewhere before the picture data is preferred to it.
    const qint64 inPlace = app1InPlace(file);
    qint64 pos = findExifSegment(file);
    if (pos < 0)
        pos = inPlace;
    if (pos < 0)
        return;
    Valid = true;

    // The block is read once, bounded by its length field (at most 64 KiB) and by the
    // file; everything after this works on that copy only.
    const quint16 length = bigEndian16(readExactly(file, pos, 4), 2);
    const qint64 payload = qMin<qint64>(qMax(0, length - 2), file.size() - (pos + 4));
    if (payload <= IdentifierSize)
        return;
    m_tiff = readExactly(file, pos + 4 + IdentifierSize, payload - IdentifierSize);
    file.close();

    // The identifier of the block in place is not compared: only the byte-order mark
    // tells whether it holds TIFF data (an XMP block has none and yields no tags).
    if (m_tiff.size() < 8)
        return;
    const bool intel = m_tiff.startsWith("II");
    if (!intel && !m_tiff.startsWith("MM"))
        return;
    const TiffView tiff(m_tiff, !intel);

    // A text of at most four bytes is stored inside the entry itself.
    auto text = [&](const Entry &e) {
        return e.count <= 4 ? ReadTextAt(quint32(e.valuePos), e.count)
                            : ReadTextAt(tiff.u32(e.valuePos), e.count);
    };
    const quint32 ifd0 = tiff.u32(4);
    for (const Entry &e : readDirectory(tiff, ifd0)) {
        switch (e.tag) {
        case TagImageDescription: ImageDescription = text(e); break;
        case TagMake: Make = text(e); break;
        case TagModel: Model = text(e); break;
        case TagDateTime: DateTime = text(e); break;
        case TagRights: RightsText = text(e); break;
        case TagExifIfd: ExifIfdOffset = numericValue(tiff, e); break;
        case TagOrientation: {
            const quint32 v = numericValue(tiff, e);
            Orientation = uint8_t(v & 0xFF);
            OrientationText = orientationText(v);
            break;
        }
        default: break;
        }
    }

    // Only the date tags are taken from the sub-directory, so a pointer loop cannot
    // lead any further; a pointer back at IFD0 is plainly wrong and ignored.
    if (ExifIfdOffset == 0 || ExifIfdOffset == ifd0)
        return;
    for (const Entry &e : readDirectory(tiff, ExifIfdOffset)) {
        switch (e.tag) {
        case TagDateTimeOriginal: DateTimeOriginal = text(e); break;
        case TagDateTimeDigitized: DateTimeDigitized = text(e); break;
        case TagUserComment: UserComment = text(e); break;
        default: break;
        }
    }
}

QString TExif::ReadTextAt(uint32_t offset, uint32_t count) const
{
    // Up to count bytes, ending at the first zero byte, which is not kept. Cameras often
    // count a 19-character date as 19 without a final zero, so the last byte counts too.
    // A text that runs past the end of the block before it ends is unreadable and empty;
    // only its last byte (in the standard layout the final zero) may be missing.
    if (count == 0)
        return QString();
    const qint64 want = count;
    const qint64 size = m_tiff.size();
    if (qint64(offset) >= size)
        return QString();
    const qint64 available = size - offset;
    const char *begin = m_tiff.constData() + offset;
    const qint64 scan = qMin(want, available);
    const char *zero = static_cast<const char *>(memchr(begin, 0, size_t(scan)));
    if (zero)
        return QString::fromLatin1(begin, zero - begin);
    if (want - 1 > available)
        return QString();
    return QString::fromLatin1(begin, qMin(want, available));
}

QDateTime exifDateTimeToDateTime(const QString &text)
{
    if (text.size() < 10)
        throw InkwerkError(QStringLiteral("'%1' ist kein gültiges Datum und Uhrzeit").arg(text));
    // YYYY:MM:DD to DD.MM.YYYY by position; the characters themselves are not checked.
    const QString german = text.mid(8, 2) + QLatin1Char('.') + text.mid(5, 2)
        + QLatin1Char('.') + text.left(4) + text.mid(10);
    QDateTime result;
    if (!parseGermanDateTime(german, &result))
        throw InkwerkError(QStringLiteral("'%1' ist kein gültiges Datum und Uhrzeit").arg(german));
    return result;
}
