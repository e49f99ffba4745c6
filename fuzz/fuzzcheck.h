// What every harness does with a record a reader accepted: it must lie within the record's limits, and
// everything that later reads it (geometry, exports) must stay inside it.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/geometry.h"
#include "model/sqxfile.h"
#include "storage/export.h"

inline void FuzzCheck(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken invariant: %s\n", what);
        std::abort();
    }
}

// What a terminal is shown of a name holds no control character.
inline void CheckTerminalText(const std::string& bytes) {
    for (char c : RecordTextForTerminal(bytes)) {
        const auto u = static_cast<unsigned char>(c);
        FuzzCheck(u >= 0x20 && u != 0x7F, "text for the terminal holds no control character");
    }
}

inline void ExerciseRecord(const TSequence& seq) {
    FuzzCheck(!SequenceLimitsProblem(seq), "an accepted record lies within its limits");
    CheckTerminalText(seq.Name.Get());
    CheckTerminalText(seq.CableName.Get());
    std::vector<std::string> lines;
    ElectrodeLines(seq, lines, ",", {',', true});
    SpreadsheetHeader(seq, lines, "\t", {'.', false});
    TPelmarConfig config;
    FillPelmarConfig(seq, config);
    // The first and last quadripoles are enough to reach every table edge without slowing the run.
    const int n = seq.NbQuadripole;
    for (int i = 0; i < n; i = (i == 31 && n > 64) ? n - 32 : i + 1) {
        const TQuadripole& q = seq.Quadripoles[i];
        (void)QuadripoleK(seq, i);
        (void)PseudoX(seq, q);
        for (int view = 0; view < 4; ++view) (void)ChartValue(seq, q, view);
        (void)QuadripoleLabel(q, "-");
    }
    for (int k = 0; k < MaxSpacings; ++k) (void)SpacingMultipleText(seq, k, true);
    if (n <= 64) QuadripoleLines(seq, lines, "   ");
}
