#include "VantelCore/local8bit.h"

#include <QTextCodec>
#include <cstring>

namespace {

QTextCodec* PlatformCodec() {
#ifdef Q_OS_WIN
    return QTextCodec::codecForLocale();
#else
    return QTextCodec::codecForMib(106);  // UTF-8
#endif
}

}  // namespace

VantelLocal8Bit VantelToLocal8Bit(const QString& text) {
    VantelLocal8Bit out;
    QTextCodec* codec = PlatformCodec();
    // No byte-order mark in front.
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    out.bytes = codec->fromUnicode(text.constData(), text.size(), &state);
    out.unencodable = state.invalidChars;
    // A surrogate at the very end stays pending in the state, unwritten: it has no encoding either.
    if (state.remainingChars > 0) {
        out.bytes.append('?');
        ++out.unencodable;
    }
    return out;
}

int VantelToLocal8Bit(const QString& text, char* buffer, int size) {
    if (!buffer || size < 1) return -1;
    const VantelLocal8Bit local = VantelToLocal8Bit(text);
    if (!local.Whole() || local.bytes.size() >= size) {
        buffer[0] = '\0';
        return -1;
    }
    std::memcpy(buffer, local.bytes.constData(), size_t(local.bytes.size()));
    buffer[local.bytes.size()] = '\0';
    return local.bytes.size();
}

QString VantelFromLocal8Bit(const char* bytes) {
    if (!bytes) return QString();
    return PlatformCodec()->toUnicode(bytes);
}
