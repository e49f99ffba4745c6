// What an instrument family will refuse or change in a sequence, found before anything is sent: the
// check that the command line runs on files and the desktop program asks about before an upload.
// Its limits are those of the instrument image (instrumentimage.h).
#pragma once

#include <string>
#include <vector>

#include "model/sequence.h"

enum class TUploadFindingKind {
    TooManyQuadripoles,  // family 1: above 1,500, the upload is refused
    EmptyTable,          // no quadripole to measure
    ElectrodeTableCut,   // family 2: the electrode table ends at 1,319 on newer instruments
    ElectrodeNumberCut,  // family 1: electrode numbers above 255 travel as their low 8 bits
    NameCut,             // the image holds fewer characters of the name than it has
    TimeCode,            // an injection time without a code of its own
    VmnCode,             // family 2: a voltage request code outside its table
    ArrayCode,           // family 2: an array type outside its table
    ModeCode,            // family 2: a mode other than Rho or Rho and Ip
};

struct TUploadFinding {
    TUploadFindingKind Kind;
    std::string Text;  // one line, UTF-8, without the file's name
};

// The findings for an upload of `seq` to an instrument of `family` (1 or 2), in the order of the
// kinds above; none when the instrument takes the sequence as it is. Throws std::invalid_argument for
// another family.
std::vector<TUploadFinding> CheckUpload(const TSequence& seq, int family);
