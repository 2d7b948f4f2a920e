#include "PgCluster.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <unistd.h>

namespace {

constexpr const char* kBin = "/usr/lib/postgresql/15/bin";

} // namespace

PgCluster::PgCluster() {
    bin_ = QString::fromLatin1(kBin);
    root_ = geteuid() == 0;
    if (!QFileInfo(bin_ + QStringLiteral("/initdb")).isExecutable()) {
        unavailable_ = QStringLiteral("%1/initdb is not installed (postgresql-15)").arg(bin_);
        return;
    }
    if (!dir_.isValid()) {
        unavailable_ = QStringLiteral("no temporary folder");
        return;
    }
    // initdb and the server refuse to run as root: the folder is given to the postgres user.
    if (root_ && !run(QStringLiteral("chown"), {QStringLiteral("postgres:"), dir_.path()})) {
        unavailable_ = QStringLiteral("cannot give %1 to the postgres user").arg(dir_.path());
        return;
    }
    QString output;
    if (!run(bin_ + QStringLiteral("/initdb"),
             {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-A"),
              QStringLiteral("trust"), QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("-E"),
              QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-sync")},
             &output)) {
        unavailable_ = QStringLiteral("initdb failed: ") + output;
        return;
    }
}

PgCluster::~PgCluster() {
    stop();
}

bool PgCluster::run(const QString& program, const QStringList& args, QString* output) const {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(dir_.path());
    if (root_ && program != u"chown")
        p.start(QStringLiteral("runuser"),
                QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), program} +
                    args);
    else
        p.start(program, args);
    const bool finished = p.waitForFinished(30000);
    if (!finished)
        p.kill();
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool PgCluster::start() {
    if (!unavailable_.isEmpty())
        return false;
    // fsync off: the cluster lives for one test.
    running_ = run(bin_ + QStringLiteral("/pg_ctl"),
                   {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-l"),
                    dir_.filePath(QStringLiteral("log")), QStringLiteral("-w"), QStringLiteral("-t"),
                    QStringLiteral("20"), QStringLiteral("-o"),
                    QStringLiteral("-c listen_addresses='' -c unix_socket_directories='%1' -c fsync=off")
                        .arg(dir_.path()),
                    QStringLiteral("start")});
    return running_;
}

bool PgCluster::stop() {
    if (!running_)
        return true;
    running_ = !run(bin_ + QStringLiteral("/pg_ctl"),
                    {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-m"),
                     QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("20"),
                     QStringLiteral("stop")});
    return !running_;
}

QString PgCluster::url(const QString& user) const {
    return QStringLiteral("postgresql://%1@/postgres?host=%2")
        .arg(user.isEmpty() ? QStringLiteral("postgres") : user, dir_.path());
}

bool PgCluster::sql(const QString& statement, QString* error) const {
    QString output;
    const bool ok = run(bin_ + QStringLiteral("/psql"),
                        {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                         QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), dir_.path(),
                         QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("-d"),
                         QStringLiteral("postgres"), QStringLiteral("-c"), statement},
                        &output);
    if (error)
        *error = output;
    return ok;
}
