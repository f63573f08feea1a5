// Text in the 8-bit encoding that the platform libraries and file names take: UTF-8 on Linux,
// whatever the locale says; the local code page elsewhere. One conversion for the whole suite,
// which says what it could not convert instead of cutting or emptying the text unasked.
#pragma once

#include <QByteArray>
#include <QString>

struct VantelLocal8Bit {
    QByteArray bytes;     // the whole text; a character without an encoding is written as '?'
    int unencodable = 0;  // how many characters had no encoding (a lone surrogate, say)
    bool Whole() const { return unencodable == 0; }
};

VantelLocal8Bit VantelToLocal8Bit(const QString& text);

// The whole text into buffer (size bytes, zero-terminated): its length in bytes, or -1 with an
// empty buffer when the buffer is null or too small, or a character has no encoding. A path cut
// or changed would name another file, so there is no partial result.
int VantelToLocal8Bit(const QString& text, char* buffer, int size);

// Bytes in that encoding as text (null gives a null string).
QString VantelFromLocal8Bit(const char* bytes);
