#include "filecommands.h"

#include "exporttable.h"
#include "fields.h"
#include "formatters.h"
#include "messagebox.h"
#include "outputfile.h"
#include "recentfiles.h"
#include "report.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "unitclock.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QTextDocument>
#include <QThreadPool>

#include <memory>

using namespace Quilo;

namespace {

// A report on A4 with a margin a printer can keep; the pages are numbered by QTextDocument.
void printHtml(const QString &html, QPagedPaintDevice *device)
{
    device->setPageSize(QPageSize(QPageSize::A4));
    device->setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    QTextDocument document;
    document.setHtml(html);
    document.print(device);
}

// CSV in the language shown, JSON in the program's own English: what scripts read.
QByteArray exportBytes(const Quilo::ReadOut &readOut, const QList<CSetSpec> &wanted, CFileCommands::Format format,
                       const QString &port)
{
    if (format == CFileCommands::Format::Json)
        return ExportJson(readOut, wanted, CExportInfo{port, false});
    return FormatCsv(BuildSections(readOut, wanted), LocaleSeparator(QLocale()));
}

} // namespace

CFileCommands::CFileCommands(QWidget &window, CTarvelDoc &doc, std::function<unsigned()> shownView)
    : QObject(&window), m_frame(window), m_shownView(std::move(shownView)), m_doc(doc)
{
}

CFileCommands::~CFileCommands()
{
    // a file half written when the window closes would be a temporary file left behind
    m_pool.waitForDone();
}

bool CFileCommands::HasContent() const
{
    return m_doc.IsOffline() || m_doc.HoldsAnything();
}

QList<CSetSpec> CFileCommands::sets(Scope scope) const
{
    if (scope == Scope::Whole)
        return AllSets();
    const DataSetInfo *shown = FindDataSetByView(m_shownView ? m_shownView() : 0);
    if (!shown)
        return {};
    const Quilo::ReadRequest selected = m_doc.Selection();
    return {SpecFor(shown->id, selected.first, selected.last, selected.event)};
}

void CFileCommands::background(std::function<QString()> work, std::function<void(const QString &)> done)
{
    ++m_running;
    m_pool.start([this, work, done] {
        const QString error = work();
        // The answer on the window's thread; the destructor waits for every job first.
        QMetaObject::invokeMethod(this, [this, done, error] {
            --m_running;
            done(error);
            if (m_running == 0)
                emit idle();
        }, Qt::QueuedConnection);
    });
}

void CFileCommands::whenIdle(std::function<void()> then)
{
    if (!m_doc.IsBusy()) {
        then();
        return;
    }
    // the records still on their way must not land in what comes next
    m_doc.StopOperation();
    emit message(LoadString(Str::FileBusy));
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(&m_doc, &CTarvelDoc::busyChanged, this, [this, once, then](bool busy) {
        if (busy)
            return;
        QObject::disconnect(*once);
        // after the stopped read has said how it ended (its summary, its visit), not before
        QMetaObject::invokeMethod(this, then, Qt::QueuedConnection);
    });
}

void CFileCommands::failed(unsigned text, const QString &path, const QString &why)
{
    MessageRequest box;
    box.icon = QMessageBox::Warning;
    box.text = LoadString(text).arg(QFileInfo(path).fileName(), why);
    box.caption = LoadString(Str::DocString).section(QLatin1Char('\n'), 0, 0);
    messageBox(&m_frame, box);
}

void CFileCommands::remember(const QString &path)
{
    RecentFileList recent;
    recent.load();
    recent.add(path);
    recent.save();
}

QList<QAction *> CFileCommands::FillRecentMenu(QMenu *menu, QAction *before)
{
    RecentFileList recent;
    recent.load();
    QList<QAction *> made;
    int n = 0;
    for (const QString &path : recent.files()) {
        auto *a = new QAction(LoadString(Str::MenuRecent).arg(++n).arg(QDir::toNativeSeparators(path)), menu);
        a->setData(path);
        connect(a, &QAction::triggered, this, [this, path] { OpenPath(path); });
        menu->insertAction(before, a);
        made << a;
    }
    return made;
}

// --- open ---

void CFileCommands::Open()
{
    const QString path = QFileDialog::getOpenFileName(&m_frame, LoadString(Str::FileOpenTitle), QString(),
                                                      LoadString(Str::FileFilterQuilo));
    if (!path.isEmpty())
        OpenPath(path);
}

void CFileCommands::OpenPath(const QString &path)
{
    auto readOut = std::make_shared<ReadOutFile>();
    background(
        [path, readOut] {
            const Result<QByteArray> bytes = ReadFileBytes(path);
            if (!bytes)
                return bytes.error();
            Result<ReadOutFile> parsed = ParseReadOut(*bytes);
            if (!parsed)
                return parsed.error();
            *readOut = std::move(parsed).value();
            return QString();
        },
        [this, path, readOut](const QString &error) {
            if (!error.isEmpty()) {
                failed(Str::FileOpenFailed, path, error); // what was shown stays
                return;
            }
            // a whole-unit read stopped for the file is a visit lost: the message says so
            const bool stopsVisit = m_doc.IsBusy() && m_doc.RunningDataSet() == CTarvelDoc::kReadAll;
            whenIdle([this, path, readOut, stopsVisit] {
                ShowReadOut(*readOut, m_doc);
                m_fileInfo = readOut->info;
                m_strSavePath = QFileInfo(path).absoluteFilePath();
                m_doc.SetOffline(m_strSavePath);
                remember(path);
                const QString saved = m_fileInfo.savedAt.isValid()
                                          ? QLocale().toString(m_fileInfo.savedAt.toLocalTime(), QLocale::ShortFormat)
                                          : QStringLiteral("?");
                const QString shown = LoadString(Str::FileOffline).arg(QFileInfo(path).fileName(), saved);
                emit message(stopsVisit ? LoadString(Str::FileStoppedReadAll).arg(shown) : shown);
            });
        });
}

void CFileCommands::BackToUnit()
{
    m_fileInfo = ReadOutInfo();
    m_strSavePath.clear();
    m_doc.SetOffline(QString());
}

// --- save ---

QString CFileCommands::askSavePath(unsigned title, unsigned filter, const QString &suffix, const QString &name)
{
    QString start = name;
    if (!m_strSavePath.isEmpty())
        start = QFileInfo(m_strSavePath).dir().filePath(name);
    QString path = QFileDialog::getSaveFileName(&m_frame, LoadString(title), start, LoadString(filter));
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += suffix;
    return path;
}

void CFileCommands::Save()
{
    if (m_strSavePath.isEmpty())
        SaveAs();
    else
        SaveTo(m_strSavePath);
}

void CFileCommands::SaveAs()
{
    const ReadOutInfo identity = IdentityOf(m_doc.ReadOut());
    QString name = identity.unitNumber.isEmpty() ? QStringLiteral("read-out") : identity.unitNumber.trimmed();
    name += QLatin1Char(' ') + QDate::currentDate().toString(Qt::ISODate) + QLatin1String(kFileSuffix);
    const QString path = askSavePath(Str::FileSaveTitle, Str::FileFilterQuilo, QLatin1String(kFileSuffix), name);
    if (!path.isEmpty())
        SaveTo(path);
}

void CFileCommands::SaveTo(const QString &path)
{
    ReadOutInfo info = m_fileInfo;
    if (!m_doc.IsOffline()) {
        info.port = m_doc.PortName();
        info.savedAt = QDateTime::currentDateTimeUtc();
        info.request.clear();
        info.stopped = false;
    }
    const QByteArray bytes = SaveReadOut(m_doc.ReadOut(), info);
    background([path, bytes] { return WriteFileAtomically(path, bytes).error(); },
               [this, path](const QString &error) {
                   if (!error.isEmpty()) {
                       failed(Str::FileSaveFailed, path, error);
                       return;
                   }
                   m_strSavePath = QFileInfo(path).absoluteFilePath();
                   remember(path);
                   emit message(LoadString(Str::FileSaved).arg(QDir::toNativeSeparators(path)));
               });
}

// --- export, print ---

void CFileCommands::Export(Scope scope, Format format)
{
    const QList<CSetSpec> wanted = sets(scope);
    if (wanted.isEmpty())
        return;
    const bool csv = format == Format::Csv;
    const QString suffix = csv ? QStringLiteral(".csv") : QStringLiteral(".json");
    const QString name = (scope == Scope::Whole ? QStringLiteral("read-out") : wanted.first().label()) + suffix;
    const QString path = askSavePath(Str::FileExportTitle, csv ? Str::FileFilterCsv : Str::FileFilterJson, suffix,
                                     name);
    if (!path.isEmpty())
        ExportTo(path, scope, format);
}

void CFileCommands::ExportTo(const QString &path, Scope scope, Format format)
{
    const QString port = m_doc.IsOffline() ? m_fileInfo.port : m_doc.PortName();
    writeOut(path, exportBytes(m_doc.ReadOut(), sets(scope), format, port));
}

void CFileCommands::writeOut(const QString &path, const QByteArray &bytes)
{
    background([path, bytes] {
        COutputFile file(path);
        if (!file.Open() || !file.Write(bytes) || !file.Commit())
            return file.errorString();
        return QString();
    },
               [this, path](const QString &error) {
                   if (!error.isEmpty())
                       failed(Str::FileSaveFailed, path, error);
                   else
                       emit message(LoadString(Str::FileExported).arg(QDir::toNativeSeparators(path)));
               });
}

QString CFileCommands::reportHtml(Scope scope) const
{
    ReportFacts facts;
    const ReadOutInfo identity = IdentityOf(m_doc.ReadOut());
    if (!identity.unitType.isEmpty() || !identity.unitNumber.isEmpty())
        facts.unit = (identity.unitType + QLatin1Char(' ') + identity.unitNumber).trimmed();
    facts.port = m_doc.IsOffline() ? m_fileInfo.port : m_doc.PortName();
    if (m_doc.IsOffline() && m_fileInfo.savedAt.isValid())
        facts.readAt = QLocale().toString(m_fileInfo.savedAt.toLocalTime(), QLocale::ShortFormat);
    if (m_doc.ReadOut().ClockRead())
        facts.clock = m_doc.ReadOut().Clock().GetText();
    facts.program = m_doc.IsOffline() ? m_fileInfo.program : QString();
    facts.printed = QDateTime::currentDateTime();
    return ReportHtml(BuildSections(m_doc.ReadOut(), sets(scope)), facts);
}

void CFileCommands::Print(Scope scope)
{
    if (sets(scope).isEmpty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, &m_frame);
    if (dialog.exec() != QDialog::Accepted)
        return;
    printHtml(reportHtml(scope), &printer);
}

void CFileCommands::Pdf(Scope scope)
{
    if (sets(scope).isEmpty())
        return;
    const QString name = (scope == Scope::Whole ? QStringLiteral("read-out") : sets(scope).first().label())
                         + QStringLiteral(".pdf");
    const QString path = askSavePath(Str::FilePdfTitle, Str::FileFilterPdf, QStringLiteral(".pdf"), name);
    if (!path.isEmpty())
        PdfTo(path, scope);
}

void CFileCommands::PdfTo(const QString &path, Scope scope)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(300);
        writer.setTitle(LoadString(Str::ReportTitle));
        writer.setCreator(LoadString(Str::ProductName));
        printHtml(reportHtml(scope), &writer);
    }
    writeOut(path, buffer.data());
}
