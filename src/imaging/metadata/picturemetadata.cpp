#include "imaging/metadata/picturemetadata.h"

#include "imaging/codecs/tiffcodec.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <map>
#include <zlib.h>

namespace {

// No camera file comes near these; a file that does is no photo worth its metadata.
constexpr int kMaxSegments = 4096;
constexpr qint64 kMaxMetadataBytes = 64 * 1024 * 1024;
constexpr quint32 kMaxPngChunk = 16 * 1024 * 1024;
constexpr qint64 kMaxIccProfile = 16 * 1024 * 1024;

const QByteArray kExifId("Exif\0\0", 6);
const QByteArray kIccId("ICC_PROFILE\0", 12);
const QByteArray kXmpId("http://ns.adobe.com/xap/1.0/\0", 29);
const QByteArray kXmpExtensionId("http://ns.adobe.com/xmp/extension/\0", 35);
const QByteArray kIptcId("Photoshop 3.0\0", 14);
constexpr int kIccHeader = 14; // identifier, sequence number, chunk count

bool isExif(const JpegSegment &s) { return s.marker == 0xE1 && s.payload.startsWith(kExifId); }
bool isIcc(const JpegSegment &s) { return s.marker == 0xE2 && s.payload.startsWith(kIccId); }

// The segments a stamped copy keeps. Others describe the source's own coding (Adobe's
// colour transform, JFIF, multi-picture offsets) and would be wrong in the new file.
bool kept(quint8 marker, const QByteArray &payload)
{
    switch (marker) {
    case 0xE1:
        return payload.startsWith(kExifId) || payload.startsWith(kXmpId)
            || payload.startsWith(kXmpExtensionId);
    case 0xE2:
        return payload.startsWith(kIccId) && payload.size() > kIccHeader;
    case 0xED:
        return payload.startsWith(kIptcId);
    case 0xFE:
        return true;
    default:
        return false;
    }
}

bool readByte(QIODevice &in, quint8 &b)
{
    char c;
    if (!in.getChar(&c))
        return false;
    b = quint8(c);
    return true;
}

QList<JpegSegment> walkJpeg(QIODevice &in)
{
    QList<JpegSegment> out;
    const QByteArray soi = in.read(2);
    if (soi.size() != 2 || quint8(soi[0]) != 0xFF || quint8(soi[1]) != 0xD8)
        return out;
    qint64 total = 0;
    bool haveExif = false;
    for (int n = 0; n < kMaxSegments; ++n) {
        quint8 b = 0, marker = 0;
        if (!readByte(in, b) || b != 0xFF)
            break;
        do {
            if (!readByte(in, marker))
                return out;
        } while (marker == 0xFF);
        if (marker == 0xDA || marker == 0xD9)
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;
        const QByteArray len = in.read(2);
        if (len.size() != 2)
            break;
        const int length = qFromBigEndian<quint16>(len.constData());
        if (length < 2)
            break;
        const bool candidate = marker == 0xE1 || marker == 0xE2 || marker == 0xED || marker == 0xFE;
        if (!candidate) {
            if (in.skip(length - 2) != length - 2)
                break;
            continue;
        }
        JpegSegment s{marker, in.read(length - 2)};
        if (s.payload.size() != length - 2)
            break;
        if (!kept(marker, s.payload) || (isExif(s) && haveExif))
            continue;
        total += s.payload.size();
        if (total > kMaxMetadataBytes)
            break;
        haveExif = haveExif || isExif(s);
        out.append(std::move(s));
    }
    return out;
}

QByteArray inflateBounded(const QByteArray &in, qint64 limit)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return {};
    QByteArray out;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    z.avail_in = uInt(in.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (out.size() >= limit) {
            out.clear();
            break;
        }
        const qsizetype done = out.size();
        out.resize(std::min<qint64>(limit, done + 65536));
        z.next_out = reinterpret_cast<Bytef *>(out.data() + done);
        z.avail_out = uInt(out.size() - done);
        rc = inflate(&z, Z_NO_FLUSH);
        out.resize(out.size() - z.avail_out);
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END)
        return {};
    return out;
}

QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray chunk;
    chunk.reserve(data.size() + 12);
    char len[4];
    qToBigEndian<quint32>(quint32(data.size()), len);
    chunk.append(len, 4);
    chunk.append(type, 4);
    chunk.append(data);
    uLong crc = crc32(0, reinterpret_cast<const Bytef *>(type), 4);
    crc = crc32(crc, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size()));
    char crcBytes[4];
    qToBigEndian<quint32>(quint32(crc), crcBytes);
    chunk.append(crcBytes, 4);
    return chunk;
}

} // namespace

PictureMetadata PictureMetadata::readFromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.peek(8);
    PictureMetadata m;
    if (head.startsWith("\xFF\xD8")) {
        m.m_segments = walkJpeg(file);
    } else if (head == QByteArray("\x89PNG\r\n\x1A\n", 8)) {
        // PNG metadata stands before the picture data; read up to there only.
        QByteArray bytes = file.read(8);
        while (!file.atEnd() && bytes.size() < kMaxMetadataBytes) {
            const QByteArray header = file.read(8);
            bytes += header;
            if (header.size() != 8)
                break;
            const quint32 length = qFromBigEndian<quint32>(header.constData());
            if (header.mid(4) == "IDAT" || length > kMaxPngChunk)
                break;
            bytes += file.read(qint64(length) + 4);
        }
        m = fromPng(bytes);
    } else if (TiffCodec::sniff(head)) {
        // A TIFF's profile is a tag of its first image; its EXIF directory is not taken.
        file.close();
        m.setIccProfile(TiffCodec::iccProfileOf(path));
    }
    return m;
}

PictureMetadata PictureMetadata::fromJpeg(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    PictureMetadata m;
    m.m_segments = walkJpeg(buffer);
    return m;
}

PictureMetadata PictureMetadata::fromPng(const QByteArray &bytes)
{
    PictureMetadata m;
    qsizetype p = 8;
    for (int n = 0; n < kMaxSegments && p + 12 <= bytes.size(); ++n) {
        const quint32 length = qFromBigEndian<quint32>(bytes.constData() + p);
        const QByteArray type = bytes.mid(p + 4, 4);
        if (length > kMaxPngChunk || qint64(length) + 12 > bytes.size() - p)
            break;
        const QByteArray data = bytes.mid(p + 8, length);
        if (type == "IDAT" || type == "IEND")
            break;
        if (type == "eXIf" && m.exif().isEmpty() && data.size() + 6 <= kMaxPayload) {
            m.setExif(data);
        } else if (type == "iCCP") {
            const qsizetype nameEnd = data.indexOf('\0');
            if (nameEnd > 0 && nameEnd + 2 <= data.size() && data[nameEnd + 1] == 0)
                m.setIccProfile(inflateBounded(data.mid(nameEnd + 2), kMaxIccProfile));
        }
        p += 12 + qsizetype(length);
    }
    return m;
}

QByteArray PictureMetadata::exif() const
{
    for (const JpegSegment &s : m_segments)
        if (isExif(s))
            return s.payload.mid(kExifId.size());
    return {};
}

void PictureMetadata::setExif(const QByteArray &tiff)
{
    m_segments.removeIf(isExif);
    if (!tiff.isEmpty() && tiff.size() + kExifId.size() <= kMaxPayload)
        m_segments.prepend(JpegSegment{0xE1, kExifId + tiff});
}

QByteArray PictureMetadata::iccProfile() const
{
    std::map<int, QByteArray> chunks;
    int count = 0;
    for (const JpegSegment &s : m_segments) {
        if (!isIcc(s))
            continue;
        const int seq = quint8(s.payload[12]);
        const int n = quint8(s.payload[13]);
        if (seq < 1 || seq > n || (count && n != count) || chunks.count(seq))
            return {};
        count = n;
        chunks[seq] = s.payload.mid(kIccHeader);
    }
    if (count == 0 || int(chunks.size()) != count)
        return {};
    QByteArray profile;
    for (const auto &c : chunks)
        profile += c.second;
    return profile;
}

void PictureMetadata::setIccProfile(const QByteArray &profile)
{
    m_segments.removeIf(isIcc);
    const int room = kMaxPayload - kIccHeader;
    const qsizetype count = (profile.size() + room - 1) / room;
    if (profile.isEmpty() || count > 255)
        return;
    // The profile follows the EXIF block, where there is one.
    qsizetype at = !m_segments.isEmpty() && isExif(m_segments.first()) ? 1 : 0;
    for (qsizetype i = 0; i < count; ++i) {
        QByteArray payload = kIccId;
        payload.append(char(i + 1));
        payload.append(char(count));
        payload.append(profile.mid(i * room, room));
        m_segments.insert(at++, JpegSegment{0xE2, payload});
    }
}

void PictureMetadata::insertIntoJpeg(QByteArray &jpeg) const
{
    if (m_segments.isEmpty() || jpeg.size() < 4 || quint8(jpeg[0]) != 0xFF || quint8(jpeg[1]) != 0xD8)
        return;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && quint8(jpeg[at]) == 0xFF && quint8(jpeg[at + 1]) == 0xE0)
        at += 2 + qFromBigEndian<quint16>(jpeg.constData() + at + 2);
    if (at > jpeg.size())
        return;
    QByteArray segments;
    for (const JpegSegment &s : m_segments) {
        if (s.payload.size() > kMaxPayload)
            continue;
        char header[4] = {char(0xFF), char(s.marker), 0, 0};
        qToBigEndian<quint16>(quint16(s.payload.size() + 2), header + 2);
        segments.append(header, 4);
        segments.append(s.payload);
    }
    jpeg.insert(at, segments);
}

QByteArray PictureMetadata::insertIntoPng(const QByteArray &png) const
{
    const QByteArray profile = iccProfile();
    const QByteArray tiff = exif();
    constexpr qsizetype kAfterHeader = 8 + 12 + 13;
    if ((profile.isEmpty() && tiff.isEmpty()) || png.size() < kAfterHeader
        || png.mid(12, 4) != "IHDR")
        return png;
    QByteArray added;
    if (!profile.isEmpty()) {
        uLongf size = compressBound(uLong(profile.size()));
        QByteArray packed(qsizetype(size), Qt::Uninitialized);
        if (compress2(reinterpret_cast<Bytef *>(packed.data()), &size,
                      reinterpret_cast<const Bytef *>(profile.constData()), uLong(profile.size()),
                      Z_BEST_COMPRESSION) == Z_OK) {
            packed.resize(qsizetype(size));
            added += pngChunk("iCCP", QByteArray("ICC Profile\0\0", 13) + packed);
        }
    }
    if (!tiff.isEmpty())
        added += pngChunk("eXIf", tiff);
    return png.left(kAfterHeader) + added + png.mid(kAfterHeader);
}
