#include "stringtable.h"

#include <QCoreApplication>

#include <algorithm>
#include <iterator>

namespace {

struct Entry {
    unsigned id;
    const char *text;
};

// Sorted by number; the test checks the order and every text.
constexpr Entry kTable[] = {
    {Str::DocString, QT_TRANSLATE_NOOP("Quilo", "Quilo ReadOut\n\nQuilo\nQuilo Files (*.quilo)\n.quilo\nQuilo.Document\nQuilo Document")},
    {Str::CmdLoad, QT_TRANSLATE_NOOP("Quilo", "Load current data from Quilo")},
    {Str::CmdWrite, QT_TRANSLATE_NOOP("Quilo", "Write current data to Quilo")},
    {Str::CmdOpen, QT_TRANSLATE_NOOP("Quilo", "Load from file (not supported yet)")},
    {Str::CmdSave, QT_TRANSLATE_NOOP("Quilo", "Save to file (not supported yet)")},
    {Str::CmdUserKey, QT_TRANSLATE_NOOP("Quilo", "Define user key(mode)")},
    {Str::CmdHelp, QT_TRANSLATE_NOOP("Quilo", "Help")},
    {Str::AppTitle, QT_TRANSLATE_NOOP("Quilo", "tarvel")},
    {Str::Ready, QT_TRANSLATE_NOOP("Quilo", "Ready")},
    {Str::CmdAbout, QT_TRANSLATE_NOOP("Quilo", "Display program information, version number and copyright\nAbout")},
    {Str::CmdExit, QT_TRANSLATE_NOOP("Quilo", "Quit the application; prompts to save documents\nExit")},
    {Str::IndicatorCaps, QT_TRANSLATE_NOOP("Quilo", "CAP")},
    {Str::IndicatorNum, QT_TRANSLATE_NOOP("Quilo", "NUM")},
    {Str::IndicatorScroll, QT_TRANSLATE_NOOP("Quilo", "SCRL")},

    {Str::TreeCounters, QT_TRANSLATE_NOOP("Quilo", "Counters")},
    {Str::TreeConfig, QT_TRANSLATE_NOOP("Quilo", "Config")},
    {Str::TreeDateTime, QT_TRANSLATE_NOOP("Quilo", "Date/Time")},
    {Str::TreeKeys, QT_TRANSLATE_NOOP("Quilo", "Keys")},
    {Str::TreeMomentary, QT_TRANSLATE_NOOP("Quilo", "momentary")},
    {Str::TreeDaily, QT_TRANSLATE_NOOP("Quilo", "daily")},
    {Str::TreeMonthly, QT_TRANSLATE_NOOP("Quilo", "monthly")},
    {Str::TreeQuarterly, QT_TRANSLATE_NOOP("Quilo", "quarterly")},
    {Str::TreeYearly, QT_TRANSLATE_NOOP("Quilo", "yearly")},
    {Str::TreeLogs, QT_TRANSLATE_NOOP("Quilo", "logs")},
    {Str::GroupOmh, QT_TRANSLATE_NOOP("Quilo", "OMH")},
    {Str::GroupSzf, QT_TRANSLATE_NOOP("Quilo", "SZF")},
    {Str::GroupLab, QT_TRANSLATE_NOOP("Quilo", "LAB")},
    {Str::GroupOrganizer, QT_TRANSLATE_NOOP("Quilo", "organizer")},
    {Str::TreeTables, QT_TRANSLATE_NOOP("Quilo", "Tables")},

    {Str::ColIdx, QT_TRANSLATE_NOOP("Quilo", "idx")},
    {Str::ColDate, QT_TRANSLATE_NOOP("Quilo", "Date")},
    {Str::ColCashIn, QT_TRANSLATE_NOOP("Quilo", "Cash in")},
    {Str::ColCashOut, QT_TRANSLATE_NOOP("Quilo", "Cash out")},
    {Str::ColStake, QT_TRANSLATE_NOOP("Quilo", "Stake")},
    {Str::ColWin, QT_TRANSLATE_NOOP("Quilo", "Win")},
    {Str::ColWinMax, QT_TRANSLATE_NOOP("Quilo", "WinMax")},
    {Str::ColWinMaxTime, QT_TRANSLATE_NOOP("Quilo", "WinMax Time")},
    {Str::ColOldDate, QT_TRANSLATE_NOOP("Quilo", "old date")},
    {Str::ColNewDate, QT_TRANSLATE_NOOP("Quilo", "new date")},
    {Str::ColKey, QT_TRANSLATE_NOOP("Quilo", "Key")},
    {Str::ColStart, QT_TRANSLATE_NOOP("Quilo", "Start")},
    {Str::ColEnd, QT_TRANSLATE_NOOP("Quilo", "End")},
    {Str::RowNumber, "%d."},

    {Str::FmtKey, "%02X - %02X %02X %02X %02X %02X %02X - %02X"},
    {Str::FmtCount, "%d"},
    {Str::FmtHex2, "%02X"},
    {Str::FmtYear, "20%02X"},
    {Str::FmtPair, "%s:%s"},
    {Str::FmtDate, "%s:%s:%s"},
    {Str::FmtDateTime, "%s  /  %s"},
    {Str::InvalidDate, QT_TRANSLATE_NOOP("Quilo", "invalid date")},
    {Str::KeyModifyQuestion, QT_TRANSLATE_NOOP("Quilo", "Would you like to modify\n%d key to\n%s ?")},
    {Str::KeyModifyCaption, QT_TRANSLATE_NOOP("Quilo", "Key modify..")},
    {Str::ColState, QT_TRANSLATE_NOOP("Quilo", "State")},
    {Str::FmtMoney, QT_TRANSLATE_NOOP("Quilo", "%d Ft.")},
    {Str::FmtWinMaxAt, QT_TRANSLATE_NOOP("Quilo", "%s at %s")},

    {Str::TitleDaily, QT_TRANSLATE_NOOP("Quilo", "Daily log")},
    {Str::TitleMonthly, QT_TRANSLATE_NOOP("Quilo", "Monthly log")},
    {Str::TitleQuarterly, QT_TRANSLATE_NOOP("Quilo", "Quarterly log")},
    {Str::TitleYearly, QT_TRANSLATE_NOOP("Quilo", "Yearly log")},
    {Str::TitleDateLog, QT_TRANSLATE_NOOP("Quilo", "Date modify log")},
    {Str::TitleKeyTable, QT_TRANSLATE_NOOP("Quilo", "Key table")},
    {Str::TitleKeyLogs, QT_TRANSLATE_NOOP("Quilo", "Key usage logs")},
    {Str::TitleCounters, QT_TRANSLATE_NOOP("Quilo", "Current counters")},
    {Str::TitleDateTime, QT_TRANSLATE_NOOP("Quilo", "Date - Time")},
    {Str::TitleCurrentKey, QT_TRANSLATE_NOOP("Quilo", "Current HW key")},
    {Str::TitleMain, QT_TRANSLATE_NOOP("Quilo", "Main")},
    {Str::TitleConfig, QT_TRANSLATE_NOOP("Quilo", "Current Configuration")},
    {Str::TitleConfEvents, QT_TRANSLATE_NOOP("Quilo", "Configuration events")},

    {Str::StateOk, QT_TRANSLATE_NOOP("Quilo", "OK")},
    {Str::StateError, QT_TRANSLATE_NOOP("Quilo", "ERROR")},
    {Str::WriteError, QT_TRANSLATE_NOOP("Quilo", "Write Error")},
    {Str::NotSupported, QT_TRANSLATE_NOOP("Quilo", "Not supported in this version")},
    {Str::VersionError, QT_TRANSLATE_NOOP("Quilo", "Version error")},
    {Str::CommLabel, QT_TRANSLATE_NOOP("Quilo", "Quilo Communication:")},
    {Str::PortLabel, QT_TRANSLATE_NOOP("Quilo", "Port:")},
    {Str::PortCom1, "Com1"},
    {Str::PortCom2, "Com2"},
    {Str::PortCom3, "Com3"},
    {Str::PortCom4, "Com4"},
    {Str::AboutCaption, QT_TRANSLATE_NOOP("Quilo", "About Quilo ReadOut")},
    {Str::AboutVersion, QT_TRANSLATE_NOOP("Quilo", "Quilo ReadOut Version 0.8a")},
    {Str::AboutNotice, QT_TRANSLATE_NOOP("Quilo", "Read-out tool for Quilo metering units")},
    {Str::AboutOk, QT_TRANSLATE_NOOP("Quilo", "OK")},
    {Str::MenuFile, QT_TRANSLATE_NOOP("Quilo", "&File")},
    {Str::MenuFileOpen, QT_TRANSLATE_NOOP("Quilo", "&Open")},
    {Str::MenuFileSave, QT_TRANSLATE_NOOP("Quilo", "&Save")},
    {Str::MenuFileExit, QT_TRANSLATE_NOOP("Quilo", "E&xit")},
    {Str::MenuQuilo, QT_TRANSLATE_NOOP("Quilo", "&Quilo")},
    {Str::MenuQuiloLoad, QT_TRANSLATE_NOOP("Quilo", "Load")},
    {Str::MenuQuiloWrite, QT_TRANSLATE_NOOP("Quilo", "Write")},
    {Str::MenuHelp, QT_TRANSLATE_NOOP("Quilo", "&Help")},
    {Str::MenuHelpHelp, QT_TRANSLATE_NOOP("Quilo", "&Help")},
    {Str::MenuHelpAbout, QT_TRANSLATE_NOOP("Quilo", "&About tarvel...")},
    {Str::StartPageMissing, QT_TRANSLATE_NOOP("Quilo", "Failed to open document.")},
    {Str::ProductName, QT_TRANSLATE_NOOP("Quilo", "Quilo ReadOut")},

    {Str::LblCashIn, QT_TRANSLATE_NOOP("Quilo", "Cash in")},
    {Str::LblCashOut, QT_TRANSLATE_NOOP("Quilo", "Cash out")},
    {Str::LblStake, QT_TRANSLATE_NOOP("Quilo", "Stake")},
    {Str::LblWin, QT_TRANSLATE_NOOP("Quilo", "Win")},
    {Str::LblWinMax, QT_TRANSLATE_NOOP("Quilo", "WinMax")},
    {Str::LblGameCounter, QT_TRANSLATE_NOOP("Quilo", "Game counter")},
    {Str::LblDateTimeGroup, QT_TRANSLATE_NOOP("Quilo", "Date/Time")},
    {Str::LblSetFromPc, QT_TRANSLATE_NOOP("Quilo", "Set from PC")},
    {Str::LblKeyGroup, QT_TRANSLATE_NOOP("Quilo", "Key:")},
    {Str::LblKeyModeTitle, QT_TRANSLATE_NOOP("Quilo", "Key mode")},
    {Str::LblSwKeyMode, QT_TRANSLATE_NOOP("Quilo", "SW Key mode")},
    {Str::LblCfgType, QT_TRANSLATE_NOOP("Quilo", "Type:")},
    {Str::LblCfgMfgNo, QT_TRANSLATE_NOOP("Quilo", "Manufacturing no.:")},
    {Str::LblCfgMfgDate, QT_TRANSLATE_NOOP("Quilo", "Manufacturing date:")},
    {Str::LblCfgLicenceNo, QT_TRANSLATE_NOOP("Quilo", "Unit application licence no.:")},
    {Str::LblCfgLicenceExpiry, QT_TRANSLATE_NOOP("Quilo", "Unit expiry if application licence:")},
    {Str::LblCfgCardMfgNo, QT_TRANSLATE_NOOP("Quilo", "Manufacturing no. of program card:")},
    {Str::LblCfgOmhId, QT_TRANSLATE_NOOP("Quilo", "OMH identification no.:")},
    {Str::LblCfgCertCode, QT_TRANSLATE_NOOP("Quilo", "Certification code:")},
    {Str::LblCfgCertDate, QT_TRANSLATE_NOOP("Quilo", "Date of certification:")},
    {Str::LblCfgLabCode, QT_TRANSLATE_NOOP("Quilo", "Certifying laboratory (CL) code:")},
    {Str::LblCfgCertificateNo, QT_TRANSLATE_NOOP("Quilo", "Certificate no.:")},
    {Str::LblCfgName, QT_TRANSLATE_NOOP("Quilo", "Name:")},
    {Str::LblCfgAddress, QT_TRANSLATE_NOOP("Quilo", "Address")},
    {Str::LblCfgCounterStep, QT_TRANSLATE_NOOP("Quilo", "Step of counters:")},
    {Str::LblCfgInitialIn, QT_TRANSLATE_NOOP("Quilo", "Initial IN counter:")},
    {Str::LblCfgInitialOut, QT_TRANSLATE_NOOP("Quilo", "Initial OUT counter:")},
    {Str::LblCfgInitialStake, QT_TRANSLATE_NOOP("Quilo", "Initial STAKE counter:")},
    {Str::LblCfgNote, QT_TRANSLATE_NOOP("Quilo", "Note")},
    {Str::LblGrpManufacturing, QT_TRANSLATE_NOOP("Quilo", "Manufactoring Data")},
    {Str::LblGrpOrganizer, QT_TRANSLATE_NOOP("Quilo", "Game Organizer Data")},
    {Str::LblGrpOmh, QT_TRANSLATE_NOOP("Quilo", "OMH Data")},
    {Str::LblGrpCounterValues, QT_TRANSLATE_NOOP("Quilo", "Counter Values")},
    {Str::LblLog, QT_TRANSLATE_NOOP("Quilo", "Log")},
    {Str::LblNumber, QT_TRANSLATE_NOOP("Quilo", "number:")},
    {Str::LblChangeTime, QT_TRANSLATE_NOOP("Quilo", "Change time:")},
    {Str::LblCountersPrior, QT_TRANSLATE_NOOP("Quilo", "Counters prior to change")},
    {Str::LblIn, QT_TRANSLATE_NOOP("Quilo", "In:")},
    {Str::LblOut, QT_TRANSLATE_NOOP("Quilo", "Out:")},
    {Str::LblStakeColon, QT_TRANSLATE_NOOP("Quilo", "Stake:")},
    {Str::LblWinColon, QT_TRANSLATE_NOOP("Quilo", "Win:")},
    {Str::LblGames, QT_TRANSLATE_NOOP("Quilo", "Games:")},

    {Str::Result0, QT_TRANSLATE_NOOP("Quilo", "read")},
    {Str::Result1, QT_TRANSLATE_NOOP("Quilo", "request not sent")},
    {Str::Result16, QT_TRANSLATE_NOOP("Quilo", "two-byte reply")},
    {Str::Result32, QT_TRANSLATE_NOOP("Quilo", "wrong reply length")},
    {Str::Result48, QT_TRANSLATE_NOOP("Quilo", "bad checksum")},
    {Str::Result64, QT_TRANSLATE_NOOP("Quilo", "refused")},
    {Str::Result256, QT_TRANSLATE_NOOP("Quilo", "key refused")},
    {Str::ResultNotRead, QT_TRANSLATE_NOOP("Quilo", "not read")},
    {Str::CliUsage, QT_TRANSLATE_NOOP("Quilo", "Usage: quilo COMMAND [options]\n\nCommands:\n  ports                         this machine's serial ports, and what Com1 to Com4 stand for\n  read SET                      read a data set: counters, datetime, current-key, config,\n                                conf-event [1-20], daily, monthly, quarterly, yearly, date-log,\n                                key-logs OMH|SZF, key-table organizer|LAB|SZF|OMH, or all\n  set-clock \"YYYY-MM-DD HH:MM\"  set the unit's clock (set-clock now: the PC's clock)\n  write-key GROUP ROW KEY       write one key of a key-table group (ROW as read key-table lists it)\n\nOptions:\n  -p, --port PORT        Com1 to Com4 or a device path (default Com2)\n  -k, --user-key KEY     key mode: present this user key (16 hex digits) before each request\n  -f, --format FORMAT    table (default), csv or json\n  -o, --output FILE      write to FILE instead of standard output\n  -s, --separator CHAR   CSV separator (default ';' where the decimal separator is ',', else ',')\n  -y, --yes              write without asking\n      --now              set-clock: the PC's clock\n      --trace            every frame in hex, with time and checksum verdict, on standard error\n      --trace-file FILE  the same into FILE\n      --simulate         use the built-in simulated unit instead of a port\n      --sim-pace MS      with --simulate: the unit waits MS milliseconds before each reply\n  -h, --help             this text\n\nExit status: 0 everything read (or written and read back), 1 some records failed or a write\ndid not hold, 2 the port did not open, 64 bad command line.\n")},
    {Str::CliErrOption, QT_TRANSLATE_NOOP("Quilo", "%1; see quilo --help.")},
    {Str::CliErrNoCommand, QT_TRANSLATE_NOOP("Quilo", "no command given; use ports, read, set-clock or write-key (quilo --help lists them).")},
    {Str::CliErrCommand, QT_TRANSLATE_NOOP("Quilo", "unknown command '%1'; use ports, read, set-clock or write-key (quilo --help lists them).")},
    {Str::CliErrSetMissing, QT_TRANSLATE_NOOP("Quilo", "read needs a data set; use one of: %1.")},
    {Str::CliErrUnknownSet, QT_TRANSLATE_NOOP("Quilo", "unknown data set '%1'; use one of: %2.")},
    {Str::CliErrUnknownGroup, QT_TRANSLATE_NOOP("Quilo", "unknown group '%1' for %2; use one of: %3.")},
    {Str::CliErrGroupMissing, QT_TRANSLATE_NOOP("Quilo", "%1 needs a group; add one of: %2.")},
    {Str::CliErrEvent, QT_TRANSLATE_NOOP("Quilo", "no configuration event '%1'; give a number from 1 to 20, or nothing for all events.")},
    {Str::CliErrExtraWords, QT_TRANSLATE_NOOP("Quilo", "unexpected '%1'; see quilo --help.")},
    {Str::CliErrKeyText, QT_TRANSLATE_NOOP("Quilo", "'%1' is not a key; give 16 hexadecimal digits, e.g. \"01 - 23 45 67 89 AB CD - EF\".")},
    {Str::CliErrPortName, QT_TRANSLATE_NOOP("Quilo", "unknown port '%1'; give Com1 to Com4 or a device path such as /dev/ttyUSB0 (quilo ports lists them).")},
    {Str::CliErrPace, QT_TRANSLATE_NOOP("Quilo", "--sim-pace takes milliseconds from 0 to 10000, not '%1'.")},
    {Str::CliErrFormat, QT_TRANSLATE_NOOP("Quilo", "unknown format '%1'; use table, csv or json.")},
    {Str::CliErrSeparator, QT_TRANSLATE_NOOP("Quilo", "the separator must be one character or 'tab', not '%1'.")},
    {Str::CliErrClockText, QT_TRANSLATE_NOOP("Quilo", "'%1' is not a date and time; give it as YYYY-MM-DD HH:MM, e.g. \"2024-06-15 13:45\", or use now.")},
    {Str::CliErrClockYear, QT_TRANSLATE_NOOP("Quilo", "the year %1 is outside 2000 to 2099: the unit keeps only the last two digits; give a year from 2000 to 2099.")},
    {Str::CliErrClockBoth, QT_TRANSLATE_NOOP("Quilo", "give either a date and time or now, not both.")},
    {Str::CliErrClockMissing, QT_TRANSLATE_NOOP("Quilo", "set-clock needs a date and time (\"2024-06-15 13:45\") or now.")},
    {Str::CliErrWriteKeyArgs, QT_TRANSLATE_NOOP("Quilo", "write-key needs a group, a row and a key, e.g. write-key LAB 3 \"01 - 23 45 67 89 AB CD - EF\".")},
    {Str::CliErrRow, QT_TRANSLATE_NOOP("Quilo", "row '%1' does not exist; the %3 group has rows 1 to %2.")},
    {Str::CliErrOutput, QT_TRANSLATE_NOOP("Quilo", "cannot write %1: %2; choose another file with -o.")},
    {Str::CliErrPortOpen, QT_TRANSLATE_NOOP("Quilo", "%1 %2")},
    {Str::CliHintMissing, QT_TRANSLATE_NOOP("Quilo", "Check the port name and the cable; quilo ports lists this machine's ports.")},
    {Str::CliHintBusy, QT_TRANSLATE_NOOP("Quilo", "Close the other program (or the other quilo) and try again.")},
    {Str::CliHintPermission, QT_TRANSLATE_NOOP("Quilo", "Run: sudo adduser $USER dialout, then log out and in again.")},
    {Str::CliHintOther, QT_TRANSLATE_NOOP("Quilo", "Check the port with quilo ports, or try another one with --port.")},
    {Str::CliColResult, QT_TRANSLATE_NOOP("Quilo", "Result")},
    {Str::CliResultOther, QT_TRANSLATE_NOOP("Quilo", "result %1")},
    {Str::CliPartsFailed, QT_TRANSLATE_NOOP("Quilo", "%1 of %2 parts not read (%3)")},
    {Str::CliProgress, QT_TRANSLATE_NOOP("Quilo", "%1 [%2] %3/%4, %5 left")},
    {Str::CliSetFailed, QT_TRANSLATE_NOOP("Quilo", "%1: %2 of %3 not read: %4.")},
    {Str::CliStopped, QT_TRANSLATE_NOOP("Quilo", "stopped by Ctrl-C: the records read so far are written out, the rest are marked not read.")},
    {Str::CliConfirmClock, QT_TRANSLATE_NOOP("Quilo", "Set the unit's clock
  from %1
  to   %2
Write it? [y/N] ")},
    {Str::CliConfirmKey, QT_TRANSLATE_NOOP("Quilo", "Write key %1 of the %2 group (entry %3)
  from %4
  to   %5
Write it? [y/N] ")},
    {Str::CliPcClock, QT_TRANSLATE_NOOP("Quilo", "the PC's clock (now %1)")},
    {Str::CliDeclined, QT_TRANSLATE_NOOP("Quilo", "nothing written.")},
    {Str::CliWriteFailed, QT_TRANSLATE_NOOP("Quilo", "the unit did not take the write: %1.")},
    {Str::CliReadBackOk, QT_TRANSLATE_NOOP("Quilo", "The unit holds %1.")},
    {Str::CliReadBackDiffer, QT_TRANSLATE_NOOP("Quilo", "the unit reads back %1 instead of %2: it does not hold the new value.")},
    {Str::CliReadBackFailed, QT_TRANSLATE_NOOP("Quilo", "the write was answered, but reading it back failed: %1.")},
    {Str::CliUnknownValue, QT_TRANSLATE_NOOP("Quilo", "unknown (%1)")},
    {Str::CliPortsHeader, QT_TRANSLATE_NOOP("Quilo", "Serial ports of this machine:")},
    {Str::CliPortsNone, QT_TRANSLATE_NOOP("Quilo", "  none found")},
    {Str::CliPortsNames, QT_TRANSLATE_NOOP("Quilo", "Port names:")},
    {Str::CliPortsNowhere, QT_TRANSLATE_NOOP("Quilo", "(no device)")},
    {Str::CliPortsDialout, QT_TRANSLATE_NOOP("Quilo", "You are not in the dialout group, so serial ports will not open for you. Run: sudo adduser $USER dialout, then log out and in again.")},
    {Str::CliSimulated, QT_TRANSLATE_NOOP("Quilo", "simulated unit")},
    {Str::CliSimFailed, QT_TRANSLATE_NOOP("Quilo", "the simulated unit did not start: %1.")},
    {Str::CliTraceFailed, QT_TRANSLATE_NOOP("Quilo", "cannot write the trace to %1: %2; choose another file.")},
    {Str::CliVersion, QT_TRANSLATE_NOOP("Quilo", "quilo %1")},
    {Str::CliErrClockPc, QT_TRANSLATE_NOOP("Quilo", "the PC's clock says %1, outside 2000 to 2099; set the PC's clock or give the date and time.")},
    {Str::CliTraceSent, QT_TRANSLATE_NOOP("Quilo", "sent")},
    {Str::CliTraceChecksumOk, QT_TRANSLATE_NOOP("Quilo", "checksum ok")},
    {Str::CliTraceDiscarded, QT_TRANSLATE_NOOP("Quilo", "late reply, dropped")},
    {Str::CliSourceOverride, QT_TRANSLATE_NOOP("Quilo", "(this program)")},
    {Str::CliSourceEnvironment, QT_TRANSLATE_NOOP("Quilo", "(QUILO_PORTS)")},
    {Str::CliSourceSettings, QT_TRANSLATE_NOOP("Quilo", "(settings file)")},
    {Str::CliSourceDefault, QT_TRANSLATE_NOOP("Quilo", "(default)")},
    {Str::SumPortFailed, QT_TRANSLATE_NOOP("Quilo", "%1: port could not be opened. %2")},
    {Str::SumRead, QT_TRANSLATE_NOOP("Quilo", "%1: %2 of %3 records read")},
    {Str::SumSkipped, QT_TRANSLATE_NOOP("Quilo", ", %1 already read")},
    {Str::SumFailedOne, QT_TRANSLATE_NOOP("Quilo", "; %1 record failed: %2")},
    {Str::SumFailedMany, QT_TRANSLATE_NOOP("Quilo", "; %1 records failed: %2")},
    {Str::SumStopped, QT_TRANSLATE_NOOP("Quilo", "; stopped")},
    {Str::SumWriteDone, QT_TRANSLATE_NOOP("Quilo", "Written to the unit")},
    {Str::SumWriteFailed, QT_TRANSLATE_NOOP("Quilo", "Write failed")},
    {Str::ResultOther, QT_TRANSLATE_NOOP("Quilo", "other error")},
    {Str::FileNotRead, QT_TRANSLATE_NOOP("Quilo", "%1: reading files is not supported; nothing was read from it")},
    {Str::PortErrNoDevice, QT_TRANSLATE_NOOP("Quilo", "There is no serial port %1.")},
    {Str::PortErrBusy, QT_TRANSLATE_NOOP("Quilo", "%1 is in use by another program.")},
    {Str::PortErrPermission, QT_TRANSLATE_NOOP("Quilo", "No permission to open %1: the user must be allowed to use serial ports (on Linux, a member of the dialout group; log in again after adding).")},
    {Str::PortErrOther, QT_TRANSLATE_NOOP("Quilo", "%1 cannot be opened: %2.")},
    {Str::PortErrSettings, QT_TRANSLATE_NOOP("Quilo", "%1 does not support these line settings (baud rate, data bits, parity, stop bits).")},
    // STRINGS-END (keep sorted by number; add new entries above this line)
};

const Entry *find(unsigned id)
{
    const auto it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                                     [](const Entry &e, unsigned key) { return e.id < key; });
    return (it != std::end(kTable) && it->id == id) ? it : nullptr;
}

} // namespace

QString LoadString(unsigned id)
{
    const Entry *e = find(id);
    if (!e)
        return QString();
    return QCoreApplication::translate("Quilo", e->text);
}

bool HasString(unsigned id)
{
    return find(id) != nullptr;
}

namespace StringTable {
// For the table's own test: the numbers in table order.
std::size_t count() { return std::size(kTable); }
unsigned idAt(std::size_t i) { return kTable[i].id; }
}
