#pragma once

#include "imaging/codecs/codec.h"
#include "imaging/metadata/picturemetadata.h"
#include "model/fileaccess.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <functional>

// The imaging component: holds one picture (24-bit, QImage::Format_RGB32), loads it from
// and saves it to every supported format, and turns it by 90 degrees. Codec failures are
// absorbed: a failed load leaves the picture empty, a failed save writes nothing, and
// onFinishedLoadSave fires in both cases. No widgets: the view shows it elsewhere.
class MultiImage
{
public:
    MultiImage();

    // Synchronous load; the reader is chosen by the upper-case extension, any other
    // extension by the file's magic bytes. A picture whose format records an orientation
    // of its own (TIFF) is put upright. A missing file gives an empty picture and no
    // event; otherwise onFinishedLoadSave fires before this returns.
    void setImageName(const QString &path);
    QString imageName() const { return m_imageName; }
    // Why the last load gave no picture ("" after a load that gave one): the file's
    // problem (its error number in loadFileError()) or the decoder's reason.
    QString loadError() const { return m_loadError; }
    int loadFileError() const { return m_loadFileError; }
    // What the decoder found wrong in a picture it still gave (data missing or corrupt):
    // the picture shows what could be decoded. Empty for a sound picture.
    QString loadDamage() const { return m_loadDamage; }

    const QImage &picture() const { return m_picture; }
    // Writable access for drawing; call notifyChanged() with the area drawn on.
    QImage &picture() { return m_picture; }
    // A picture from elsewhere: converted to RGB32 when needed; it has no source sampling.
    void setPicture(const QImage &picture);
    void clearPicture();
    bool isEmpty() const { return m_picture.isNull(); }

    // Turns the whole picture by +90 or -90 degrees (counter-clockwise positive).
    // Raises InkwerkError("Input image is empty") on an empty picture.
    void rotate(double angle);

    // Save operations: keep the path in defSaveFilename, write through a temporary file
    // in the target folder renamed to the target as the write options say, fire
    // onFinishedLoadSave, success or not. The result tells whether a file was written;
    // lastWrite() tells why not.
    bool saveJpg(const QString &path);
    bool saveBmp(const QString &path);
    bool saveGif(const QString &path);
    bool saveTif(const QString &path);
    bool savePcx(const QString &path);
    bool saveTga(const QString &path);
    bool savePng(const QString &path);
    QString defSaveFilename() const { return m_defSaveFilename; }
    // How the following saves treat a file at their name, and the time they give the file.
    void setWriteOptions(const FileAccess::WriteOptions &options) { m_writeOptions = options; }
    const FileAccess::WriteOptions &writeOptions() const { return m_writeOptions; }
    // The outcome of the last save's write; Failed with error 0 when nothing could be
    // encoded.
    const FileAccess::WriteResult &lastWrite() const { return m_lastWrite; }

    // Quality and smoothing keep the low 8 bits; 1..100 is taken, else 25 and 5.
    void setJPegSaveQuality(int value);
    int jpegSaveQuality() const { return m_jpegQuality; }
    void setJPegSaveSmooth(int value);
    int jpegSaveSmooth() const { return m_jpegSmooth; }
    void setPNGInterLaced(bool on) { m_pngInterlaced = on; }
    // Metadata the following saves carry where their format has a place for it.
    void setSaveMetadata(const PictureMetadata &metadata) { m_saveMetadata = metadata; }
    void clearSaveMetadata() { m_saveMetadata = PictureMetadata(); }
    bool pngInterLaced() const { return m_pngInterlaced; }
    // The chroma sampling of the JPEG the picture was loaded from, turned with the
    // picture; a JPEG save keeps it. Unknown for other sources.
    Codec::ChromaSampling sourceSampling() const { return m_sourceSampling; }

    // Events. onProgress gets 0..100 during load, turn and save.
    std::function<void(int percent)> onProgress;
    std::function<void()> onFinishedLoadSave;
    // The picture changed: a null rect means the whole picture (new, cleared, turned),
    // else the area that drawing changed. The view repaints from it.
    std::function<void(const QRect &area)> onChanged;
    void notifyChanged(const QRect &area = QRect());

private:
    bool save(const QString &path, const char *format);

    QImage m_picture;
    QByteArray m_encoded;   // a save's file bytes; its memory serves the next save
    QString m_imageName;
    QString m_loadError;
    int m_loadFileError = 0;
    QString m_loadDamage;
    FileAccess::WriteOptions m_writeOptions;
    FileAccess::WriteResult m_lastWrite;
    QString m_defSaveFilename;
    int m_jpegQuality = 80;
    int m_jpegSmooth = 20;
    bool m_pngInterlaced = false;
    PictureMetadata m_saveMetadata;
    Codec::ChromaSampling m_sourceSampling;
};
