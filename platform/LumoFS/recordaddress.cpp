#include "LumoFS/LumoRecordAddress.h"

#include <algorithm>
#include <cctype>

namespace {

const char* const kKnownKeys[] = {"type", "format", "filename", "pathname", "disk",
                                  "path", "idc",    "ids",      "from",     "len"};

struct SchemeName {
    LumoRecordAddress::Scheme scheme;
    const char* prefix;
};
const SchemeName kSchemes[] = {{LumoRecordAddress::SCHEME_LUMOFS, "lumofs://"},
                               {LumoRecordAddress::SCHEME_FILER, "filer://"},
                               {LumoRecordAddress::SCHEME_FILEW, "filew://"}};

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

// Where the next parameter starts: the first '&' at or after `from` followed by "<known key>=".
size_t NextSplit(const std::string& q, size_t from) {
    for (size_t p = q.find('&', from); p != std::string::npos; p = q.find('&', p + 1)) {
        const size_t eq = q.find('=', p + 1);
        if (eq != std::string::npos && LumoRecordAddress::IsKnownKey(q.substr(p + 1, eq - p - 1))) return p;
    }
    return std::string::npos;
}

// Whether `q` holds "<known key>=" at `at`.
bool KeyAt(const std::string& q, size_t at) {
    const size_t eq = q.find('=', at);
    return eq != std::string::npos && LumoRecordAddress::IsKnownKey(q.substr(at, eq - at));
}

// A value goes into an address with the two escapes the parser undoes: "%26" for an '&' that
// would start a parameter ("&<known key>="), "%25" for a '%' that would read as an escape. Any
// other character, '&' and '=' included, stands as it is, so hand-built addresses keep working.
std::string Escape(const std::string& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '&' && KeyAt(v, i + 1))
            out += "%26";
        else if (v[i] == '%' && (v.compare(i + 1, 2, "25") == 0 || v.compare(i + 1, 2, "26") == 0))
            out += "%25";
        else
            out += v[i];
    }
    return out;
}

std::string Unescape(const std::string& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '%' && v.compare(i + 1, 2, "26") == 0) {
            out += '&';
            i += 2;
        } else if (v[i] == '%' && v.compare(i + 1, 2, "25") == 0) {
            out += '%';
            i += 2;
        } else {
            out += v[i];
        }
    }
    return out;
}

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

bool LumoRecordAddress::IsKnownKey(const std::string& key) {
    return std::any_of(std::begin(kKnownKeys), std::end(kKnownKeys), [&](const char* k) { return key == k; });
}

bool LumoRecordAddress::HasRecordScheme(const std::string& text) {
    return std::any_of(std::begin(kSchemes), std::end(kSchemes),
                       [&](const SchemeName& s) { return StartsWithNoCase(text, s.prefix); });
}

bool LumoRecordAddress::Parse(const std::string& text, LumoRecordAddress* out, std::string* error) {
    if (!out) return false;
    *out = LumoRecordAddress();
    const SchemeName* scheme = nullptr;
    for (const SchemeName& s : kSchemes)
        if (StartsWithNoCase(text, s.prefix)) scheme = &s;
    if (!scheme) {
        SetError(error, "not a record address: " + text);
        return false;
    }
    out->m_scheme = scheme->scheme;
    std::string rest = text.substr(std::string(scheme->prefix).size());

    // A host is what stands before the first '/', unless that already holds a parameter
    // ("lumofs://disk=a&path=/x" has none).
    const size_t slash = rest.find('/');
    const size_t eq = rest.find('=');
    if (slash != std::string::npos && (eq == std::string::npos || slash < eq)) {
        out->m_host = rest.substr(0, slash);
        rest = rest.substr(slash + 1);
    }
    if (rest.find('=') == std::string::npos) {
        // No parameters: a resource name ("media") or nothing.
        if (rest.find('&') != std::string::npos) {
            SetError(error, "a parameter without a value in " + text);
            return false;
        }
        if (out->m_scheme != SCHEME_LUMOFS) {
            SetError(error, "a file address without parameters: " + text);
            return false;
        }
        out->m_resource = rest;
        return true;
    }

    size_t pos = 0;
    while (pos <= rest.size()) {
        const size_t next = NextSplit(rest, pos);
        const std::string part = rest.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
        const size_t e = part.find('=');
        const std::string key = e == std::string::npos ? part : part.substr(0, e);
        if (e == std::string::npos || !IsKnownKey(key)) {
            SetError(error, "unknown parameter \"" + key + "\" in " + text);
            return false;
        }
        if (out->Has(key)) {
            SetError(error, "parameter \"" + key + "\" given twice in " + text);
            return false;
        }
        out->m_params.emplace_back(key, Unescape(part.substr(e + 1)));
        if (next == std::string::npos) break;
        pos = next + 1;
    }
    return true;
}

std::string LumoRecordAddress::Build() const {
    std::string s;
    for (const SchemeName& n : kSchemes)
        if (n.scheme == m_scheme) s = n.prefix;
    if (!m_host.empty()) s += m_host + "/";
    if (m_params.empty()) return s + m_resource;
    for (size_t i = 0; i < m_params.size(); ++i) {
        if (i) s += '&';
        s += m_params[i].first + "=" + Escape(m_params[i].second);
    }
    return s;
}

bool LumoRecordAddress::Has(const std::string& key) const {
    return std::any_of(m_params.begin(), m_params.end(), [&](const auto& kv) { return kv.first == key; });
}

std::string LumoRecordAddress::Get(const std::string& key) const {
    for (const auto& kv : m_params)
        if (kv.first == key) return kv.second;
    return std::string();
}

void LumoRecordAddress::Set(const std::string& key, const std::string& value) {
    for (auto& kv : m_params)
        if (kv.first == key) {
            kv.second = value;
            return;
        }
    m_params.emplace_back(key, value);
}

bool LumoRecordAddress::Require(std::initializer_list<const char*> keys, std::string* missing) const {
    for (const char* k : keys)
        if (Get(k).empty()) {
            if (missing) *missing = k;
            return false;
        }
    return true;
}

LumoRecordAddress LumoRecordAddress::DiskRecord(const std::string& disk, const std::string& block,
                                                const std::string& fileName) {
    LumoRecordAddress a(SCHEME_LUMOFS, "local");
    a.Set("disk", disk);
    a.Set("path", block);
    a.Set("filename", fileName);
    return a;
}

LumoRecordAddress LumoRecordAddress::ReadFile(const std::string& format, const std::string& path) {
    LumoRecordAddress a(SCHEME_FILER, "local");
    a.Set("type", "rec");
    a.Set("format", format);
    a.Set("filename", path);
    return a;
}

LumoRecordAddress LumoRecordAddress::WriteFolder(const std::string& type, const std::string& format,
                                                 const std::string& folder, const std::string& fileName) {
    LumoRecordAddress a(SCHEME_FILEW, "local");
    a.Set("type", type);
    a.Set("format", format);
    a.Set("pathname", folder);
    if (!fileName.empty()) a.Set("filename", fileName);
    return a;
}
