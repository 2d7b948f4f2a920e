#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A throwaway PostgreSQL cluster for a test: made with initdb in a temporary folder, listening only on a
// Unix socket there (listen_addresses=''), run as the unprivileged postgres user when the test runs as
// root. Stopped and removed with the object.
class PgCluster {
  public:
    PgCluster();
    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    // Why there is no cluster (no PostgreSQL installed, initdb failed); empty when there is one.
    const QString& unavailable() const { return unavailable_; }
    bool start(); // waits at most 20 s for the server to take connections
    bool stop();
    // The journal's URL on this cluster, as `user` (the superuser when empty).
    QString url(const QString& user = QString()) const;
    // SQL as the superuser, through psql; false (and the output in `error`) when it fails.
    bool sql(const QString& statement, QString* error = nullptr) const;
    QString socketFolder() const { return dir_.path(); }

  private:
    bool run(const QString& program, const QStringList& args, QString* output = nullptr) const;

    QTemporaryDir dir_;
    QString bin_;
    bool root_ = false;
    bool running_ = false;
    QString unavailable_;
};

// A test that needs a cluster: skipped with its reason where there is none, failed in CI (CI=true), where
// the server is part of what is tested.
#define REQUIRE_CLUSTER(cluster)                                                                             \
    do {                                                                                                     \
        if (!(cluster).unavailable().isEmpty()) {                                                            \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                                         \
                FAIL() << "no PostgreSQL cluster: " << (cluster).unavailable().toStdString();                \
            GTEST_SKIP() << "no PostgreSQL cluster: " << (cluster).unavailable().toStdString();              \
        }                                                                                                    \
    } while (false)
