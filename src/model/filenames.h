#pragma once

#include <QByteArray>
#include <QString>

// File names as the system stores them: bytes, usually UTF-8 but not always (a name from
// an old disk may hold "caf\xE9.jpg"). Qt decodes names lossily, so the program's own file
// calls go through this mapping instead. Every valid UTF-8 sequence becomes its character;
// every other byte from 0x80 up becomes one character of a private-use block (U+EF80 +
// byte - 0x80), which encode() turns back into that same byte. The private-use characters
// themselves, when a name really holds them, are escaped byte by byte, so decode() and
// encode() round-trip every name exactly.
namespace FileNames {

QString decode(const QByteArray &bytes);
QByteArray encode(const QString &name);
// The name for people: each byte that is not UTF-8 shows as the replacement character.
QString shown(const QString &name);
// Whether the name holds a byte that is not UTF-8.
bool hasRawBytes(const QString &name);

} // namespace FileNames
