#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

// The program settings list held in config.dat: one text line per entry.
//   0 JPEG quality, 1 JPEG smoothing (decimal), 2 PNG interlaced ("1"/"0"),
//   3-6 main window left, top, width, height (decimal), 7 EXIF priority ("1"/"0"),
//   8 lossless JPEG stamping ("1"/"0"; files without it read as off).
// Lines after 8 are not used and are written back as they were read.
class ConfigList
{
public:
    enum Line : int {
        JpegQuality = 0, JpegSmooth, PngInterlaced, Left, Top, Width, Height, ExifPriority,
        // Lines every settings file has; those after them are optional.
        UsedCount,
        LosslessJpeg = UsedCount
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

    // The lines read as integers; the imaging component narrows them to its range.
    int jpegQuality() const;
    int jpegSmooth() const;
    // Flags are on only when the line is exactly "1".
    bool pngInterlaced() const;
    bool exifPriority() const;
    bool losslessJpeg() const { return count() > LosslessJpeg && m_lines[LosslessJpeg] == QLatin1String("1"); }
    QRect geometry() const;
    void setGeometry(const QRect &r);

    int count() const { return int(m_lines.size()); }
    const QStringList &lines() const { return m_lines; }
    void setLines(const QStringList &lines) { m_lines = lines; }
    // Throws InkwerkError "Listenindex überschreitet das Maximum (<index>)" when the list
    // has no such line.
    const QString &line(int index) const;
    // A list too short for the index is filled up with empty lines first.
    void setLine(int index, const QString &text);
    void setFlag(int index, bool on) { setLine(index, on ? QStringLiteral("1") : QStringLiteral("0")); }

private:
    int intLine(int index) const;

    QStringList m_lines;
};
