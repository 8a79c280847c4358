#pragma once

#include <QByteArray>
#include <cstdint>

// Appends little-endian fields to a byte array: the encoders' counterpart of ByteReader.
class ByteWriter
{
public:
    explicit ByteWriter(QByteArray &out) : m_out(out) {}

    void u8(uint32_t v) { m_out.append(char(v & 0xFF)); }
    void u16le(uint32_t v)
    {
        u8(v);
        u8(v >> 8);
    }
    void u32le(uint32_t v)
    {
        u16le(v);
        u16le(v >> 16);
    }
    void zeros(qsizetype count) { m_out.append(count, '\0'); }
    void bytes(const uint8_t *data, qsizetype count)
    {
        m_out.append(reinterpret_cast<const char *>(data), count);
    }

private:
    QByteArray &m_out;
};
