// A PostgreSQL server of the test's own: a cluster made by initdb in a
// temporary folder, listening only on a Unix socket in that folder, with
// trust authentication. The server refuses to run as root, so as root it
// runs as the `postgres` account (or `nobody`). Stopped and removed with the
// object.
//
//   PgServer server;
//   if (!server.Start()) GTEST_SKIP() << server.Problem();
//   const QString conn = server.NewDatabase();  // "host=/tmp/kpg-… port=5432 dbname=… user=postgres"
#pragma once

#include <QString>

namespace kestova::test {

class PgServer
{
public:
    // With a password, the server asks every client for it (SCRAM) instead
    // of trusting the socket.
    explicit PgServer(const QString &password = QString());
    ~PgServer();
    PgServer(const PgServer &) = delete;
    PgServer &operator=(const PgServer &) = delete;

    // Makes the cluster on the first call, then starts the server; false
    // with Problem() when PostgreSQL is not installed or does not start.
    bool Start();
    // Stops the server at once, as a crash or a pulled cable would look to
    // its clients (open connections are cut).
    bool Stop();
    QString Problem() const { return m_problem; }

    // A new, empty database on the server, as a libpq connection string.
    QString NewDatabase();
    // The connection string of a database that exists.
    QString Connection(const QString &database) const;
    // A connection string to where no server listens.
    static QString Nowhere();

private:
    bool Run(const QString &program, const QStringList &args);

    QString m_root;     // the temporary folder, also the socket's
    QString m_bin;      // the server's programs
    QString m_problem;
    QString m_password;
    bool m_made = false;
    int m_databases = 0;
};

} // namespace kestova::test
