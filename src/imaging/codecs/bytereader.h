#pragma once

#include <QByteArray>
#include <cstdint>

// Bounded little-endian reader over a byte span (usually a whole file). A read that would
// pass the end returns 0 or nullptr and marks the reader failed for good, so a decoder can
// read a run of header fields and test ok() once; nothing outside the span is ever touched.
class ByteReader
{
public:
    ByteReader(const uint8_t *data, int64_t size) : m_data(data), m_size(size < 0 ? 0 : size) {}
    explicit ByteReader(const QByteArray &bytes)
        : ByteReader(reinterpret_cast<const uint8_t *>(bytes.constData()), bytes.size())
    {
    }

    bool ok() const { return !m_failed; }
    int64_t pos() const { return m_pos; }
    int64_t size() const { return m_size; }
    int64_t remaining() const { return m_size - m_pos; }
    bool atEnd() const { return m_pos >= m_size; }

    // Moves to an absolute position; a position outside [0, size] fails the reader.
    bool seek(int64_t pos)
    {
        if (m_failed || pos < 0 || pos > m_size)
            return fail();
        m_pos = pos;
        return true;
    }
    bool skip(int64_t count) { return count >= 0 && count <= remaining() ? seek(m_pos + count) : fail(); }

    // The next count bytes in place, or nullptr when fewer remain.
    const uint8_t *take(int64_t count)
    {
        if (m_failed || count < 0 || count > remaining()) {
            fail();
            return nullptr;
        }
        const uint8_t *p = m_data + m_pos;
        m_pos += count;
        return p;
    }

    uint8_t u8()
    {
        const uint8_t *p = take(1);
        return p ? p[0] : 0;
    }
    uint16_t u16le()
    {
        const uint8_t *p = take(2);
        return p ? uint16_t(p[0] | p[1] << 8) : 0;
    }
    uint32_t u32le()
    {
        const uint8_t *p = take(4);
        return p ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
                 : 0;
    }
    int32_t i32le() { return int32_t(u32le()); }

private:
    bool fail()
    {
        m_failed = true;
        return false;
    }

    const uint8_t *m_data;
    int64_t m_size;
    int64_t m_pos = 0;
    bool m_failed = false;
};
