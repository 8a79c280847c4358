#include "model/filenames.h"

namespace FileNames {

namespace {

constexpr char32_t kEscapeBase = 0xEF00;   // + the byte, for bytes 0x80..0xFF
constexpr char32_t kReplacement = 0xFFFD;

bool isEscape(char32_t c)
{
    return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF;
}

// The code point of the valid, shortest UTF-8 sequence at bytes[i], with its length in
// *length; 0 with *length 0 when no valid sequence starts there.
char32_t utf8At(const QByteArray &bytes, qsizetype i, int *length)
{
    *length = 0;
    const auto byte = [&](qsizetype k) { return uchar(bytes.at(k)); };
    const uchar b0 = byte(i);
    int n;
    char32_t c;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) { n = 2; c = b0 & 0x1F; min = 0x80; }
    else if (b0 >= 0xE0 && b0 <= 0xEF) { n = 3; c = b0 & 0x0F; min = 0x800; }
    else if (b0 >= 0xF0 && b0 <= 0xF4) { n = 4; c = b0 & 0x07; min = 0x10000; }
    else return 0;
    if (i + n > bytes.size())
        return 0;
    for (int k = 1; k < n; ++k) {
        const uchar b = byte(i + k);
        if ((b & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    *length = n;
    return c;
}

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

QString decode(const QByteArray &bytes)
{
    QString name;
    name.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const uchar b = uchar(bytes.at(i));
        if (b < 0x80) {
            name += QChar(b);
            ++i;
            continue;
        }
        int length = 0;
        const char32_t c = utf8At(bytes, i, &length);
        if (length > 0 && !isEscape(c)) {
            const char32_t units[1] = {c};
            name += QString::fromUcs4(units, 1);
            i += length;
        } else {
            name += QChar(char16_t(kEscapeBase + b));
            ++i;
        }
    }
    return name;
}

QByteArray encode(const QString &name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), name.at(++i).unicode());
        else if (QChar::isSurrogate(c))
            c = kReplacement;
        if (isEscape(c))
            bytes += char(c - kEscapeBase);
        else
            appendUtf8(bytes, c);
    }
    return bytes;
}

QString shown(const QString &name)
{
    QString text = name;
    for (QChar &c : text)
        if (isEscape(c.unicode()))
            c = QChar(char16_t(kReplacement));
    return text;
}

bool hasRawBytes(const QString &name)
{
    for (const QChar c : name)
        if (isEscape(c.unicode()))
            return true;
    return false;
}

} // namespace FileNames
