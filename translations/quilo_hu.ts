<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="hu_HU">
<context>
    <name>Quilo</name>
    <message>
        <source>Quilo ReadOut

Quilo
Quilo Files (*.quilo)
.quilo
Quilo.Document
Quilo Document</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Load current data from Quilo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write current data to Quilo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Load from file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save to file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Define user key(mode)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>tarvel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ready</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Display program information, version number and copyright
About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit the application; prompts to save documents
Exit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CAP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>NUM</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SCRL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Counters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Config</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Date/Time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keys</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>momentary</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>daily</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>monthly</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>quarterly</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>yearly</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>logs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OMH</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SZF</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>LAB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>organizer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tables</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>idx</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cash in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cash out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stake</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Win</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WinMax</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WinMax Time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>old date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>new date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Key</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>End</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>invalid date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Would you like to modify
%d key to
%s ?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Key modify..</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>State</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%d Ft.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%s at %s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Daily log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Monthly log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quarterly log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Yearly log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Date modify log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Key table</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Key usage logs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current counters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Date - Time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current HW key</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Main</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current Configuration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Configuration events</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ERROR</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not supported in this version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quilo Communication:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Quilo ReadOut</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quilo ReadOut Version 0.8a</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read-out tool for Quilo metering units</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Quilo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Load</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;About tarvel...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to open document.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quilo ReadOut</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Game counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set from PC</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Key:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Key mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SW Key mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Type:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manufacturing no.:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manufacturing date:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unit application licence no.:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unit expiry if application licence:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manufacturing no. of program card:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OMH identification no.:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Certification code:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Date of certification:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Certifying laboratory (CL) code:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Certificate no.:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Step of counters:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Initial IN counter:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Initial OUT counter:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Initial STAKE counter:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manufactoring Data</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Game Organizer Data</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OMH Data</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Counter Values</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>number:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change time:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Counters prior to change</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>In:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Out:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stake:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Win:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Games:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>request not sent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>two-byte reply</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>wrong reply length</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>bad checksum</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>refused</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>key refused</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Usage: quilo COMMAND [options]

Commands:
  ports                         this machine&apos;s serial ports, and what Com1 to Com4 stand for
  read SET                      read a data set: counters, datetime, current-key, config,
                                conf-event [1-20], daily, monthly, quarterly, yearly, date-log,
                                key-logs OMH|SZF, key-table organizer|LAB|SZF|OMH, or all
  set-clock &quot;YYYY-MM-DD HH:MM&quot;  set the unit&apos;s clock (set-clock now: the PC&apos;s clock)
  write-key GROUP ROW KEY       write one key of a key-table group (ROW as read key-table lists it)
  show FILE [SET]               print a saved read-out (.quilo) as read printed it, or one set of it

Options:
  -p, --port PORT        Com1 to Com4 or a device path (default Com2)
  -k, --user-key KEY     key mode: present this user key (16 hex digits) before each request
  -f, --format FORMAT    table (default), csv, json, or quilo (read: the read-out file)
  -o, --output FILE      write to FILE instead of standard output (- is standard output;
                         FILE.quilo: the read-out file, to open in the window or show)
  -s, --separator CHAR   CSV separator (default &apos;;&apos; where the decimal separator is &apos;,&apos;, else &apos;,&apos;)
  -y, --yes              write without asking
      --now              set-clock: the PC&apos;s clock
      --trace            every frame in hex, with time and checksum verdict, on standard error
      --trace-file FILE  the same into FILE
      --simulate         use the built-in simulated unit instead of a port
      --sim-pace MS      with --simulate: the unit waits MS milliseconds before each reply
  -h, --help             this text

Exit status: 0 everything read (or written and read back), 1 some records failed or a write
did not hold, 2 the port did not open, 64 bad command line, 65 show: not a read-out this
program reads, 66 show: the file cannot be read, 74 the output or the trace could not be
written.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1; see quilo --help.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no command given; use ports, read, set-clock or write-key (quilo --help lists them).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;; use ports, read, set-clock or write-key (quilo --help lists them).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read needs a data set; use one of: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unknown data set &apos;%1&apos;; use one of: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unknown group &apos;%1&apos; for %2; use one of: %3.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 needs a group; add one of: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no configuration event &apos;%1&apos;; give a number from 1 to 20, or nothing for all events.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unexpected &apos;%1&apos;; see quilo --help.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a key; give 16 hexadecimal digits, e.g. &quot;01 - 23 45 67 89 AB CD - EF&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unknown port &apos;%1&apos;; give Com1 to Com4 or a device path such as /dev/ttyUSB0 (quilo ports lists them).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--sim-pace takes milliseconds from 0 to 10000, not &apos;%1&apos;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unknown format &apos;%1&apos;; use table, csv or json (read also takes quilo).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the separator must be one character or &apos;tab&apos;, not &apos;%1&apos;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a date and time; give it as YYYY-MM-DD HH:MM, e.g. &quot;2024-06-15 13:45&quot;, or use now.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the year %1 is outside 2000 to 2099: the unit keeps only the last two digits; give a year from 2000 to 2099.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>give either a date and time or now, not both.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>set-clock needs a date and time (&quot;2024-06-15 13:45&quot;) or now.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>write-key needs a group, a row and a key, e.g. write-key LAB 3 &quot;01 - 23 45 67 89 AB CD - EF&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>row &apos;%1&apos; does not exist; the %3 group has rows 1 to %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot write %1: %2; choose another file with -o.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check the port name and the cable; quilo ports lists this machine&apos;s ports.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close the other program (or the other quilo) and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Run: sudo adduser $USER dialout, then log out and in again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check the port with quilo ports, or try another one with --port.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Result</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>result %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 of %2 parts not read (%3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 [%2] %3/%4, %5 left</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2 of %3 not read: %4.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>stopped by Ctrl-C: the records read so far are written out, the rest are marked not read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set the unit&apos;s clock
  from %1
  to   %2
Write it? [y/N] </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write key %1 of the %2 group (entry %3)
  from %4
  to   %5
Write it? [y/N] </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the PC&apos;s clock (now %1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>nothing written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the unit did not take the write: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The unit holds %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the unit reads back %1 instead of %2: it does not hold the new value.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the write was answered, but reading it back failed: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unknown (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial ports of this machine:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  none found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Port names:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(no device)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You are not in the dialout group, so serial ports will not open for you. Run: sudo adduser $USER dialout, then log out and in again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>simulated unit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the simulated unit did not start: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot write the trace to %1: %2; choose another file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>quilo %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the PC&apos;s clock says %1, outside 2000 to 2099; set the PC&apos;s clock or give the date and time.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>sent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>checksum ok</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>late reply, dropped</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(this program)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(QUILO_PORTS)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(settings file)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(default)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the unit on %1 does not answer: not a single byte came back; check the cable, the unit&apos;s power and the port (quilo ports).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The answer to the write was damaged or missing (%1), but the unit holds the new key: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the answer to the write was damaged or missing (%1), and the unit still holds the old key (%2): the key was not written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the answer to the write was damaged or missing (%1), and the unit holds %2, neither the old nor the new key.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the answer to the write was damaged or missing (%1), and the key could not be read back: the unit may hold either the old or the new key; check it with quilo read key-table %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The answer to the write was damaged or missing (%1), but the unit holds the new time: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the answer to the write was damaged or missing (%1), and the unit still holds its old time (%2): the clock was not set.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the answer to the write was damaged or missing (%1), and the clock could not be read back: the unit may hold either the old or the new time; check it with quilo read datetime before writing again (every write enters a change in the date modification log).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>writing %1 failed: %2; nothing was written there, run the read again with another -o.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>nothing was read from the unit, so %1 was left as it was.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--trace-file and -o name the same file (%1); give two different files.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>writing the trace to %1 failed: %2; the trace is incomplete.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 writes no data, so %2 does not apply; leave it out.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the unit on %1 gave not a single byte back for %2, so each was given up; the unit may not know these commands.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the unit on %1 answers too late for %2: its replies came after the time-outs and were dropped, so each was given up.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>all %1 parts failed: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no reply to %1 parts in a row, the other %2 were not tried</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no reply</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>show needs the read-out file to show: quilo show FILE [SET].</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: port could not be opened. %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2 of %3 records read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, %1 already read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; %1 record failed: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; %1 records failed: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; stopped</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Written to the unit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>other error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: reading files is not supported; nothing was read from it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, %1 failed earlier (Load reads them again)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; the unit does not answer on %1: check the cable, the unit&apos;s power and the port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; the line to the unit was lost (adapter pulled out?)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Written: the unit&apos;s reply was damaged, but it holds the new value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not written: the unit&apos;s reply was damaged and it still holds another value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The unit&apos;s reply was damaged and the value could not be read back: the unit may hold either; Load reads it again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: reading from the unit...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stopping after the current transaction...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Writing to the unit...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop the running transfer (Esc)
Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>written</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not read from the unit.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not be read: %1. Load tries again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 of %2 fields did not come (%3) and are left empty. Load tries again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The unit&apos;s clock has not been read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The unit&apos;s clock could not be read: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The unit&apos;s clock holds no valid date: %1 (bytes %2).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A key has all 16 hexadecimal digits, in the form %1. Nothing was written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; %1 got no reply at all</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read every data set and key group of the unit once
Read whole unit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save the read-out to a new file
Save &amp;As...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export the data set shown as CSV
Data set as &amp;CSV...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export the data set shown as JSON
Data set as &amp;JSON...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export the whole read-out as CSV
Read-out as C&amp;SV...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export the whole read-out as JSON
Read-out as J&amp;SON...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print the data set shown
&amp;Print data set...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print a report of the whole read-out
Print &amp;report...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save the data set shown as a PDF file
Data set as P&amp;DF...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save a report of the whole read-out as a PDF file
Report as PD&amp;F...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Leave the file shown and read the unit again
&amp;Back to the unit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Export</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;%1 %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quilo read-outs (*.quilo)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>JSON files (*.json)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PDF files (*.pdf)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 cannot be opened: %2.
What was shown before is kept.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Saved to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Written to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shown from %1 (saved %2): nothing is read from or written to the unit. File, Back to the unit returns to it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Whole unit: %1 of %2 records read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quilo read-out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Printed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unit&apos;s clock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Program</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open a read-out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save the read-out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save as PDF</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing has been read yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Waiting for the transfer to stop...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There is no serial port %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is in use by another program.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No permission to open %1: the user must be allowed to use serial ports (on Linux, a member of the dialout group; log in again after adding).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 cannot be opened: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not support these line settings (baud rate, data bits, parity, stop bits).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>      also as %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>latency timer %1 ms</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 holds received bytes for up to %2 ms (its latency timer) unless its driver is in low-latency mode. The program asks for that mode at every open; where the driver does not grant it, every reply waits that long. To lower the timer until the adapter is unplugged: echo 1 | sudo tee %3 (for good: a udev rule, see the README, &quot;USB serial adapters&quot;).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A name under /dev/serial/by-id stays the same when the adapter is plugged in again. To keep Com2 on it, whatever number the adapter gets: QUILO_PORTS=&quot;Com2=%1&quot; (or that mapping under [Ports] in the settings file).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 leads nowhere: the port mapping %2 is malformed (%3). Fix it (entries Com1=/dev/... to Com4=/dev/...), or give the device path itself.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This is not a regular file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; gives no device path starting with /</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no port name such as Com2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no NAME=PATH entry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is mapped twice</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not a Quilo read-out: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not a Quilo read-out (it does not say format &quot;%1&quot;)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>saved by a newer program (read-out format %1; this one reads format %2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>damaged: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>too large to be a read-out (%1 bytes; at most %2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot be read: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>could not be written: %1; the file as it was is untouched</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: &quot;%2&quot; is missing or not what it should be</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: there is no record with index %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 %2 appears twice</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, record %2: a status word that means nothing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, record %2: the reply bytes are not %3 bytes in hexadecimal</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, record %2: marked read but holds no reply bytes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, record %2: the time it was read is not a date and time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no data set &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
