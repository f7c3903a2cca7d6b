#pragma once
// The window's files: opening a saved read-out (shown offline until "Back to the unit"),
// saving the document as a .quilo file, exporting the shown data set or the whole document
// as CSV or JSON (the command line's bytes for the same data), printing and PDF reports, and
// the four most recent files. Reading and writing files runs off the window's thread.

#include "datasets.h"
#include "quilofile.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>

#include <functional>

class CTarvelDoc;
class QAction;
class QMenu;
class QWidget;

class CFileCommands : public QObject
{
    Q_OBJECT
public:
    enum class Scope { Shown, Whole };
    enum class Format { Csv, Json };

    // `window` parents the dialogs; `shownView` tells the view command on show (what "the
    // shown data set" exports and prints).
    CFileCommands(QWidget &window, CTarvelDoc &doc, std::function<unsigned()> shownView);
    ~CFileCommands() override;

    // Dialogs first, then the work.
    void Open();
    void Save();
    void SaveAs();
    void Export(Scope scope, Format format);
    void Print(Scope scope);
    void Pdf(Scope scope);
    void BackToUnit();

    // Without dialogs, for the command line, a drop and the tests. Open reports failure in a
    // message box and leaves the document as it was.
    void OpenPath(const QString &path);
    void SaveTo(const QString &path);
    void ExportTo(const QString &path, Scope scope, Format format);
    void PdfTo(const QString &path, Scope scope);

    // Something to save, export or print: records read, or a file shown.
    bool HasContent() const;
    bool InBackground() const { return m_running > 0; }
    // What the file shown says of itself (port, time); empty while the unit is shown.
    const Quilo::ReadOutInfo &ShownFileInfo() const { return m_fileInfo; }

    // The recent files as actions of `menu`, each before `before`.
    QList<QAction *> FillRecentMenu(QMenu *menu, QAction *before);

signals:
    // A sentence for the status bar.
    void message(const QString &text);
    // Every file write or read in the background is over.
    void idle();

private:
    QList<Quilo::CSetSpec> sets(Scope scope) const;
    QString reportHtml(Scope scope) const;
    QString askSavePath(unsigned title, unsigned filter, const QString &suffix, const QString &name);
    void remember(const QString &path);
    void failed(unsigned text, const QString &path, const QString &why);
    void whenIdle(std::function<void()> then);
    void background(std::function<QString()> work, std::function<void(const QString &error)> done);
    // An export or a report to `path`, off the window's thread; the status bar says how it went.
    void writeOut(const QString &path, const QByteArray &bytes);

    QWidget &m_frame;
    std::function<unsigned()> m_shownView;
    CTarvelDoc &m_doc;
    QString m_strSavePath;         // where Save writes without asking
    Quilo::ReadOutInfo m_fileInfo; // of the file shown
    int m_running = 0;
    QThreadPool m_pool; // the file jobs, each on one of its threads
};
