#pragma once
// What a front end asks the document to read: a whole data set, a range of its records (a key
// group), or one configuration event. Front ends build one with the named constructors and hand
// it to the document; they never set the document's selection themselves.

#include "datasettable.h"

namespace Quilo {

struct ReadRequest {
    DataSetId dataSet = dsDaily;
    unsigned first = 0; // records, both ends included (a set without groups: all of them)
    unsigned last = 0;
    int event = 0;      // the configuration event (dsConfEvents only)

    // Every record of a set; a set with groups (key table, key logs) takes its first group.
    static ReadRequest Set(DataSetId id)
    {
        ReadRequest r;
        r.dataSet = id;
        if (const DataSetInfo *info = FindDataSet(id)) {
            if (!info->groups.empty()) {
                r.first = info->groups.front().first;
                r.last = info->groups.front().last;
            } else if (id != dsConfEvents) {
                r.last = info->records - 1;
            }
        }
        return r;
    }
    static ReadRequest Records(DataSetId id, unsigned first, unsigned last)
    {
        ReadRequest r;
        r.dataSet = id;
        r.first = first;
        r.last = last;
        return r;
    }
    static ReadRequest Event(int event)
    {
        ReadRequest r;
        r.dataSet = dsConfEvents;
        r.event = event;
        return r;
    }
    bool operator==(const ReadRequest &) const = default;
};

} // namespace Quilo
