#include "VantelCore/urlmask.h"

#include <QByteArray>

bool VantelFindUrlPassword(const QString& url, int* begin, int* end, int* authorityEnd) {
    const int scheme = url.indexOf(QLatin1String("://"));
    const int start = scheme < 0 ? 0 : scheme + 3;
    int stop = url.size();
    for (const QChar c : {QChar('/'), QChar('?'), QChar('#')}) {
        const int at = url.indexOf(c, start);
        if (at >= 0 && at < stop) stop = at;
    }
    if (stop <= start) return false;
    const int at = url.lastIndexOf(QChar('@'), stop - 1);
    if (at < start) return false;
    const int colon = url.indexOf(QChar(':'), start);
    if (colon < 0 || colon > at) return false;
    if (begin) *begin = colon + 1;
    if (end) *end = at;
    if (authorityEnd) *authorityEnd = stop;
    return true;
}

QString VantelMaskUrl(const QString& url) {
    int begin = 0, end = 0;
    if (!VantelFindUrlPassword(url, &begin, &end, nullptr)) return url;
    return url.left(begin) + VantelUrlPasswordMask() + url.mid(end);
}

std::string VantelMaskUrl(const std::string& url) {
    return VantelMaskUrl(QString::fromUtf8(url.data(), static_cast<int>(url.size()))).toUtf8().toStdString();
}

std::string VantelMaskUrl(const char* url) {
    return url ? VantelMaskUrl(std::string(url)) : std::string();
}
