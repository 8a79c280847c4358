#pragma once

#include "model/timeshift.h"

#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

// The program settings list held in config.dat: one text line per entry.
//   0 JPEG quality, 1 JPEG smoothing (decimal), 2 PNG interlaced ("1"/"0"),
//   3-6 main window left, top, width, height (decimal), 7 EXIF priority ("1"/"0"),
//   8 lossless JPEG stamping ("1"/"0"; files without it read as off),
//   9 pictures put upright by their EXIF orientation ("1"/"0"; on when missing),
//   10 the time correction ("+0 01:00:00"; none when missing).
// Lines after 10 are not used and are written back as they were read.
class ConfigList
{
public:
    enum Line : int {
        JpegQuality = 0, JpegSmooth, PngInterlaced, Left, Top, Width, Height, ExifPriority,
        // Lines every settings file has; those after them are optional.
        UsedCount,
        LosslessJpeg = UsedCount, UprightByExif, TimeCorrection
    };

    // Replaces the list with the lines of the file (CR, LF or CR LF end a line). Throws
    // InkwerkError "Datei %s kann nicht geöffnet werden", the list unchanged, when the
    // file cannot be read or is too large to be a settings file.
    void loadFromFile(const QString &path);
    // Every entry followed by CR LF; the old file stays as it was when this fails. Throws
    // InkwerkError "Datei %s kann nicht erstellt werden" or "Stream-Schreibfehler".
    void saveToFile(const QString &path) const;

    // The list of a start without config.dat: quality 80, smoothing 20, PNG not
    // interlaced, the given window geometry, EXIF priority on; lossless JPEG stamping is
    // off while the ninth line is missing.
    void setMissingFileDefaults(const QRect &geometry);
    // Files written before the EXIF setting existed have seven lines: it defaults to on.
    void completeSevenLines();
    // Throws InkwerkError unless every used line is there and lines 0, 1 and 3-6 read as
    // integers: "Listenindex überschreitet das Maximum (7)" for a short list, else
    // "'<text>' ist kein gültiger Integerwert" for the first bad line.
    void validate() const;
    // A malformed time correction (only a hand-edited file has one) costs no other
    // setting: it is replaced by the stored form of no correction, and its text returned
    // for the report. Nothing when the line is missing or well-formed.
    std::optional<QString> takeMalformedTimeShift();

    // The lines read as integers; the imaging component narrows them to its range.
    int jpegQuality() const;
    int jpegSmooth() const;
    // Flags are on only when the line is exactly "1".
    bool pngInterlaced() const;
    bool exifPriority() const;
    bool losslessJpeg() const { return count() > LosslessJpeg && m_lines[LosslessJpeg] == QLatin1String("1"); }
    // Users expect upright pictures: only a line that is there and not "1" turns it off.
    bool uprightByExif() const { return count() <= UprightByExif || m_lines[UprightByExif] == QLatin1String("1"); }
    // No correction while the line is missing or malformed.
    TimeShift timeShift() const;
    void setTimeShift(const TimeShift &shift) { setLine(TimeCorrection, shift.text()); }
    QRect geometry() const;
    void setGeometry(const QRect &r);

    int count() const { return int(m_lines.size()); }
    const QStringList &lines() const { return m_lines; }
    void setLines(const QStringList &lines) { m_lines = lines; }
    // Throws InkwerkError "Listenindex überschreitet das Maximum (<index>)" when the list
    // has no such line.
    const QString &line(int index) const;
    // A list too short for the index is filled up first, each optional line with the text
    // that means its default (lossless stamping "0", upright pictures "1"), others empty.
    void setLine(int index, const QString &text);
    void setFlag(int index, bool on) { setLine(index, on ? QStringLiteral("1") : QStringLiteral("0")); }

private:
    int intLine(int index) const;

    QStringList m_lines;
};
