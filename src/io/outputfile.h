#pragma once
// Writing a file the user named: an export, a report, later a saved document. A regular file
// or a new path is written whole or not at all: the data go to a temporary file beside it,
// which replaces it only when everything is written (so a failed or abandoned write leaves
// the old file as it was). A device, a FIFO or one of the process's own streams
// (/dev/stdout, /dev/fd/N) is written directly, as a shell redirection would: replacing
// /dev/null with a regular file would break the system, and a FIFO's reader waits for bytes.
// "-" is standard output. Errors come in the system's own words ("No space left on device").
// A temporary file is not left behind when a signal ends the program: see InstallExitCleanup().

#include <QByteArray>
#include <QString>

namespace Quilo {

class COutputFile
{
public:
    enum class Kind {
        Unknown,     // not opened yet, or the open failed
        NewFile,     // nothing there yet: created whole at Commit()
        RegularFile, // an existing file: replaced whole at Commit(), its permissions kept
        Direct,      // a device, a FIFO, a socket, or a stream of this process
    };

    explicit COutputFile(const QString &path);
    ~COutputFile(); // without Commit() the target keeps what it held
    COutputFile(const COutputFile &) = delete;
    COutputFile &operator=(const COutputFile &) = delete;

    // Checks that the target can be written and opens it (for a regular file or a new path:
    // a temporary file in its folder). Call it before the work whose result goes there.
    bool Open();
    // Writes all of `data`; false on the first failure.
    bool Write(const QByteArray &data);
    // The write is final: the temporary file takes the target's place; a direct target is
    // closed. False (and the target as it was) when that fails.
    bool Commit();
    // Gives the write up: a regular file keeps its content, a new path stays free. What went
    // to a direct target is gone already.
    void Discard();

    Kind kind() const { return m_kind; }
    QString path() const { return m_path; }
    // The file that is replaced or created (a symbolic link's target); empty for direct ones.
    QString targetPath() const { return m_target; }
    int error() const { return m_error; }      // errno of the failure, 0 when none
    QString errorString() const;               // the system's words for it

private:
    bool fail(int error);
    bool openDirect(int duplicateOf);
    // `mode` < 0: a new file, made with the default permissions (the umask applies).
    bool openTemporary(int mode, long long owner, long long group);
    void closeFile();
    void forgetTemporary();

    QString m_path;
    QString m_target;
    QString m_temporary;
    Kind m_kind = Kind::Unknown;
    int m_fd = -1;
    int m_error = 0;
    int m_slot = -1; // in the list of temporaries a fatal signal removes
    bool m_done = false;
};

// Makes `signal` end the program as it would by default, but only after removing the temporary
// files of every output file not yet committed or discarded. Async-signal-safe, so a handler
// may call it to let the next signal end the program ("the next Ctrl-C is not polite"). An
// output file does this by itself, when it makes a temporary file, for each of SIGHUP, SIGINT,
// SIGQUIT, SIGPIPE and SIGTERM that still has its default action.
void InstallExitCleanup(int signal);

// True when the two paths name the same file: the same file system object when both exist,
// else the same name in the same (canonical) folder.
bool SameFile(const QString &a, const QString &b);

} // namespace Quilo
