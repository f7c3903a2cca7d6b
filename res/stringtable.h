#pragma once
// The string table: every text the program shows, addressed by number.
// Numbers below 63000 are the unit software's own resource numbers; 63000 and up are texts
// this port added (messages of the command line, status summaries, labels of Qt forms).

#include <QString>

class QTranslator;

#include <cstddef>

namespace Str {
enum Id : unsigned {
    DocString = 128,             // "Quilo ReadOut\n\nQuilo\n..." (seven fields)
    CmdLoad = 32783,
    CmdWrite = 32784,
    CmdOpen = 32786,
    CmdSave = 32787,
    CmdUserKey = 32789,
    CmdHelp = 32790,
    AppTitle = 57344,            // "tarvel"
    Ready = 57345,
    CmdAbout = 57664,
    CmdExit = 57665,
    IndicatorCaps = 59137,
    IndicatorNum = 59138,
    IndicatorScroll = 59139,

    TreeCounters = 61453,
    TreeConfig = 61454,
    TreeDateTime = 61455,
    TreeKeys = 61456,
    TreeMomentary = 61457,
    TreeDaily = 61458,
    TreeMonthly = 61459,
    TreeQuarterly = 61460,
    TreeYearly = 61461,
    TreeLogs = 61462,
    GroupOmh = 61463,
    GroupSzf = 61464,
    GroupLab = 61465,
    GroupOrganizer = 61467,
    TreeTables = 61468,

    ColIdx = 61469,
    ColDate = 61470,
    ColCashIn = 61471,
    ColCashOut = 61472,
    ColStake = 61473,
    ColWin = 61474,
    ColWinMax = 61475,
    ColWinMaxTime = 61476,
    ColOldDate = 61477,
    ColNewDate = 61478,
    ColKey = 61479,
    ColStart = 61480,
    ColEnd = 61481,
    RowNumber = 61482,           // "%d."

    FmtKey = 61487,
    FmtCount = 61489,
    FmtHex2 = 61490,
    FmtYear = 61491,
    FmtPair = 61492,
    FmtDate = 61493,
    FmtDateTime = 61494,
    InvalidDate = 61495,
    KeyModifyQuestion = 61497,
    KeyModifyCaption = 61498,
    ColState = 61499,
    FmtMoney = 61500,
    FmtWinMaxAt = 61501,

    TitleDaily = 61502,
    TitleMonthly = 61503,
    TitleQuarterly = 61504,
    TitleYearly = 61505,
    TitleDateLog = 61506,
    TitleKeyTable = 61507,
    TitleKeyLogs = 61508,
    TitleCounters = 61509,
    TitleDateTime = 61510,
    TitleCurrentKey = 61511,
    TitleMain = 61512,
    TitleConfig = 61513,
    TitleConfEvents = 61514,

    // --- texts without a number of their own in the unit software ---
    StateOk = 63000,
    StateError,
    WriteError,
    NotSupported,
    VersionError,
    CommLabel,                   // "Quilo Communication:"
    PortLabel,                   // "Port:"
    PortCom1,
    PortCom2,
    PortCom3,
    PortCom4,
    AboutCaption,
    AboutVersion,
    AboutNotice,
    AboutOk,
    MenuFile,
    MenuFileOpen,
    MenuFileSave,
    MenuFileExit,
    MenuQuilo,
    MenuQuiloLoad,
    MenuQuiloWrite,
    MenuHelp,
    MenuHelpHelp,
    MenuHelpAbout,
    StartPageMissing,            // the generic failure message when wtarvel.rtf is missing
    ProductName,                 // "Quilo ReadOut"

    // Labels of the form views.
    LblCashIn = 63100,
    LblCashOut,
    LblStake,
    LblWin,
    LblWinMax,
    LblGameCounter,
    LblDateTimeGroup,            // "Date/Time"
    LblSetFromPc,
    LblKeyGroup,                 // "Key:"
    LblKeyModeTitle,             // "Key mode"
    LblSwKeyMode,
    LblCfgType,
    LblCfgMfgNo,
    LblCfgMfgDate,
    LblCfgLicenceNo,
    LblCfgLicenceExpiry,
    LblCfgCardMfgNo,
    LblCfgOmhId,
    LblCfgCertCode,
    LblCfgCertDate,
    LblCfgLabCode,
    LblCfgCertificateNo,
    LblCfgName,
    LblCfgAddress,
    LblCfgCounterStep,
    LblCfgInitialIn,
    LblCfgInitialOut,
    LblCfgInitialStake,
    LblCfgNote,
    LblGrpManufacturing,
    LblGrpOrganizer,
    LblGrpOmh,
    LblGrpCounterValues,
    LblLog,
    LblNumber,
    LblChangeTime,
    LblCountersPrior,
    LblIn,
    LblOut,
    LblStakeColon,
    LblWinColon,
    LblGames,

    // 63200..63399: status summaries and result words (engine summaries, status bar)
    Result0 = 63200,             // "read"
    Result1,                     // "request not sent"
    Result16,                    // "two-byte reply"
    Result32,                    // "wrong reply length"
    Result48,                    // "bad checksum"
    Result64,                    // "refused"
    Result256,                   // "key refused"
    ResultNotRead,               // "not read"

    // 63400..63999: the command-line front end.
    CliFirst = 63400,
    CliUsage = CliFirst,         // the help text of `quilo`
    CliErrOption,
    CliErrNoCommand,
    CliErrCommand,
    CliErrSetMissing,
    CliErrUnknownSet,
    CliErrUnknownGroup,
    CliErrGroupMissing,
    CliErrEvent,
    CliErrExtraWords,
    CliErrKeyText,
    CliErrPortName,
    CliErrPace,
    CliErrFormat,
    CliErrSeparator,
    CliErrClockText,
    CliErrClockYear,
    CliErrClockBoth,
    CliErrClockMissing,
    CliErrWriteKeyArgs,
    CliErrRow,
    CliErrOutput,
    CliErrPortOpen,
    CliHintMissing,
    CliHintBusy,
    CliHintPermission,
    CliHintOther,
    CliColResult,
    CliResultOther,
    CliPartsFailed,
    CliProgress,
    CliSetFailed,
    CliStopped,
    CliConfirmClock,
    CliConfirmKey,
    CliPcClock,
    CliDeclined,
    CliWriteFailed,
    CliReadBackOk,
    CliReadBackDiffer,
    CliReadBackFailed,
    CliUnknownValue,
    CliPortsHeader,
    CliPortsNone,
    CliPortsNames,
    CliPortsNowhere,
    CliPortsDialout,
    CliSimulated,
    CliSimFailed,
    CliTraceFailed,
    CliVersion,
    CliErrClockPc,
    CliTraceSent,
    CliTraceChecksumOk,
    CliTraceDiscarded,
    CliSourceOverride,
    CliSourceEnvironment,
    CliSourceSettings,
    CliSourceDefault,
    CliSilent,
    CliKeyDamagedNew = 63470,    // a damaged write answer, then what the unit holds
    CliKeyDamagedOld,
    CliKeyDamagedOther,
    CliKeyDamagedUnknown,
    CliClockDamagedNew,
    CliClockDamagedOld,
    CliClockDamagedUnknown,
    CliErrOutputWrite,           // "writing %1 failed: %2 ..."
    CliNothingRead,              // "nothing was read, so %1 was left as it was."
    CliErrTraceSame,
    CliErrTraceWrite,
    CliErrOutputOption,          // set-clock and write-key take no output options
    CliSilentSets,               // sets that got no byte back
    CliLateSets,                 // sets whose replies all came too late
    CliPartsAllFailed,
    CliPartsSilent,
    CliNoReply,                  // "no reply"
    CliErrShowFile = 63490,      // show without a file
    CliErrShowRead,              // "%1: %2" why a saved read-out cannot be shown
    CliYesWords,                 // "y|yes": the answers that confirm a write, as the question offers them
    CliErrOptionNotFor,          // "%1 does not take %2; leave it out."

    // 63500..63799: the window (status-bar summaries, file opening).
    SumPortFailed = 63500,       // "%1: port could not be opened. %2"
    SumRead,                     // "%1: %2 of %3 records read"
    SumSkipped,                  // ", %1 already read"
    SumFailedOne,                // "; %1 record failed: %2"
    SumFailedMany,               // "; %1 records failed: %2"
    SumStopped,                  // "; stopped"
    SumWriteDone,                // "Written to the unit"
    SumWriteFailed,              // "Write failed"
    ResultOther,                 // "other error"
    FileNotRead,                 // "%1: reading files is not supported; nothing was read from it"
    SumAllKept,                  // "%1: %2 of %2 records read before; ..."

    // 63520..63599: the window's transfers on the line's own thread and the record states.
    SumSkippedFailed = 63520,    // ", %1 failed earlier (Load reads them again)"
    SumSilent,                   // "; the unit does not answer on %1"
    SumLineLost,                 // "; the line to the unit was lost"
    SumHoldsNew,
    SumHoldsOld,
    SumHoldsUnknown,
    SumReading,                  // "%1: reading from the unit..."
    SumStopping,
    SumWriting,
    CmdStop,                     // prompt and button text of Stop
    StateWritten,                // "written"
    StateNotRead,                // the key table's state column for a key not read
    FormNotRead,
    FormFailed,
    FormChunksFailed,
    ClockNotRead,
    ClockFailed,
    ClockInvalid,
    KeyIncomplete,
    SumNoReply,                  // "; %1 got no reply at all"

    // 63540..63599: the window's read-out files, export, printing and the whole-unit read.
    CmdReadAll = 63540,          // prompt\nmenu text, as the other commands
    CmdSaveAs,
    CmdExportSetCsv,
    CmdExportSetJson,
    CmdExportAllCsv,
    CmdExportAllJson,
    CmdPrintSet,
    CmdPrintReport,
    CmdPdfSet,
    CmdPdfReport,
    CmdBackToUnit,
    MenuExport,
    MenuRecent,                  // "&%1 %2": number and path of a recent file
    FileFilterQuilo,
    FileFilterCsv,
    FileFilterJson,
    FileFilterPdf,
    FileOpenFailed,              // "%1 cannot be opened: %2"
    FileSaveFailed,
    FileSaved,                   // "Saved to %1"
    FileExported,
    FileOffline,                 // "Shown from %1 ..."
    SumReadAll,                  // "Whole unit: %1 of %2 records and parts read"
    ReportTitle,
    ReportUnit,
    ReportPort,
    ReportMade,
    ReportSaved,
    ReportClock,
    ReportResult,
    ReportProgram,
    FileOpenTitle,
    FileSaveTitle,
    FileExportTitle,
    FilePdfTitle,
    FileNothingToExport,
    FileBusy,

    // 63800..63849: the serial line (why a port did not open, ports and adapters).
    PortErrNoDevice = 63800,     // "There is no serial port %1."
    PortErrBusy,                 // "%1 is in use by another program."
    PortErrPermission,           // "No permission to open %1 ..."
    PortErrOther,                // "%1 cannot be opened: %2"
    PortErrSettings,             // "%1 does not support these line settings ..."
    CliPortsStableName = 63810,  // "      also as %1"
    CliPortsLatency,             // "latency timer %1 ms"
    CliPortsLatencyHint,         // "%1 holds received bytes for up to %2 ms ..."
    CliPortsStableHint,          // "A name under /dev/serial/by-id stays the same ..."


    // 63850..63899: port mappings, the start page's file.
    PortErrMapping = 63850,      // "%1 leads nowhere: the port mapping ... is malformed"
    StartPageNotFile,            // "This is not a regular file."
    PortMapNoPath,               // why a port mapping is malformed
    PortMapBadName,
    PortMapNoEntry,
    PortMapTwice,

    // 64000..64099: read-out files.
    FileErrNotJson = 64000,      // "%1 is not a Quilo read-out: %2"
    FileErrFormat,
    FileErrNewer,
    FileErrField,
    FileErrTooLarge,
    FileErrNotRegular,
    FileErrRead,
    FileErrWrite,
    FileDetailShape,             // "%1: \"%2\" is missing or not what it should be"
    FileDetailIndex,
    FileDetailTwice,
    FileDetailStatus,
    FileDetailRaw,
    FileDetailNoRaw,
    FileDetailTime,
    FileDetailSet,

    // 64200..64499: the visit history.
    HistErrUrl = 64200,
    HistErrUrlEmpty,
    HistErrUrlForm,
    HistErrUrlPath,
    HistErrUrlScheme,
    HistErrUrlOption,
    HistErrUrlHost,
    HistErrUrlDatabase,
    HistNoIdentity,
    HistNoTime,
    HistErrDamaged,
    HistErrDriver,
    HistErrOpen,
    HistErrFolder,
    HistErrSchema,
    HistErrNoVersion,
    HistErrNewer,
    HistErrNotOpen,
    HistErrWrite,
    HistErrRead,
    HistErrNoUnit,
    HistErrUnitAmbiguous,
    HistErrEmpty,
    HistErrNoVisit,
    HistErrVisitAmbiguous,
    HistRecorded,
    HistAlreadyThere,
    HistSentQueued,
    HistLost,
    HistQueued,
    HistFlagCounterLower,
    HistFlagClosedChanged,
    HistFlagConfigChanged,
    HistFlagNewEvent,
    HistFlagClockSet,
    HistFlagKeyChanged,
    HistFlagClockOff,
    HistDays,
    HistHoursMinutes,
    HistPeriod,
    HistUnitClock,
    HistDrift,
    HistDriftValue,
    HistNetCash,
    HistNetStake,
    HistColType,
    HistColNumber,
    HistColVisits,
    HistColLastVisit,
    HistColVisit,
    HistColId,
    HistColPcTime,
    HistColUnitClock,
    HistColOffset,
    HistColSource,
    HistColPort,
    HistErrImportArgs,
    HistStillWaiting,
    HistErrTwoUnits,
    HistErrOneVisit,
    HistErrCompareArgs,
    HistCompareTitle,
    HistColEarlier,
    HistColLater,
    HistColDifference,
    HistFlagsRaised,
    HistNotComplete,
    HistImportStopped,
    HistRecordSetting,
    HistUrlPlaceholder,
    HistApply,
    HistRefresh,
    HistImport,
    HistStop,
    HistColUnitOrVisit,
    HistTabComparison,
    HistPairStakeWin,
    HistPairCash,
    HistTabLogs,
    HistTabCounters,
    HistLocation,
    HistImporting,
    HistVisitCount,
    HistNothingYet,
    HistFlagsHeading,
    HistSectionAdded,
    HistSectionCounters,
    HistSectionPeriod,
    HistNoFlags,
    HistCountersChart,
    CmdHistory,
    TitleHistory,

    // The window's whole-unit read, offline keys, start page, history view (64600..64624)
    SumReadingAll = 64600,
    SumWithVisit,
    ReadAllCloseQuestion,
    FileStoppedReadAll,
    KeyOfflineNoEdit,
    StartPageLookedFor,
    HistFromDefault,
    HistFromSettings,
    HistOneVisit,
    SumReadParts,
    SumPartsKept,
    // quilo's output checks: standard output, a target cut short, files that are not outputs
    CliErrStdout = 64625,        // "writing to standard output failed after %1 of %2 bytes: %3 ..."
    CliErrOutputCut,             // -o onto a device or FIFO that took part of the data
    CliErrHistoryFile,           // "%1 %2 is the visit history's file ..."
    CliErrLanguage,              // --lang with a language the program does not speak
    CliErrOutputEmpty,           // -o ''
    // The outbox: what waits for which history.
    HistWaitingTotal = 64660,    // "%1 visit(s) wait on this PC to be sent: %2"
    HistWaitingFor,              // "%1 for %2"
    HistWaitingUnknown,          // "%1 for a history not known: ..."
    HistWaitingNamesNone,        // "%1 for %2, which names no history: ..."
    // Files read and written (64700..64724)
    FileDetailDuplicateKey = 64700, // "the key \"%1\" appears twice in one object"
    // Network ports (64730..64769)
    NetBadAddress = 64730,
    NetErrBadPort,
    NetProblemScheme,
    NetProblemHostPort,
    NetProblemPort,
    NetErrNoHost,
    NetErrRefused,
    NetErrTimeout,
    NetErrConnect,
    NetErrTlsUnknown,
    NetErrTlsFile,
    NetErrTls,
    NetErrTlsCert,
    NetErrTlsSilent,
    NetErrClosed,
    NetErrNoComPort,
    NetErrNoBinary,
    NetErrLineRefused,
    NetErrSetupSilent,
    NetAnswerBaud,
    NetAnswerDataSize,
    NetAnswerParity,
    NetAnswerStopSize,
    NetAnswerControl,
    NetKeyPlain,
    CliNetUsage,
    CliErrConnectTimeout,
    CliPortsNetwork,
    CliPortsAnswers,
    CliPortsNoAnswer,
    CliWarning,
    NetErrTlsNeedCert,
    NetErrTlsCertRefused,
    // The comparison: what was not read at a visit is not compared (64770..64799)
    HistSectionNotCompared = 64770,
    HistNotReadAt,
    HistRows,
    HistRow,
    // quilo collect: the unattended collection of many units (64800..64849)
    CollectUsage = 64800,
    CollectErrOption,
    CollectErrValue,
    CollectErrEveryAt,
    CollectErrNoUnits,
    CollectErrUnitsRead,
    CollectErrUnitsLine,
    CollectLineNoPort,
    CollectLineUnknown,
    CollectLineDupName,
    CollectLineDupPort,
    CollectLineTooLong,
    CollectTooManyUnits,
    CollectKeyFileOpen,
    CollectKeyFileMode,
    CollectKeyFileBad,
    CollectEvent,
    CollectReading,
    CollectReadDone,
    CollectFailedFinal,
    CollectRetry,
    CollectWhyBusy,
    CollectWhySilent,
    CollectWhyLost,
    CollectWhyStopped,
    CollectWhyNotStarted,
    CollectFlags,
    CollectNoPrevious,
    CollectNotCompared,
    CollectOnFlagExit,
    CollectOnFlagFailed,
    CollectOnFlagTimeout,
    CollectStopping,
    CollectRoundStart,
    CollectNextRound,
    CollectHistoryOff,
    CollectColUnit,
    CollectColPort,
    CollectColResult,
    CollectColVisit,
    CollectColFlags,
    CollectResRead,
    CollectResPartly,
    CollectVisitRecorded,
    CollectVisitKept,
    CollectVisitNone,
    CollectSummary,
    // The office site, quilo serve (64850..64999)
    SiteTitle = 64850,
    SiteNavFleet,
    SiteNavFlags,
    SiteSignedInAs,
    SiteSignOut,
    SiteSignInTitle,
    SiteName,
    SitePassword,
    SiteSignInButton,
    SiteSignInWrong,
    SiteSignInPause,
    SiteFilter,
    SiteFilterButton,
    SiteFleetSummary,
    SiteColUnit,
    SiteColFlags,
    SiteColFlag,
    SiteOneVisitShort,
    SitePrevious,
    SiteNext,
    SitePageOf,
    SiteUnitTitle,
    SiteComparisonHeading,
    SiteComparisonHeadingNone,
    SiteOneVisit,
    SiteCompareButton,
    SiteDownloadCsv,
    SiteDownloadJson,
    SiteDownloadVisit,
    SiteChartsHeading,
    SiteGames,
    SiteGamesChart,
    SiteLogChart,
    SiteFlagsTitle,
    SiteNoFlagsFleet,
    SiteErrTitle,
    SiteErrBadParameter,
    SiteErrNoUnit,
    SiteErrNoVisit,
    SiteErrVisitOfOther,
    SiteErrUnreachable,
    SiteErrNotFound,
    SiteErrInternal,
    SiteBackToFleet,
    SiteErrAccountWrite,
    SiteErrHash,
    SiteServeUsage,
    SiteServeBadPort,
    SiteServeBadThreads,
    SiteServeNeedsBoth,
    SiteServeNeedsTls,
    SiteServeTlsBad,
    SiteServeBindFailed,
    SiteServeListening,
    SiteServeNoAccounts,
    SiteServeStopped,
    SiteAddUserPrompt,
    SiteAddUserRepeat,
    SiteAddUserMismatch,
    SiteAddUserShort,
    SiteAddUserBadName,
    SiteAddUserDone,
    SiteServeCompared,
};
} // namespace Str

// The text of string `id`, translated when a translation is installed; the empty text for an
// unknown number.
QString LoadString(unsigned id);

// The text of string `id` as written in the table, never translated: for names that other
// programs read (JSON keys, file fields).
QString LoadSourceString(unsigned id);

// While one lives, LoadString on this thread gives the table's own (English) texts: for output
// that other programs read, built by the same code as the texts people read.
class CSourceTexts
{
public:
    CSourceTexts();
    ~CSourceTexts();
    CSourceTexts(const CSourceTexts &) = delete;
    CSourceTexts &operator=(const CSourceTexts &) = delete;
};

// While one lives, LoadString on this thread translates with `translator` (null: the table's
// own English) instead of the application's translators: a server answering each request in
// the language its browser asks for, on threads of its own, never touches what the others use.
class ThreadLanguage
{
public:
    explicit ThreadLanguage(const QTranslator *translator);
    ~ThreadLanguage();
    ThreadLanguage(const ThreadLanguage &) = delete;
    ThreadLanguage &operator=(const ThreadLanguage &) = delete;

private:
    const QTranslator *m_previous;
    bool m_wasSet;
};

// True when the table holds `id`.
bool HasString(unsigned id);

// For the table's own checks: entries in table order.
namespace StringTable {
std::size_t count();
unsigned idAt(std::size_t index);
}
