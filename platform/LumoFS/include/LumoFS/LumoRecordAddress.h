// The suite's record addresses, parsed and built in one place:
//   lumofs://local/disk=<name>&path=<block>&filename=<file>   a record on one of the engine's disks
//   lumofs://localhost/media                                    the record search of the local engine
//   lumofs://disk=<name>&idc=<channel>&ids=<stream>            a recorder disk's channel stream
//   filer://local/type=rec&format=<ext>&filename=<path>        a local record file to read
//   filew://local/type=<rec|pic>&format=<ext>&pathname=<dir>[&filename=<name>]   a target folder
// Parameters are split only where '&' is followed by a key the suite knows, so names and folders
// may hold '&' and '=' ("a&b=c.dav"); a key seen twice or an unknown key at the start is an error.
// Build writes an '&' that would start a parameter as "%26" and a '%' that would read as an escape
// as "%25"; Parse turns "%26" and "%25" back, so every value comes back whole ("/v/x&format=y").
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

class LumoRecordAddress {
public:
    enum Scheme { SCHEME_NONE, SCHEME_LUMOFS, SCHEME_FILER, SCHEME_FILEW };

    // Parses text; false (and *error says why, in English) when it is not one of the addresses
    // above. A scheme compares without case; keys are compared as written.
    static bool Parse(const std::string& text, LumoRecordAddress* out, std::string* error = nullptr);
    // Whether the text starts with one of the three schemes (cheap test before Parse).
    static bool HasRecordScheme(const std::string& text);

    // Builders of the addresses the suite hands around.
    static LumoRecordAddress DiskRecord(const std::string& disk, const std::string& block,
                                        const std::string& fileName);
    static LumoRecordAddress ReadFile(const std::string& format, const std::string& path);
    static LumoRecordAddress WriteFolder(const std::string& type, const std::string& format,
                                         const std::string& folder, const std::string& fileName = std::string());

    LumoRecordAddress() = default;
    LumoRecordAddress(Scheme scheme, const std::string& host) : m_scheme(scheme), m_host(host) {}

    std::string Build() const;

    Scheme GetScheme() const { return m_scheme; }
    // "local", "localhost", or empty (lumofs://disk=...).
    const std::string& GetHost() const { return m_host; }
    // What follows the host when it holds no parameters ("media" in lumofs://localhost/media).
    const std::string& GetResource() const { return m_resource; }
    void SetResource(const std::string& r) { m_resource = r; }

    bool Has(const std::string& key) const;
    // The value of key; empty when absent.
    std::string Get(const std::string& key) const;
    // Sets (or replaces) key, keeping the order in which keys were first set.
    void Set(const std::string& key, const std::string& value);
    // True when every key of the list is present with a non-empty value; otherwise *missing names
    // the first that is not.
    bool Require(std::initializer_list<const char*> keys, std::string* missing = nullptr) const;
    const std::vector<std::pair<std::string, std::string>>& Params() const { return m_params; }

    // The keys the parser splits at.
    static bool IsKnownKey(const std::string& key);

private:
    Scheme m_scheme = SCHEME_NONE;
    std::string m_host;
    std::string m_resource;
    std::vector<std::pair<std::string, std::string>> m_params;
};
