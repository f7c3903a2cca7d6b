#pragma once
// The unit's data sets, described once: their names, the command that reads each, how many
// records it has and of what size, its key groups and its column headings. The engine, the
// command line, the window's tree and views and the tests read this table rather than
// spelling the sets out again. Wire lengths are checked against the command table when this
// compiles.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>

namespace Quilo {

// Values of the document's data-set selector (value 11 is not used).
enum DataSetId : int {
    dsKeyTable = 1,
    dsKeyLogs = 2,
    dsDaily = 3,
    dsMonthly = 4,
    dsQuarterly = 5,
    dsYearly = 6,
    dsDateLog = 7,
    dsCounters = 8,
    dsDateTime = 9,
    dsCurrentKey = 10,
    dsConfig = 12,
    dsConfEvents = 13,
};

enum class SetShape : std::uint8_t {
    Records, // one request per record; a record done once is not read again until a reload
    Single,  // one record, parameter 0, read afresh every time
    Chunked, // each record read field by field, one chunk per field
};

// A group of records the tree offers on its own: the key table's four, the key logs' two.
struct KeyGroup {
    const char *name;      // stable name for the command line and files: "OMH", "organizer"
    unsigned title;        // string shown in the tree
    unsigned first;        // document records, both ends included
    unsigned last;
    std::uint8_t command;  // the command that reads the group
    unsigned firstParameter; // the parameter of its first record
};

struct DataSetInfo {
    DataSetId id;
    const char *name;          // stable name for the command line and files: "daily"
    unsigned title;            // the window's title and the export's heading
    unsigned viewCommand;      // what the tree sends and the frame's view table maps
    SetShape shape;
    std::uint8_t command;      // the reading command (key logs: per group; events: of event 0)
    unsigned records;          // records the document holds
    std::size_t recordBytes;   // data bytes of one record (chunked: all its chunks)
    std::size_t chunks;        // chunks per record, 0 unless chunked
    unsigned shownRows;        // rows the window lists (the date log shows the latest 20)
    std::span<const KeyGroup> groups;
    std::span<const unsigned> columns; // list records: headings in wire order
};

// Every data set, in the order the command line reads `all`.
std::span<const DataSetInfo> DataSets();
const DataSetInfo *FindDataSet(int id);
// By stable name, any case; nullptr when there is none.
const DataSetInfo *FindDataSet(const QString &name);
// The set the tree's command `viewCommand` shows, or nullptr.
const DataSetInfo *FindDataSetByView(unsigned viewCommand);
// The group of a set whose range is first..last, or nullptr.
const KeyGroup *FindGroup(const DataSetInfo &set, unsigned first, unsigned last);
const KeyGroup *FindGroup(const DataSetInfo &set, const QString &name);

// The command that reads a data set under a selection, and the parameter of the first record
// (or chunk) of its range; command 0 for a selector that reads nothing.
struct CDataSetRequest
{
    std::uint8_t command = 0;
    unsigned firstParameter = 0;
};
CDataSetRequest RequestFor(int dataSet, unsigned firstKey, int configEvent);

// The configuration's 18 fields in wire order (chunk k is field k): the label each is shown
// with, and whether it is text. A configuration event adds the counters before the change and
// the change time, in EventExtraLabels().
struct ConfigFieldInfo {
    unsigned label;
    bool text;
};
std::span<const ConfigFieldInfo> ConfigFields();
std::span<const unsigned> EventExtraLabels();

} // namespace Quilo
