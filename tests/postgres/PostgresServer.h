// A private PostgreSQL server for the tests: initdb into a fresh folder under
// /tmp, started on a Unix socket in that folder only (no TCP port), stopped
// and removed when the test program ends. One server serves every test of a
// run; it starts with the first test that asks for it. Root runs the server
// as `nobody`, since initdb refuses root.
#pragma once

#include <string>

namespace pgtest {

class Server {
public:
    // The running server, started on the first call.
    static Server& Get();

    // True when the server runs; else Problem() says why.
    bool Running() const { return m_running; }
    // True when the problem is only that the server programs are missing.
    bool Absent() const { return m_absent; }
    const std::string& Problem() const { return m_problem; }

    const std::string& SocketDir() const { return m_dir; }
    static constexpr const char* kUser = "kelvaro";
    static constexpr const char* kPassword = "pw-'\"\\x";  // travels percent-encoded in URIs
    // A URI for database `db` as user kelvaro with the right password.
    std::string Uri(const std::string& db = "postgres") const;

    void Stop();

private:
    void Start();

    bool m_running = false;
    bool m_absent = false;
    std::string m_problem;
    std::string m_dir;
    std::string m_bin;
    std::string m_asUser;  // the command prefix that runs a program as the server's user
};

// Percent-encodes every byte but letters and digits, for a URI.
std::string UriEncode(const std::string& text);

}  // namespace pgtest
