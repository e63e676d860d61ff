// The rooms of a run's records (status/F.txt, one a frame; tasks/J_T.txt,
// one for each start of a task), as FarmFolder reads them back: whole
// records, damaged ones (which prove nothing) and names that are no
// record's. The records themselves are farm/run/Records.h's.
#pragma once

#include <string>
#include <vector>

#include "farm/run/Records.h"

// A frame's record that proves nothing, and why ("PATH: is empty").
struct DamagedRecord {
    int frame = 0;
    std::string why;
};

// The frame records of a run, as its status room holds them.
struct RunRecords {
    std::vector<FrameRecord> records;    // the whole ones, by frame
    std::vector<DamagedRecord> damaged;  // by frame
    std::vector<std::string> strays;     // names in the room that are no frame's record
};
