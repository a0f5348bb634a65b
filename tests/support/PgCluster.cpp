// A throwaway PostgreSQL cluster. initdb and postgres refuse to run as root,
// so under root the cluster belongs to "nobody": its folder is handed over and
// every server command runs with that user's ids (setpriv). The client side
// (the tests, createdb) stays as it is and reaches the server on the socket.

#include "PgCluster.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace mirantos::testing {

namespace {

constexpr int kPort = 5432; // only names the socket file: the folder is private

// initdb from PATH, else the newest of Debian's /usr/lib/postgresql/N/bin.
QString FindBinDir()
{
    const QString env = qEnvironmentVariable("MIRANTOS_PG_BINDIR");
    if (!env.isEmpty())
        return env;
    QDir lib("/usr/lib/postgresql");
    QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& v : versions)
        if (QFileInfo(lib.filePath(v + "/bin/initdb")).isExecutable())
            return lib.filePath(v + "/bin");
    for (const QString& dir : qEnvironmentVariable("PATH").split(':'))
        if (!dir.isEmpty() && QFileInfo(dir + "/initdb").isExecutable())
            return dir;
    return {};
}

// Every folder above `path` must let others through, for the server user to reach its folder.
bool OthersCanReach(const QString& path)
{
    QString p = QFileInfo(path).absoluteFilePath();
    while (!p.isEmpty() && p != "/") {
        struct stat st {};
        if (::stat(QFile::encodeName(p).constData(), &st) != 0 || !(st.st_mode & S_IXOTH))
            return false;
        p = QFileInfo(p).path();
    }
    return true;
}

} // namespace

struct TPgCluster::Impl {
    QString bin, dir, data, log;
    std::string dirText, lastError;
    bool asOther = false; // root: the server runs as `uid`
    uid_t uid = 0;
    gid_t gid = 0;
    bool running = false;

    // Runs a server tool (as the server's user); its output in `out`.
    bool Run(const QString& tool, const QStringList& args, QString& out, int timeoutMs = 120000)
    {
        QProcess p;
        p.setWorkingDirectory(dir); // the server user may not enter the caller's folder
        p.setProcessChannelMode(QProcess::MergedChannels);
        QString program = bin + "/" + tool;
        QStringList all = args;
        if (asOther) {
            all = QStringList{QString("--reuid=%1").arg(uid), QString("--regid=%1").arg(gid),
                              "--clear-groups", "--", program} +
                  args;
            program = "setpriv";
        }
        p.start(program, all);
        if (!p.waitForStarted(10000)) {
            out = program + ": " + p.errorString();
            return false;
        }
        const bool finished = p.waitForFinished(timeoutMs);
        out = QString::fromLocal8Bit(p.readAll());
        if (!finished) {
            p.kill();
            p.waitForFinished();
            out += "\n(timed out)";
            return false;
        }
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    QString LogTail() const
    {
        QFile f(log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray all = f.readAll();
        return QString::fromLocal8Bit(all.right(2000));
    }

    bool StartServer(std::string& error)
    {
        QString out;
        if (!Run("pg_ctl", {"start", "-w", "-t", "60", "-D", data, "-l", log}, out)) {
            error = "pg_ctl start failed: " + out.toStdString() + "\n" + LogTail().toStdString();
            return false;
        }
        running = true;
        return true;
    }

    bool StopServer()
    {
        if (!running)
            return true;
        QString out;
        const bool ok = Run("pg_ctl", {"stop", "-w", "-m", "fast", "-D", data}, out);
        running = !ok;
        return ok;
    }
};

TPgCluster::TPgCluster() : impl_(std::make_unique<Impl>()) {}

TPgCluster::~TPgCluster()
{
    if (!impl_->StopServer()) {
        QString out;
        impl_->Run("pg_ctl", {"stop", "-w", "-m", "immediate", "-D", impl_->data}, out);
    }
    if (!impl_->dir.isEmpty())
        QDir(impl_->dir).removeRecursively();
}

std::unique_ptr<TPgCluster> TPgCluster::Start(std::string& error)
{
    std::unique_ptr<TPgCluster> c(new TPgCluster);
    Impl& d = *c->impl_;
    d.bin = FindBinDir();
    if (d.bin.isEmpty()) {
        error = "PostgreSQL server programs (initdb, pg_ctl) not found; install postgresql-15";
        return nullptr;
    }
    d.asOther = ::geteuid() == 0;
    QString base = QDir::tempPath();
    // The socket path must fit sun_path (108 bytes) and, under root, be reachable by the server.
    if (base.size() > 60 || (d.asOther && !OthersCanReach(base)))
        base = "/tmp";
    QByteArray tmpl = QFile::encodeName(base + "/mirantos-pg-XXXXXX");
    if (!::mkdtemp(tmpl.data())) {
        error = "cannot create a temporary folder in " + base.toStdString();
        return nullptr;
    }
    d.dir = QFile::decodeName(tmpl);
    d.dirText = d.dir.toStdString();
    d.data = d.dir + "/data";
    d.log = d.dir + "/server.log";
    if (d.asOther) {
        const passwd* pw = ::getpwnam("nobody");
        if (!pw) {
            error = "running as root and there is no user 'nobody' to run PostgreSQL as";
            return nullptr;
        }
        d.uid = pw->pw_uid;
        d.gid = pw->pw_gid;
        if (::chown(tmpl.constData(), d.uid, d.gid) != 0) {
            error = "cannot hand " + d.dir.toStdString() + " to the user 'nobody'";
            return nullptr;
        }
    }
    QString out;
    if (!d.Run("initdb",
               {"-D", d.data, "-U", "mirantos", "--auth=trust", "-E", "UTF8", "--locale=C",
                "--no-sync"},
               out)) {
        error = "initdb failed: " + out.toStdString();
        return nullptr;
    }
    QFile conf(d.data + "/postgresql.conf");
    if (!conf.open(QIODevice::Append | QIODevice::Text)) {
        error = "cannot write " + conf.fileName().toStdString();
        return nullptr;
    }
    // Socket only, in the cluster's own folder.
    conf.write(QString("\nlisten_addresses = ''\nunix_socket_directories = '%1'\nport = %2\n")
                   .arg(d.dir)
                   .arg(kPort)
                   .toUtf8());
    conf.close();
    if (!c->Restart()) {
        error = "PostgreSQL did not start: " + d.lastError;
        return nullptr;
    }
    return c;
}

bool TPgCluster::CreateDatabase(const std::string& name, std::string& error)
{
    static const QRegularExpression word("^[a-z_][a-z0-9_]{0,62}$");
    const QString n = QString::fromStdString(name);
    if (!word.match(n).hasMatch()) {
        error = "database name '" + name + "': lower-case letters, digits and _ only";
        return false;
    }
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(impl_->bin + "/createdb",
            {"-h", impl_->dir, "-p", QString::number(kPort), "-U", "mirantos", n});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        error = "createdb " + name + ": " + QString::fromLocal8Bit(p.readAll()).toStdString() +
                p.errorString().toStdString();
        return false;
    }
    return true;
}

std::string TPgCluster::Url(const std::string& database) const
{
    return "postgresql://mirantos@/" + database + "?host=" + impl_->dir.toStdString() +
           "&port=" + std::to_string(kPort);
}

const std::string& TPgCluster::SocketDir() const
{
    return impl_->dirText;
}

int TPgCluster::Port() const
{
    return kPort;
}

bool TPgCluster::Stop()
{
    return impl_->StopServer();
}

bool TPgCluster::Restart()
{
    return impl_->running || impl_->StartServer(impl_->lastError);
}

} // namespace mirantos::testing
