#include "storage/configlist.h"

#include "model/inkwerkerror.h"
#include "model/settingsrow.h"
#include "storage/textfile.h"

void ConfigList::loadFromFile(const QString &path)
{
    m_lines = TextFile::readLines(TextFile::readAll(path));
}

void ConfigList::saveToFile(const QString &path) const
{
    QString text;
    for (const QString &l : m_lines) {
        text += l;
        text += QLatin1String("\r\n");
    }
    TextFile::writeAll(path, TextFile::encode(text));
}

void ConfigList::setMissingFileDefaults(const QRect &geometry)
{
    m_lines = {QStringLiteral("80"), QStringLiteral("20"), QStringLiteral("0")};
    m_lines.resize(UsedCount);
    setGeometry(geometry);
    m_lines[ExifPriority] = QStringLiteral("1");
}

void ConfigList::completeSevenLines()
{
    if (m_lines.size() == UsedCount - 1)
        m_lines.append(QStringLiteral("1"));
}

void ConfigList::validate() const
{
    // The EXIF line is the first one start-up asks for, so a short list names index 7.
    (void)line(ExifPriority);
    for (const int index : {JpegQuality, JpegSmooth, Left, Top, Width, Height})
        intLine(index);
}

std::optional<QString> ConfigList::takeMalformedTimeShift()
{
    if (count() <= TimeCorrection || TimeShift::parse(m_lines[TimeCorrection]))
        return std::nullopt;
    const QString text = m_lines[TimeCorrection];
    setTimeShift(TimeShift());
    return text;
}

TimeShift ConfigList::timeShift() const
{
    if (count() <= TimeCorrection)
        return TimeShift();
    return TimeShift::parse(m_lines[TimeCorrection]).value_or(TimeShift());
}

const QString &ConfigList::line(int index) const
{
    if (index < 0 || index >= m_lines.size())
        throw InkwerkError(QStringLiteral("Listenindex überschreitet das Maximum (%1)").arg(index));
    return m_lines.at(index);
}

void ConfigList::setLine(int index, const QString &text)
{
    if (index < 0)
        return;
    while (m_lines.size() < index) {
        const qsizetype missing = m_lines.size();
        m_lines.append(missing == LosslessJpeg    ? QStringLiteral("0")
                       : missing == UprightByExif ? QStringLiteral("1")
                                                  : QString());
    }
    if (index == m_lines.size())
        m_lines.append(text);
    else
        m_lines[index] = text;
}

int ConfigList::intLine(int index) const
{
    return SettingsRow::toInt(line(index));
}

int ConfigList::jpegQuality() const
{
    return intLine(JpegQuality);
}

int ConfigList::jpegSmooth() const
{
    return intLine(JpegSmooth);
}

bool ConfigList::pngInterlaced() const
{
    return SettingsRow::isOn(line(PngInterlaced));
}

bool ConfigList::exifPriority() const
{
    return SettingsRow::isOn(line(ExifPriority));
}

QRect ConfigList::geometry() const
{
    return QRect(intLine(Left), intLine(Top), intLine(Width), intLine(Height));
}

void ConfigList::setGeometry(const QRect &r)
{
    setLine(Left, QString::number(r.x()));
    setLine(Top, QString::number(r.y()));
    setLine(Width, QString::number(r.width()));
    setLine(Height, QString::number(r.height()));
}
