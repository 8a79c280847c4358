#pragma once

#include <QByteArray>
#include <QList>

// Small JPEG files with an EXIF APP1 block, built byte by byte for reader tests.
struct ExifTestEntry {
    quint16 tag;
    quint16 type;       // 2 ASCII, 3 SHORT, 4 LONG
    quint32 count;
    QByteArray data;    // null: value goes into the entry as it stands
    quint32 value = 0;
};

// An ASCII entry with its terminating zero.
ExifTestEntry exifText(quint16 tag, const QByteArray &text);
// SOI, a JFIF APP0 with app0Extra thumbnail bytes (none when negative), APP1 with payload.
QByteArray jpegWithApp1(const QByteArray &payload, int app0Extra = -1);
// An EXIF payload: IFD0 after ifd0Gap spare bytes, then the sub-directory (with its
// pointer added to IFD0) when sub is not empty, then the values longer than four bytes.
QByteArray exifPayload(const QList<ExifTestEntry> &ifd0, const QList<ExifTestEntry> &sub,
                       bool motorola = false, int ifd0Gap = 0);
bool writeTestFile(const QString &path, const QByteArray &bytes);
