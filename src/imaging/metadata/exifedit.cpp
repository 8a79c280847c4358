#include "imaging/metadata/exifedit.h"

#include "imaging/codecs/jpegcodec.h"

#include <QList>
#include <QSet>

#include <algorithm>
#include <functional>
#include <optional>

namespace {

constexpr quint16 TagOrientation = 0x0112;
constexpr quint16 TagExifIfd = 0x8769;
constexpr quint16 TagGpsIfd = 0x8825;
constexpr quint16 TagInteropIfd = 0xA005;
constexpr quint16 TagPixelX = 0xA002;
constexpr quint16 TagPixelY = 0xA003;
constexpr quint16 TagThumbOffset = 0x0201;
constexpr quint16 TagThumbLength = 0x0202;
constexpr quint16 TypeShort = 3;
constexpr quint16 TypeLong = 4;
constexpr int kEntrySize = 12;
// The TIFF block follows "Exif\0\0" in a segment of at most 65533 bytes.
constexpr qsizetype kMaxBlock = 65533 - 6;

int typeSize(quint16 type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
    }
}

bool isPointer(quint16 tag) { return tag == TagExifIfd || tag == TagGpsIfd || tag == TagInteropIfd; }

// Reads and writes numbers in the block's byte order.
class Block
{
public:
    explicit Block(QByteArray &bytes) : b(bytes), le(bytes.startsWith("II")) {}
    static bool hasHeader(const QByteArray &t)
    {
        return t.size() >= 8
            && ((t.startsWith("II") && t[2] == 42 && t[3] == 0)
                || (t.startsWith("MM") && t[2] == 0 && t[3] == 42));
    }
    bool fits(qint64 offset, qint64 size) const { return offset >= 0 && size >= 0 && offset + size <= b.size(); }
    quint16 u16(qint64 o) const
    {
        const auto *p = reinterpret_cast<const uchar *>(b.constData() + o);
        return le ? quint16(p[0] | p[1] << 8) : quint16(p[0] << 8 | p[1]);
    }
    quint32 u32(qint64 o) const
    {
        const auto *p = reinterpret_cast<const uchar *>(b.constData() + o);
        return le ? quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24
                  : quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
    }
    void put16(qint64 o, quint16 v)
    {
        b[o] = char(le ? v : v >> 8);
        b[o + 1] = char(le ? v >> 8 : v);
    }
    void put32(qint64 o, quint32 v)
    {
        for (int i = 0; i < 4; ++i)
            b[o + i] = char(v >> (le ? 8 * i : 8 * (3 - i)));
    }
    QByteArray &b;
    bool le;
};

struct Entry {
    quint16 tag = 0;
    quint16 type = 0;
    quint32 count = 0;
    qint64 at = 0;        // position of the entry
    qint64 dataAt = 0;    // where its value lies (the entry's own field for 4 bytes or less)
    qint64 size = 0;
    bool valid = false;
    qint64 field() const { return at + 8; }
};

struct Ifd {
    qint64 at = 0;
    QList<Entry> entries;
    quint32 next = 0;
    bool whole = true;    // every entry and the next-directory field could be read

    const Entry *find(quint16 tag) const
    {
        for (const Entry &e : entries)
            if (e.tag == tag && e.valid)
                return &e;
        return nullptr;
    }
    qint64 end() const { return at + 2 + qint64(entries.size()) * kEntrySize + 4; }
};

std::optional<Ifd> readIfd(const Block &t, qint64 at)
{
    if (at < 8 || !t.fits(at, 2))
        return std::nullopt;
    Ifd ifd;
    ifd.at = at;
    const int count = t.u16(at);
    for (int i = 0; i < count; ++i) {
        const qint64 e = at + 2 + qint64(i) * kEntrySize;
        if (!t.fits(e, kEntrySize)) {
            ifd.whole = false;
            return ifd;
        }
        Entry entry;
        entry.at = e;
        entry.tag = t.u16(e);
        entry.type = t.u16(e + 2);
        entry.count = t.u32(e + 4);
        entry.size = qint64(typeSize(entry.type)) * entry.count;
        entry.dataAt = entry.size <= 4 ? e + 8 : qint64(t.u32(e + 8));
        entry.valid = typeSize(entry.type) > 0 && t.fits(entry.dataAt, entry.size);
        ifd.whole = ifd.whole && entry.valid;
        ifd.entries.append(entry);
    }
    const qint64 nextAt = at + 2 + qint64(count) * kEntrySize;
    if (t.fits(nextAt, 4))
        ifd.next = t.u32(nextAt);
    else
        ifd.whole = false;
    return ifd;
}

// A thumbnail's offset or length: one SHORT or LONG; anything else is no usable entry.
bool isNumber(const Entry *e)
{
    return e && e->count == 1 && (e->type == TypeShort || e->type == TypeLong);
}

quint32 numberValue(const Block &t, const Entry &e)
{
    return e.type == TypeShort ? t.u16(e.field()) : t.u32(e.field());
}

quint32 pointerValue(const Block &t, const Entry &e)
{
    return (e.type == TypeLong || e.type == 13) && e.count == 1 ? t.u32(e.field()) : 0;
}

// The directories of a block: IFD0, its EXIF, GPS and interoperability directories, and
// IFD1 (the thumbnail's).
struct Layout {
    std::optional<Ifd> ifd0, exif, gps, interop, ifd1;
    bool sound = false;
};

Layout readLayout(const Block &t)
{
    Layout l;
    if (!Block::hasHeader(t.b))
        return l;
    l.ifd0 = readIfd(t, t.u32(4));
    if (!l.ifd0)
        return l;
    bool sound = l.ifd0->whole;
    QSet<qint64> seen{l.ifd0->at};
    auto child = [&](const Ifd &parent, quint16 tag) -> std::optional<Ifd> {
        const Entry *e = nullptr;
        for (const Entry &c : parent.entries)
            if (c.tag == tag)
                e = &c;
        if (!e)
            return std::nullopt;
        const quint32 at = e->valid ? pointerValue(t, *e) : 0;
        std::optional<Ifd> ifd = seen.contains(at) ? std::nullopt : readIfd(t, at);
        if (!ifd) {
            sound = false;
            return std::nullopt;
        }
        seen.insert(at);
        sound = sound && ifd->whole;
        return ifd;
    };
    l.exif = child(*l.ifd0, TagExifIfd);
    l.gps = child(*l.ifd0, TagGpsIfd);
    if (l.exif)
        l.interop = child(*l.exif, TagInteropIfd);
    if (l.ifd0->next != 0) {
        if (!seen.contains(l.ifd0->next))
            l.ifd1 = readIfd(t, l.ifd0->next);
        sound = sound && l.ifd1 && l.ifd1->whole && l.ifd1->next == 0;
        if (l.ifd1) {
            const Entry *off = l.ifd1->find(TagThumbOffset);
            const Entry *len = l.ifd1->find(TagThumbLength);
            if (isNumber(off) && isNumber(len))
                sound = sound && t.fits(numberValue(t, *off), numberValue(t, *len));
        }
    }
    l.sound = sound;
    return l;
}

// Rebuilds a block from what can be read of it: every readable value of IFD0 and of its
// EXIF, GPS and interoperability directories. The thumbnail directory is left out.
QByteArray rebuild(const QByteArray &source)
{
    QByteArray src = source;
    Block in(src);
    const Layout l = readLayout(in);
    if (!l.ifd0)
        return {};
    QByteArray out(8, 0);
    Block o(out);
    out[0] = out[1] = in.le ? 'I' : 'M';
    o.put16(2, 42);
    o.put32(4, 8);

    // The directory a pointer entry of ifd leads to, as read; null when it could not be.
    auto childOf = [&](const Ifd &ifd, quint16 tag) -> const Ifd * {
        const std::optional<Ifd> *child = nullptr;
        if (&ifd == &*l.ifd0)
            child = tag == TagExifIfd ? &l.exif : tag == TagGpsIfd ? &l.gps : nullptr;
        else if (l.exif && &ifd == &*l.exif && tag == TagInteropIfd)
            child = &l.interop;
        return child && *child ? &**child : nullptr;
    };
    std::function<qint64(const Ifd &)> write = [&](const Ifd &ifd) -> qint64 {
        QList<Entry> entries;
        for (const Entry &e : ifd.entries)
            if (e.valid && (!isPointer(e.tag) || childOf(ifd, e.tag)))
                entries.append(e);
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry &a, const Entry &b) { return a.tag < b.tag; });
        const qint64 at = out.size();
        out.resize(at + 2 + entries.size() * kEntrySize + 4);
        o.put16(at, quint16(entries.size()));
        o.put32(at + 2 + entries.size() * kEntrySize, 0);
        for (int i = 0; i < entries.size(); ++i) {
            const Entry &e = entries[i];
            const qint64 pos = at + 2 + qint64(i) * kEntrySize;
            o.put16(pos, e.tag);
            o.put16(pos + 2, e.type);
            o.put32(pos + 4, e.count);
            if (e.size <= 4) {
                for (int k = 0; k < 4; ++k)
                    out[pos + 8 + k] = src[e.field() + k];
            } else {
                if (out.size() % 2)
                    out.append('\0');
                o.put32(pos + 8, quint32(out.size()));
                out.append(src.constData() + e.dataAt, e.size);
            }
        }
        for (int i = 0; i < entries.size(); ++i) {
            const Ifd *child = isPointer(entries[i].tag) ? childOf(ifd, entries[i].tag) : nullptr;
            if (!child)
                continue;
            if (out.size() % 2)
                out.append('\0');
            const qint64 childAt = write(*child);
            const qint64 pos = at + 2 + qint64(i) * kEntrySize;
            o.put16(pos + 2, TypeLong);
            o.put32(pos + 4, 1);
            o.put32(pos + 8, quint32(childAt));
        }
        return at;
    };
    write(*l.ifd0);
    return out.size() <= kMaxBlock ? out : QByteArray();
}

void setNumber(Block &t, const Entry &e, quint32 value)
{
    if (e.count != 1)
        return;
    if (e.type == TypeShort && value <= 0xFFFF) {
        t.put16(e.field(), quint16(value));
        t.put16(e.field() + 2, 0);
    } else if (e.type == TypeShort || e.type == TypeLong) {
        t.put16(e.at + 2, TypeLong);
        t.put32(e.field(), value);
    }
}

// Ends the directory chain after IFD0, dropping the thumbnail directory.
void dropThumbnail(Block &t, const Layout &l)
{
    t.put32(l.ifd0->end() - 4, 0);
}

qint64 endOfEverythingBut(const Layout &l, qint64 thumbAt)
{
    qint64 end = 8;
    for (const auto *ifd : {&l.ifd0, &l.exif, &l.gps, &l.interop, &l.ifd1}) {
        if (!*ifd)
            continue;
        end = std::max(end, (*ifd)->end());
        for (const Entry &e : (*ifd)->entries)
            if (e.valid && e.size > 4 && e.dataAt != thumbAt)
                end = std::max(end, e.dataAt + e.size);
    }
    return end;
}

} // namespace

namespace ExifEdit {

QByteArray thumbnailJpeg(const QImage &picture)
{
    if (picture.isNull())
        return {};
    const QSize size = picture.size().scaled(160, 120, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    // A coarse sample first keeps this cheap on big pictures; the smooth step then works
    // on a few hundred thousand pixels only.
    const QImage coarse = picture.width() > 4 * size.width()
        ? picture.scaled(size * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        : picture;
    const QImage thumb = coarse.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB32);
    return JpegCodec::encode(thumb, 80, 0, {});
}

bool isSound(const QByteArray &tiff)
{
    QByteArray copy = tiff;
    Block t(copy);
    return readLayout(t).sound;
}

QByteArray update(const QByteArray &tiff, const ExifUpdate &update)
{
    QByteArray out = tiff;
    Block t(out);
    Layout l = readLayout(t);
    if (!l.ifd0)
        return {};
    if (!l.sound) {
        out = rebuild(tiff);
        l = readLayout(t);
        if (!l.sound)
            return {};
    }

    if (update.turned)
        if (const Entry *e = l.ifd0->find(TagOrientation); e && e->type == TypeShort && e->count == 1)
            t.put16(e->field(), 1);
    if (l.exif) {
        if (const Entry *e = l.exif->find(TagPixelX))
            setNumber(t, *e, quint32(update.width));
        if (const Entry *e = l.exif->find(TagPixelY))
            setNumber(t, *e, quint32(update.height));
    }

    if (l.ifd1) {
        const Entry *off = l.ifd1->find(TagThumbOffset);
        const Entry *len = l.ifd1->find(TagThumbLength);
        const bool usable = isNumber(off) && isNumber(len);
        const qint64 oldAt = usable ? numberValue(t, *off) : 0;
        const qint64 oldSize = usable ? numberValue(t, *len) : 0;
        const QByteArray thumb = usable && update.thumbnail
            ? update.thumbnail(out.mid(oldAt, oldSize)) : QByteArray();
        if (thumb.isEmpty()) {
            dropThumbnail(t, l);
        } else {
            const QByteArray before = out;
            // The old thumbnail's place is reused when nothing else lies behind it.
            if (oldAt + oldSize <= out.size() && endOfEverythingBut(l, oldAt) <= oldAt)
                out.truncate(oldAt);
            else if (out.size() % 2)
                out.append('\0');
            const qint64 at = out.size();
            out.append(thumb);
            setNumber(t, *off, quint32(at));
            setNumber(t, *len, quint32(thumb.size()));
            if (out.size() > kMaxBlock) {
                out = before;
                dropThumbnail(t, l);
            }
        }
    }
    if (out.size() > kMaxBlock) {
        out = rebuild(out);
        if (out.isEmpty())
            return {};
    }
    return out;
}

} // namespace ExifEdit
