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

// A camera's EXIF block (the TIFF part, without "Exif\0\0") as a camera lays it out:
// IFD0 with Make "TestCam", Model "TC-1" and Orientation, the EXIF directory with
// DateTimeOriginal and DateTimeDigitized, a 16-byte maker note and
// PixelXDimension/PixelYDimension (SHORT),
// then IFD1 with a JPEG thumbnail at the end of the block.
struct CameraExif {
    QByteArray tiff;
    int makerNoteAt = 0;     // offset of the maker note's bytes in tiff
    QByteArray makerNote;
};
CameraExif cameraExif(bool motorola, const QByteArray &thumbnail, quint16 orientation = 6,
                      int width = 64, int height = 48,
                      const QByteArray &dateTimeOriginal = "2019:07:13 10:23:33");
// A JPEG's bytes with segments (marker, payload) inserted right after its start of image.
QByteArray jpegWithSegments(const QByteArray &jpeg, const QList<QPair<quint8, QByteArray>> &segments);
// The thumbnail that IFD1 of a TIFF block points at; empty when there is none.
QByteArray exifThumbnail(const QByteArray &tiff);
// The SHORT or LONG value of tag in IFD0, the EXIF directory or IFD1; -1 when absent.
qint64 exifNumber(const QByteArray &tiff, quint16 tag);
