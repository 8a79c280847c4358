#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Reading and writing the small text files that hold settings (inkwerk.dat, config.dat,
// layout files). Settings files have always been 8-bit Windows-1252 text; cells that do
// not fit that code page are kept by writing UTF-8 instead, and the reader tells the two
// apart by content.
namespace TextFile {

// Settings files are a few hundred bytes; anything larger is not one of ours and is
// refused before it is read, so a hostile file cannot make us allocate without bound.
inline constexpr qint64 MaxFileSize = 1024 * 1024;

// Windows-1252 for text that fits it, else UTF-8.
QByteArray encode(const QString &text);
// UTF-8 when the bytes are valid UTF-8 and hold non-ASCII bytes, else Windows-1252.
QString decode(const QByteArray &bytes);

// Text in Windows-1252; false when a character has no byte there.
bool toCp1252(const QString &text, QByteArray *out);
// Every byte maps to one character, so any byte string survives a round trip.
QString fromCp1252(const QByteArray &bytes);

// The lines of a text: a line ends at CR, LF or CR LF; a NUL ends the text; text after
// the last line end is a last line; a line end at the very end adds no empty line.
QStringList splitLines(const QString &text);
// The lines of a file's bytes: cut at the first NUL, decoded, split as above.
QStringList readLines(const QByteArray &bytes);

// The messages of failed file operations, with the path in native separators.
QString cannotOpenMessage(const QString &path);
QString cannotCreateMessage(const QString &path);
QString tooLargeMessage(const QString &path);
QString writeErrorMessage();

// The whole content of a regular file of at most MaxFileSize bytes; throws InkwerkError
// "Datei %s kann nicht geöffnet werden" when it cannot be read, tooLargeMessage() when
// it is larger.
QByteArray readAll(const QString &path);
// Replaces the file through a temporary file in the same folder, so that a failure leaves
// the old file as it was. Throws InkwerkError "Datei %s kann nicht erstellt werden" when
// the file cannot be created, "Stream-Schreibfehler" when the bytes cannot be written.
void writeAll(const QString &path, const QByteArray &bytes);

} // namespace TextFile
