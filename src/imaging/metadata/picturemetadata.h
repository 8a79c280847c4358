#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The metadata of a photo that a stamped copy keeps: the EXIF block, XMP (standard and
// extended), the ICC colour profile, IPTC and the comment. It is held as the JPEG
// segments that carry it, each byte for byte as read, in the order of the source, so a
// JPEG written from a JPEG carries the same segments. Metadata of other sources (a PNG's
// eXIf and iCCP chunks) is held in the same form.
struct JpegSegment {
    quint8 marker = 0;   // 0xE1 APP1, 0xE2 APP2, 0xED APP13, 0xFE COM
    QByteArray payload;  // the bytes after the length field
};

class PictureMetadata
{
public:
    // Reads the metadata of the file at path (JPEG or PNG, recognised by their first bytes;
    // of a TIFF its colour profile only); an empty result for other files, for an
    // unreadable file and for damaged structure past the last segment that could be read.
    // Never reads outside a segment.
    static PictureMetadata readFromFile(const QString &path);
    // The same from a JPEG's bytes (up to the start of scan).
    static PictureMetadata fromJpeg(const QByteArray &bytes);

    bool isEmpty() const { return m_segments.isEmpty(); }
    const QList<JpegSegment> &segments() const { return m_segments; }

    // The TIFF block of the EXIF segment (after "Exif\0\0"), empty when there is none.
    QByteArray exif() const;
    // Replaces the EXIF block (an empty block removes the segment); a new one is placed
    // first.
    void setExif(const QByteArray &tiff);
    // The ICC profile put together from its chunks in their sequence order; empty when
    // there is none or the chunks do not make one whole profile.
    QByteArray iccProfile() const;
    // Sets the profile as APP2 chunks, replacing any there were.
    void setIccProfile(const QByteArray &profile);

    // Inserts the segments into the JPEG bytes after the start of image and any APP0
    // blocks that follow it; nothing changes when there are none or it is no JPEG.
    void insertIntoJpeg(QByteArray &jpeg) const;
    // The PNG bytes png with an iCCP chunk for the profile and an eXIf chunk for the
    // EXIF block after its header chunk; png itself when there is nothing to add.
    QByteArray insertIntoPng(const QByteArray &png) const;

    // The largest payload of one segment: a 16-bit length that counts itself.
    static constexpr int kMaxPayload = 65533;

private:
    static PictureMetadata fromPng(const QByteArray &bytes);
    QList<JpegSegment> m_segments;
};
