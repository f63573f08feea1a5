// CrashReport: the crash-report client. A report database folder holds the reports and a small
// settings file; the client starts an out-of-process handler that writes reports into it.
// When the handler executable is absent the start fails, and the program installs its
// fallback dump (CrashCoreDump) instead.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace crashreport {

class ReportSettings {
public:
    explicit ReportSettings(std::string file);
    bool SetUploadsEnabled(bool enabled);
    bool GetUploadsEnabled(bool* enabled) const;

private:
    std::string m_file;
};

class ReportDatabase {
public:
    // Opens the database folder, creating it (with its "reports" subfolder and settings file)
    // when missing. Null when the folder cannot be made.
    static std::unique_ptr<ReportDatabase> Initialize(const std::string& path);
    ReportSettings* GetSettings() { return &m_settings; }
    const std::string& Path() const { return m_path; }

private:
    explicit ReportDatabase(std::string path);
    std::string m_path;
    ReportSettings m_settings;
};

class ReportClient {
public:
    ReportClient() = default;
    ~ReportClient() = default;

    // Starts the handler process with the database, metrics folder, upload address,
    // annotations and extra arguments. False when the handler cannot be started (missing or
    // not executable). With asynchronous start the call does not wait for the handler;
    // WaitForHandlerStart does. restartable: the handler is started again if it ends early
    // while we wait for it.
    bool StartHandler(const std::string& handler, const std::string& database, const std::string& metrics,
                      const std::string& url, const std::map<std::string, std::string>& annotations,
                      const std::vector<std::string>& arguments, bool restartable, bool asynchronous_start,
                      const std::vector<std::string>& attachments = {});
    // Waits until the handler reports ready (it creates "<database>/handler.ready") or the
    // time runs out; false when it did not.
    bool WaitForHandlerStart(unsigned int timeout_ms);
    long HandlerPid() const { return m_pid; }

private:
    bool launch();
    std::vector<std::string> m_argv;
    std::string m_readyFile;
    bool m_restartable = false;
    long m_pid = -1;
};

}  // namespace crashreport
