#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>

// Reads the date fields of the EXIF block of a JPEG file: the first APP1 block named
// "Exif" among the marker segments before the start of scan (an ICC, Adobe or XMP block
// may come first), else an APP1 block right after the start-of-image marker and any APP0
// blocks. Both byte orders, the offsets the block gives and each directory's entry count
// are honoured; nothing outside the block is read. One reader serves every file of a run.
class TExif
{
public:
    TExif();

    bool Valid = false;
    QString ImageDescription;
    QString Make;
    QString Model;
    uint8_t Orientation = 1;
    QString OrientationText = QStringLiteral("Normal");
    QString RightsText;
    QString DateTime;
    QString DateTimeOriginal;
    QString DateTimeDigitized;
    QString UserComment;
    uint32_t ExifIfdOffset = 0;

    void Clear();
    // Scans path. A missing file leaves the previous results; a file that is no JPEG or
    // has no APP1 block gives Valid false. A failed read of the fixed header
    // bytes raises InkwerkError (the fields keep what was filled so far).
    void ReadFromFile(const QString &path);
    // Reads one text value of count bytes at offset (from the TIFF header) of the block
    // last read: up to count bytes, ending at the first zero byte, which is not kept;
    // empty when it starts or runs outside the block.
    QString ReadTextAt(uint32_t offset, uint32_t count) const;

    static QString orientationText(uint32_t value);

private:
    QByteArray m_tiff; // the TIFF part of the APP1 block last read
};

// "YYYY:MM:DD HH:MM:SS" to a local date-time; raises InkwerkError when the text is
// shorter than 10 characters or is no valid date and time ("0000:00:00 00:00:00").
QDateTime exifDateTimeToDateTime(const QString &text);
