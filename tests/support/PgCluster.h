#pragma once
// A throwaway PostgreSQL cluster for the tests: initdb and pg_ctl into a
// temporary folder (as an unprivileged user when the tests run as root),
// listening only on a Unix socket in that folder, trust authentication for
// the superuser "mirantos". Stopped and removed when the object goes.

#include <memory>
#include <string>

namespace mirantos::testing {

class TPgCluster {
public:
    // Null with `error` when the server binaries are missing or it does not start.
    static std::unique_ptr<TPgCluster> Start(std::string& error);
    ~TPgCluster();
    TPgCluster(const TPgCluster&) = delete;
    TPgCluster& operator=(const TPgCluster&) = delete;

    // A new empty database; false with `error`.
    bool CreateDatabase(const std::string& name, std::string& error);
    // "postgresql://mirantos@/NAME?host=SOCKETDIR&port=PORT"
    std::string Url(const std::string& database) const;
    const std::string& SocketDir() const;
    int Port() const;

    // Stops the server (fast shutdown), and starts it again on the same socket.
    bool Stop();
    bool Restart();

private:
    TPgCluster();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace mirantos::testing
