// The tests' private PostgreSQL server (see PostgresServer.h).
#include "postgres/PostgresServer.h"

#include "support/TestSupport.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace pgtest {

namespace fs = std::filesystem;

namespace {

// The folder KELVARO_POSTGRES_BIN names, else the newest installed server,
// /usr/lib/postgresql/N/bin; empty when it lacks the programs.
std::string FindServerPrograms() {
    std::error_code error;
    if (const char* chosen = std::getenv("KELVARO_POSTGRES_BIN"))
        return fs::exists(fs::path(chosen) / "initdb", error) ? std::string(chosen) : std::string();
    std::string best;
    int bestVersion = -1;
    for (const auto& item : fs::directory_iterator("/usr/lib/postgresql", error)) {
        const fs::path bin = item.path() / "bin";
        const int version = std::atoi(item.path().filename().c_str());
        if (version > bestVersion && fs::exists(bin / "initdb") && fs::exists(bin / "pg_ctl")) {
            best = bin.string();
            bestVersion = version;
        }
    }
    return best;
}

// Runs `command` through the shell; its output goes to `log`.
bool Shell(const std::string& command, const std::string& log) {
    return std::system((command + " >>'" + log + "' 2>&1").c_str()) == 0;
}

// Servers of earlier runs that were killed before they could stop them: a
// folder whose owner process is gone.
void StopAbandoned(const std::string& bin, const std::string& asUser) {
    std::error_code error;
    for (const auto& item : fs::directory_iterator("/tmp", error)) {
        const std::string folder = item.path().string();
        if (item.path().filename().string().rfind("kelvaro-pg-", 0) != 0) continue;
        const int owner = std::atoi(testsupport::ReadBytes(folder + "/owner").c_str());
        if (owner <= 0 || kill(owner, 0) == 0 || errno != ESRCH) continue;
        Shell(asUser + "'" + bin + "/pg_ctl' -D '" + folder + "/data' -m immediate -w stop", "/dev/null");
        fs::remove_all(folder, error);
    }
}

Server* g_started = nullptr;  // set once a test has asked for the server

// Stops the server when the test program ends; forked children leave with
// _exit and never get here.
class StopAtEnd : public ::testing::Environment {
public:
    void TearDown() override {
        if (g_started != nullptr) g_started->Stop();
    }
};
::testing::Environment* const kStopAtEnd = ::testing::AddGlobalTestEnvironment(new StopAtEnd);

}  // namespace

std::string UriEncode(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", c);
        out += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : std::string(escaped);
    }
    return out;
}

Server& Server::Get() {
    static Server* server = [] {
        auto* made = new Server;  // lives to the end: the environment stops it
        made->Start();
        g_started = made;
        return made;
    }();
    return *server;
}

std::string Server::Uri(const std::string& db) const {
    return std::string("postgresql://") + kUser + ":" + UriEncode(kPassword) + "@" + UriEncode(m_dir) + "/" + db;
}

void Server::Start() {
    m_bin = FindServerPrograms();
    if (m_bin.empty()) {
        m_absent = true;
        m_problem = "the PostgreSQL server programs (Debian package 'postgresql') are not installed";
        return;
    }
    char folder[] = "/tmp/kelvaro-pg-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        m_problem = "cannot make a folder under /tmp";
        return;
    }
    m_dir = folder;
    const std::string log = m_dir + "/setup.log";
    {
        std::ofstream(m_dir + "/password") << kPassword << "\n";
        std::ofstream(m_dir + "/owner") << getpid() << "\n";
    }
    if (geteuid() == 0) {
        // initdb refuses root; the server runs as nobody, who must own its folder.
        const passwd* nobody = getpwnam("nobody");
        if (nobody == nullptr || chown(folder, nobody->pw_uid, nobody->pw_gid) != 0 ||
            chown((m_dir + "/password").c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
            m_problem = "running as root, and cannot hand the server folder to user nobody";
            return;
        }
        m_asUser = "setpriv --reuid=" + std::to_string(nobody->pw_uid) + " --regid=" +
                   std::to_string(nobody->pw_gid) + " --clear-groups ";
    }
    // Passwords checked on the socket too, so that a wrong one is refused;
    // fsync off: the data only has to outlive the run.
    const bool started =
        Shell(m_asUser + "'" + m_bin + "/initdb' -D '" + m_dir + "/data' -U " + kUser + " --pwfile='" + m_dir +
                  "/password' -A scram-sha-256 -E UTF8 --locale=C --no-sync",
              log) &&
        Shell(m_asUser + "'" + m_bin + "/pg_ctl' -D '" + m_dir + "/data' -l '" + m_dir + "/server.log' -w -t 60 -o \"" +
                  "-c listen_addresses='' -c unix_socket_directories='" + m_dir +
                  "' -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=40\" start",
              log);
    if (!started) {
        m_problem = "the server did not start:\n" + testsupport::ReadBytes(log) + testsupport::ReadBytes(m_dir + "/server.log");
        Stop();
        return;
    }
    m_running = true;
    StopAbandoned(m_bin, m_asUser);
}

void Server::Stop() {
    if (m_dir.empty()) return;
    if (fs::exists(m_dir + "/data/postmaster.pid"))
        Shell(m_asUser + "'" + m_bin + "/pg_ctl' -D '" + m_dir + "/data' -m immediate -w stop", "/dev/null");
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
    m_dir.clear();
    m_running = false;
}

}  // namespace pgtest
