#pragma once
// A PostgreSQL server of the tests' own: initdb in a temporary folder, started on a free
// loopback port with password logins, stopped and removed at the end. When the tests run as
// root the server runs as the unprivileged user "postgres" (PostgreSQL refuses to run as
// root), which then owns the folder. Uses the Debian server binaries
// (/usr/lib/postgresql/N/bin, or the folder QUILO_TEST_PG_BIN names); without them Start()
// fails with a message that says how to install them, and only the cases that need the server
// fail.

#include <QString>
#include <QTemporaryDir>

#include <memory>

class CPgServer
{
public:
    static constexpr char kUser[] = "quilo";
    static constexpr char kPassword[] = "quilo-test-secret";

    CPgServer();
    ~CPgServer();

    bool Start(QString *error);   // initdb on first start, then pg_ctl start
    bool Stop(QString *error);    // pg_ctl stop -m fast
    bool IsRunning() const { return m_running; }
    int Port() const { return m_port; }

    // A new, empty database; its URL for the history (password included).
    bool CreateDatabase(const QString &name, QString *error);
    QString Url(const QString &database) const;

    // The folder with initdb and pg_ctl, or empty.
    static QString BinaryFolder();
    // What to do when there is none.
    static QString InstallHint();

private:
    bool Run(const QString &program, const QStringList &arguments, QString *error, int timeoutMs = 60000);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bin;
    int m_port = 0;
    bool m_initialised = false;
    bool m_running = false;
};
