#pragma once

#include <QByteArray>
#include <QImage>
#include <functional>

// Brings a photo's EXIF block (the TIFF part of its APP1 segment) in line with the
// picture written from it.
struct ExifUpdate {
    // The picture was turned: its pixels now stand as the user chose, so Orientation
    // becomes 1 ("Normal").
    bool turned = false;
    // The size written, for PixelXDimension and PixelYDimension.
    int width = 0;
    int height = 0;
    // Makes the new embedded thumbnail (JPEG bytes) for the picture written, given the
    // old one; called only when the block has one to replace. Empty bytes remove it.
    std::function<QByteArray(const QByteArray &old)> thumbnail;
};

namespace ExifEdit {

// The updated block. A sound block is edited in place, so values that no tag of the
// update names (maker notes and their offsets among them) stay byte for byte. A damaged
// block is first rebuilt from the directories and values that can be read, the rest
// dropped. Empty when not even the first directory can be read. The result always fits
// one APP1 segment; a thumbnail that would not fit is removed.
QByteArray update(const QByteArray &tiff, const ExifUpdate &update);

// A thumbnail of picture for the EXIF block: at most 160 x 120, the picture's aspect,
// as JPEG bytes.
QByteArray thumbnailJpeg(const QImage &picture);

// Whether every directory, value and thumbnail of the block lies inside it, with no
// directory reached twice.
bool isSound(const QByteArray &tiff);

} // namespace ExifEdit
