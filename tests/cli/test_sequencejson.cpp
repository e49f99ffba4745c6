// The streamed `show --json` document against nlohmann's dump of the document built in memory, as the
// program built it before it streamed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "cli/sequencejson.h"
#include "model/geometry.h"
#include "model/mediandepth.h"
#include "model/sqxfile.h"
#include "tests/cli/clirun.h"
#include "tests/support/fixtures.h"
#include "tests/support/testdir.h"

namespace {

using nlohmann::ordered_json;

// The reference: the whole document in memory, field by field as `show --json` used to build it.
ordered_json ReferenceJson(const TSequence& seq) {
    auto triple = [](const auto& v) { return ordered_json::array({v[0], v[1], v[2]}); };
    ordered_json segments = ordered_json::array();
    for (const TSegment& s : seq.Segments)
        if (!s.Empty())
            segments.push_back({{"name", RecordTextUtf8(s.Name.Get())},
                                {"first_node", s.FirstNode},
                                {"last_node", s.LastNode},
                                {"node_spacing", s.NodeSpacing},
                                {"reversible", s.Reversible != 0}});
    ordered_json j;
    j["version"] = seq.Version;
    j["name"] = RecordTextUtf8(seq.Name.Get());
    j["cable_name"] = RecordTextUtf8(seq.CableName.Get());
    j["segments"] = segments;
    j["array_type"] = seq.ArrayType;
    j["spacing"] = triple(seq.Spacing);
    j["level_used"] = triple(seq.LevelUsed);
    j["roll_limit"] = triple(seq.RollLimit);
    j["deepest_x"] = triple(seq.DeepestX);
    j["deepest_y"] = triple(seq.DeepestY);
    j["max_x"] = seq.MaxX;
    j["max_y"] = seq.MaxY;
    j["grid_line_x"] = seq.GridLineX;
    j["grid_line_y"] = seq.GridLineY;
    j["qmax"] = seq.QMax;
    j["stack_min"] = seq.StackMin;
    j["stack_max"] = seq.StackMax;
    j["time"] = seq.Time;
    j["mode"] = seq.Mode;
    j["vmn_range"] = seq.VmnRange;
    j["area"] = seq.Area;
    j["line"] = seq.Line;
    j["nb_electrode"] = seq.NbElectrode;
    j["first_electrode"] = seq.FirstElectrode;
    j["last_electrode"] = seq.LastElectrode;
    j["nb_quadripole"] = seq.NbQuadripole;
    ordered_json electrodes = ordered_json::array();
    for (int i = 0; i < MaxElectrodes; ++i) {
        const TElectrode& e = seq.Electrodes[i];
        if (e.Type == 0) continue;
        electrodes.push_back(
            {{"index", i}, {"type", e.Type}, {"number", e.Number}, {"x", e.X}, {"y", e.Y}, {"z", e.Z}});
    }
    j["electrodes"] = std::move(electrodes);
    ordered_json quads = ordered_json::array();
    for (int i = 0; i < seq.NbQuadripole; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        quads.push_back({{"a", q.A},
                         {"b", q.B},
                         {"m", q.M},
                         {"n", q.N},
                         {"spacing_index", q.SpacingIndex},
                         {"level", q.Level},
                         {"k", GeometricFactor(seq, q)},
                         {"pseudo_x", PseudoX(seq, q)},
                         {"level_value", ChartValue(seq, q, 0)},
                         {"depth", ChartValue(seq, q, 1)},
                         {"median_depth", MedianDepth(seq, q)}});
    }
    j["quadripoles"] = std::move(quads);
    return j;
}

std::string Streamed(const TSequence& seq) {
    std::ostringstream out;
    WriteSequenceJson(out, seq);
    return out.str();
}

std::unique_ptr<TSequence> Generated(int array, int nodes, float a, int32_t levels) {
    auto seq = MakeLine(MakeCable({{1, nodes / 2, a}, {nodes / 2 + 1, nodes, a, true}}),
                        {.Array = array, .A = a, .Levels = levels});
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    return seq;
}

TEST(SequenceJson, FullTableAsTheDocumentInMemory) {
    auto seq = Generated(0, 1999, 1, -1);
    ASSERT_EQ(seq->NbQuadripole, MaxQuadripoles);
    seq->Name.Set("Long line");
    const std::string text = Streamed(*seq);
    EXPECT_GT(text.size(), 1'000'000u);  // several flushes
    EXPECT_EQ(text, ReferenceJson(*seq).dump());
}

TEST(SequenceJson, NamesAndAwkwardNumbersAsTheDocumentInMemory) {
    struct TCase {
        const char* Name;
        void (*Spoil)(TSequence&);
    } cases[] = {
        {"empty record", [](TSequence& s) { s = TSequence(); }},
        {"one-byte Latin-1 names",
         [](TSequence& s) {
             s.Name.Set("Ligne \xE9t\xE9 \xB5 \xFF");
             s.CableName.Set(
                 "C\xE2"
                 "ble");
             s.Segments[1].Name.Set("Fl\xFBte");
         }},
        {"UTF-8, quotes, backslashes and control characters",
         [](TSequence& s) {
             s.Name.Set("\xC3\xA9t\xC3\xA9 \"q\" a\\b");
             s.CableName.Set("tab\there\x01\x1F\x7F");
         }},
        {"floats of nine significant digits",
         [](TSequence& s) {
             s.Area = 1.00000012f;
             s.Line = 123456.789f;
             s.Electrodes[3].X = 0.1f;
             s.Electrodes[4].Y = 3.40282347e38f;
             s.Electrodes[5].Z = 1.17549435e-38f;
             s.Electrodes[6].X = 1.4e-45f;  // the smallest subnormal
             s.RollLimit[1] = -0.0f;
             s.Spacing[2] = 16777217.0f;
             // Halfway between two 17-digit texts: the library's digits end in 3, std::to_chars' in 2.
             s.Electrodes[8].X = 1.00000762939453125f;
             s.Electrodes[9].Y = 4.9746095483531006e-43f;
         }},
        {"NaN and infinities",
         [](TSequence& s) {
             s.Area = NAN;
             s.Line = INFINITY;
             s.MaxX = -INFINITY;
             s.DeepestY[2] = -NAN;
             s.Electrodes[7].X = NAN;
             s.Segments[0].NodeSpacing = INFINITY;
             s.Spacing[0] = NAN;  // k, pseudo_x and the chart values of every quadripole too
         }},
        {"extreme integers",
         [](TSequence& s) {
             s.Version = std::numeric_limits<int32_t>::min();
             s.LevelUsed[0] = std::numeric_limits<int32_t>::max();
             s.LevelUsed[1] = -1;
             s.Mode = 255;
             s.Electrodes[8].Number = -32768;
             s.Electrodes[9].Type = 32767;
             s.Quadripoles[0].SpacingIndex = -128;
             s.Quadripoles[1].Level = 127;
             s.Quadripoles[2].A = 1999;
             s.Quadripoles[2].B = -1;  // no such electrode: the factor's own fallbacks
         }},
    };
    for (const auto& c : cases) {
        auto seq = Generated(4, 96, 2.5f, 0xFF);
        c.Spoil(*seq);
        EXPECT_EQ(Streamed(*seq), ReferenceJson(*seq).dump()) << c.Name;
    }
}

TEST(SequenceJson, RandomRecordsAsTheDocumentInMemory) {
    std::mt19937 rng(15);
    std::uniform_int_distribution<int> byte(1, 255), bits(0, 255);
    auto randomBits = [&](void* p, std::size_t n) {
        auto* b = static_cast<unsigned char*>(p);
        for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(bits(rng));
    };
    for (int round = 0; round < 60; ++round) {
        auto seq = Generated(round % 3, 48 + round, 1 + float(round % 4) * 0.37f, 0x3F);
        // Any bit pattern in the numbers a record holds, names of any bytes.
        randomBits(&seq->Area, sizeof seq->Area);
        randomBits(&seq->Line, sizeof seq->Line);
        randomBits(seq->RollLimit, sizeof seq->RollLimit);
        randomBits(seq->DeepestX, sizeof seq->DeepestX);
        randomBits(&seq->Mode, sizeof seq->Mode);
        for (int i = 0; i < 40; ++i) randomBits(&seq->Electrodes[i].X, 3 * sizeof(float));
        for (int i = 0; i < 40; ++i) randomBits(&seq->Quadripoles[i], sizeof(TQuadripole));
        std::string name;
        for (int i = 0; i < 31; ++i) name.push_back(static_cast<char>(byte(rng)));
        seq->Name.Set(name);
        ASSERT_EQ(Streamed(*seq), ReferenceJson(*seq).dump()) << round;
    }
}

TEST(SequenceJson, ShowPrintsTheDocumentAndANewline) {
    TTestDir dir;
    auto seq = Generated(6, 480, 1, 0xFFFF);
    seq->Name.Set("W\xE9nner");
    WriteSequenceFile(dir.Path("w.sqx"), *seq);
    auto r = Cli({"show", dir.Path("w.sqx"), "--json"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    auto back = std::make_unique<TSequence>();
    ReadSequenceFile(dir.Path("w.sqx"), *back);
    EXPECT_EQ(r.Out, ReferenceJson(*back).dump() + "\n");
}

}  // namespace
