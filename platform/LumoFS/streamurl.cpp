#include "LumoFS/LumoStreamUrl.h"

#include <cctype>

#include "urlauthority.h"

namespace {

// "<digits>" at text[*at...], moving *at past them; false without a digit.
bool Digits(const std::string& text, size_t* at) {
    const size_t from = *at;
    while (*at < text.size() && std::isdigit(static_cast<unsigned char>(text[*at]))) ++*at;
    return *at > from;
}

// Exactly "/mode=real&idc=<n>&ids=<n>".
bool IsQuiiPath(const std::string& path) {
    static const std::string kMode = "/mode=real&idc=";
    static const std::string kStream = "&ids=";
    size_t at = kMode.size();
    if (path.compare(0, kMode.size(), kMode) != 0 || !Digits(path, &at)) return false;
    if (path.compare(at, kStream.size(), kStream) != 0) return false;
    at += kStream.size();
    return Digits(path, &at) && at == path.size();
}

}  // namespace

bool LumoIsStreamUrl(const std::string& url) {
    if (lumofs::HasSpaceOrControl(url)) return false;
    const size_t rtsp = lumofs::SchemeLength(url, "rtsp://");
    const size_t quii = rtsp ? 0 : lumofs::SchemeLength(url, "quii://");
    if (!rtsp && !quii) return false;
    lumofs::UrlAuthority a;
    std::string rest, why;
    if (!lumofs::ReadAuthority(url, rtsp ? rtsp : quii, &a, &rest, &why)) return false;
    return rtsp || (a.hasPort && IsQuiiPath(rest));
}
