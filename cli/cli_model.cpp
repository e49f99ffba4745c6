// cable create|show, generate, show: the sequence model from the command line.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <vector>

#include "cli/cli.h"
#include "cli/sequencejson.h"
#include "model/cable.h"
#include "model/electrodesused.h"
#include "model/fileio.h"
#include "model/generate.h"
#include "model/geometry.h"
#include "model/grid3d.h"
#include "model/levelspec.h"
#include "model/sequencerules.h"
#include "model/sqxfile.h"

using nlohmann::ordered_json;

namespace {

float ParseFloat(const std::string& text, const std::string& what) {
    char* end = nullptr;
    float v = std::strtof(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0')
        throw TCliUsage(what + ": \"" + text + "\" is not a number");
    // strtof reads "nan" and "inf", and gives an infinity for what a float cannot hold.
    if (!std::isfinite(v)) throw TCliUsage(what + ": \"" + text + "\" is not a finite number");
    return v;
}

int ParseInt(const std::string& text, const std::string& what) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end == nullptr || *end != '\0' || v < -100000 || v > 100000)
        throw TCliUsage(what + ": \"" + text + "\" is not a whole number");
    return static_cast<int>(v);
}

// NAME:FIRST-LAST:SPACING[:rev]; the name may itself hold colons.
TSegment ParseSegmentOption(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t p = text.find(':', start);
        parts.push_back(text.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos) break;
        start = p + 1;
    }
    bool rev = false;
    if (parts.size() >= 4 && parts.back() == "rev") {
        rev = true;
        parts.pop_back();
    }
    if (parts.size() < 3)
        throw TCliUsage("--segment \"" + text + "\": expected NAME:FIRST-LAST:SPACING[:rev]");
    std::string spacing = parts.back();
    parts.pop_back();
    std::string range = parts.back();
    parts.pop_back();
    std::string name = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) name += ":" + parts[i];
    auto dash = range.find('-');
    if (dash == std::string::npos) throw TCliUsage("--segment \"" + text + "\": nodes must read FIRST-LAST");
    if (auto p = CableNameProblem(name)) throw TCliUsage("--segment \"" + text + "\": name: " + *p);
    TSegment s;
    s.MakeEmpty();
    s.Name.Set(name);
    int first = ParseInt(range.substr(0, dash), "--segment first node");
    int last = ParseInt(range.substr(dash + 1), "--segment last node");
    if (first < 1 || last < first || last > MaxNodeNumber)
        throw TCliUsage("--segment \"" + text + "\": nodes must satisfy 1 <= FIRST <= LAST <= 4000");
    s.FirstNode = static_cast<int16_t>(first);
    s.LastNode = static_cast<int16_t>(last);
    s.NodeSpacing = ParseFloat(spacing, "--segment spacing");
    s.Reversible = rev ? 1 : 0;
    return s;
}

ordered_json SegmentJson(const TSegment& s) {
    return {{"name", RecordTextUtf8(s.Name.Get())},
            {"first_node", s.FirstNode},
            {"last_node", s.LastNode},
            {"node_spacing", s.NodeSpacing},
            {"reversible", s.Reversible != 0}};
}

ordered_json SegmentsJson(const TCable& c) {
    ordered_json list = ordered_json::array();
    for (const TSegment& s : c.Segments)
        if (!s.Empty()) list.push_back(SegmentJson(s));
    return list;
}

// The plain gradient: a multiple gradient of the one separation whose current dipole spans every
// electrode asked for.
constexpr const char* GradientOption = "gradient";

// The --array names, as the array type table offers them, in alphabetical order.
std::string ArrayOptionList(const char* lastSeparator) {
    std::vector<std::string> names{GradientOption};
    for (const TArrayTypeRow& r : ArrayTypeTable)
        if (*r.Option != '\0') names.push_back(r.Option);
    std::sort(names.begin(), names.end());
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? lastSeparator : ", ") + names[i];
    return text;
}

int32_t ArrayCode(const std::string& name) {
    if (name == GradientOption) return static_cast<int32_t>(TArrayType::MultipleGradient);
    if (const TArrayTypeRow* r = ArrayTypeOfOption(name)) return r->Code;
    throw TCliUsage("--array: \"" + name + "\" is not one of " + ArrayOptionList(", "));
}

std::string RangeText(const TRange& r) { return std::to_string(r.Min) + " to " + std::to_string(r.Max); }

struct TGenerateOptions {
    std::string Cable, Array, Levels, Separations, Levels2, Levels3, RollAlong, MoveAlong, Name, Stack, Mode,
        Output, Grid;
    std::optional<float> Spacing, X, Y, Z, StartX, Area, Line, LineSpacing;
    bool YLines = false, Cross = false;
    std::optional<int> Spacing2, Spacing3, First, Electrodes, Time, QMax, Vmn;
};

void ApplyParameters(TSequence& seq, const TGenerateOptions& o) {
    if (!o.Array.empty()) seq.ArrayType = ArrayCode(o.Array);
    if (o.Spacing) {
        if (!(*o.Spacing > MinElectrodeSpacing)) throw TCliUsage("--spacing must be above 0.001");
        SetElectrodeSpacing(seq, *o.Spacing);
    }
    const bool gradient = seq.ArrayType == static_cast<int32_t>(TArrayType::MultipleGradient);
    // The separation factors s of a multiple gradient take the place of the levels of spacing a.
    if (o.Array == GradientOption && (!o.Separations.empty() || !o.Levels.empty()))
        throw TCliUsage(
            "--array gradient takes its one separation from the electrodes: no --separations or --levels");
    if (!o.Separations.empty()) {
        if (!gradient) throw TCliUsage("--separations belongs to --array mg");
        if (!o.Levels.empty()) throw TCliUsage("--array mg takes --separations, not --levels");
        seq.LevelUsed[0] = ParseLevelSpec(o.Separations, "--separations");
    }
    if (!o.Levels.empty()) {
        if (gradient) throw TCliUsage("--array mg takes --separations, not --levels");
        seq.LevelUsed[0] = ParseLevelSpec(o.Levels, "--levels");
    }
    auto other = [&](int s, const std::optional<int>& k, const std::string& levels, const char* name) {
        const std::string levelsOption = std::string("--levels") + char('0' + s + 1);
        if (!k) {
            if (levels.empty()) return;
            // A roll or move along keeps the copied dipole lengths; new levels apply to them.
            if (seq.Spacing[s] == 0.0f) throw TCliUsage(levelsOption + " needs " + name);
            seq.LevelUsed[s] = ParseLevelSpec(levels, levelsOption);
            return;
        }
        const TRange multiples = DipoleLengthMultiples(s);
        if (multiples.Clamp(*k) != *k)
            throw TCliUsage(std::string(name) + " must be a whole multiple of a from " +
                            RangeText(multiples));
        if (levels.empty()) throw TCliUsage(std::string(name) + " needs its " + levelsOption);
        SetDipoleLength(seq, s, *k);
        seq.LevelUsed[s] = ParseLevelSpec(levels, levelsOption);
    };
    other(1, o.Spacing2, o.Levels2, "--spacing2");
    other(2, o.Spacing3, o.Levels3, "--spacing3");
    if (o.Spacing3 && seq.Spacing[1] == 0.0f) throw TCliUsage("--spacing3 needs --spacing2");
    if (UsesOneSpacing(seq.ArrayType)) {
        if (o.Spacing2)
            throw TCliUsage(seq.ArrayType == static_cast<int32_t>(TArrayType::MultipleGradient)
                                ? "the multiple gradient uses one spacing only"
                                : "pole-pole and Wenner use one spacing only");
        ClearDipoleLengths(seq, 1);
    }
    if (!o.Name.empty()) {
        if (auto p = TextLengthProblem(o.Name, MaxSequenceNameLength)) throw TCliUsage("--name: " + *p);
        seq.Name.Set(o.Name);
    }
    if (o.Time) {
        if (!IsTimeChoice(*o.Time)) throw TCliUsage("--time must be 2000, 1000, 500 or 250");
        seq.Time = *o.Time;
    }
    if (!o.Stack.empty()) {
        auto colon = o.Stack.find(':');
        if (colon == std::string::npos) throw TCliUsage("--stack must read MIN:MAX");
        int lo = ParseInt(o.Stack.substr(0, colon), "--stack"),
            hi = ParseInt(o.Stack.substr(colon + 1), "--stack");
        if (lo < StackLimits.Min || hi > StackLimits.Max || lo > hi)
            throw TCliUsage("--stack: " + std::to_string(StackLimits.Min) +
                            " <= MIN <= MAX <= " + std::to_string(StackLimits.Max));
        seq.StackMin = lo;
        seq.StackMax = hi;
    }
    if (o.QMax) {
        if (QMaxLimits.Clamp(*o.QMax) != *o.QMax) throw TCliUsage("--qmax must be " + RangeText(QMaxLimits));
        seq.QMax = *o.QMax;
    }
    if (!o.Mode.empty()) seq.Mode = o.Mode == "ip" ? 1 : 0;
    if (o.Vmn) {
        if (VmnCodes.Clamp(*o.Vmn) != *o.Vmn) throw TCliUsage("--vmn must be " + RangeText(VmnCodes));
        seq.VmnRange = *o.Vmn;
    }
    if (o.Area) seq.Area = *o.Area;
    if (o.Line) seq.Line = *o.Line;
}

void LoadCableOption(TSequence& seq, const std::string& path) {
    TCable cable = seq;  // a short file keeps what the record held, as in the desktop program
    ReadCableFile(path, cable);
    try {
        ApplyCableSet(seq, cable);
    } catch (const std::invalid_argument& e) {
        throw TCliFailure(path + ": cable set refused: " + e.what());
    }
}

int PickElectrodeCount(const TSequence& seq, const TGenerateOptions& o) {
    TRange r = ElectrodeCountRange(seq);
    int n = o.Electrodes.value_or(seq.NbElectrode);
    if (o.Electrodes && (n < r.Min || n > r.Max))
        throw TCliUsage("--electrodes must be from " + std::to_string(r.Min) + " to " +
                        std::to_string(r.Max));
    return r.Clamp(n);
}

// The file the sequence's cable set came from, for messages.
std::string CableSource(const TGenerateOptions& o) {
    if (!o.Cable.empty()) return o.Cable;
    return !o.RollAlong.empty() ? o.RollAlong : o.MoveAlong;
}

int PickFirst(const TSequence& seq, const TGenerateOptions& o, int proposed, const TRange& range) {
    if (range.Max < range.Min)
        throw TCliFailure(CableSource(o) + ": the cable set has too few nodes for this array");
    if (o.First && (*o.First < range.Min || *o.First > range.Max))
        throw TCliUsage("--first must be from " + std::to_string(range.Min) + " to " +
                        std::to_string(range.Max));
    return AdjustFirstElectrode(seq, o.First.value_or(proposed), range);
}

// A refused generation names the option that set the field, or the file it came from.
[[noreturn]] void RefuseGeneration(const TGenerationProblem& p, const TGenerateOptions& o, int mode) {
    using F = TGenerationField;
    const char* option = nullptr;
    switch (p.Field) {
        case F::Spacing:
            option = o.Spacing ? "--spacing" : nullptr;
            break;
        case F::DipoleLength:
            option = o.Spacing3 ? "--spacing3" : o.Spacing2 ? "--spacing2" : nullptr;
            break;
        case F::FirstElectrode:
            option = o.First ? "--first" : nullptr;
            break;
        case F::FirstX:
            option = mode == ModeMoveAlong ? "--start-x" : o.X ? "--x" : nullptr;
            break;
        case F::FirstY:
            option = o.Y ? "--y" : nullptr;
            break;
        case F::FirstZ:
            option = o.Z ? "--z" : nullptr;
            break;
        case F::ElectrodeCount:
            option = o.Electrodes ? "--electrodes" : nullptr;
            break;
        case F::ArrayType:
            option = o.Array.empty() ? nullptr : "--array";
            break;
        case F::GridLines:
            option = "--grid";
            break;
        case F::LineSpacing:
            option = "--line-spacing";
            break;
        case F::CableSet:
        case F::LineEnd:
            break;
    }
    if (option != nullptr) throw TCliUsage(std::string(option) + ": cannot generate: " + p.Text);
    throw TCliFailure(CableSource(o) + ": cannot generate: " + p.Text);
}

void WriteGenerated(TCliContext& ctx, const TGenerateOptions& o, const TSequence& seq,
                    const TGenerationResult& result) {
    WriteSequenceFile(o.Output, seq);
    ctx.Out << Shown(seq.Name.Get()) << ": " << seq.NbElectrode << " electrodes, " << seq.NbQuadripole
            << " quadripoles\n";
    if (!result.EmptyReason.empty())
        ctx.Err << "warning: " << Shown(o.Output) << ": no quadripole: " << result.EmptyReason << "\n";
    if (!result.CapCut.empty()) ctx.Err << "warning: " << Shown(o.Output) << ": " << result.CapCut << "\n";
}

// --grid NX:NY: lines along X, electrodes on each.
std::pair<int, int> ParseGrid(const std::string& text) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) throw TCliUsage("--grid must read NX:NY");
    const int nx = ParseInt(text.substr(0, colon), "--grid"), ny = ParseInt(text.substr(colon + 1), "--grid");
    if (GridLineLimits.Clamp(nx) != nx || GridLineLimits.Clamp(ny) != ny)
        throw TCliUsage("--grid: NX and NY must each be " + RangeText(GridLineLimits));
    return {nx, ny};
}

// The grid options, checked against each other and against what a grid does not take.
std::optional<std::pair<int, int>> GridOption(const TGenerateOptions& o) {
    if (o.Grid.empty()) {
        if (o.LineSpacing || o.YLines || o.Cross)
            throw TCliUsage("--line-spacing, --y-lines and --cross belong to --grid");
        return std::nullopt;
    }
    const auto grid = ParseGrid(o.Grid);
    if (!o.LineSpacing) throw TCliUsage("--grid needs --line-spacing");
    if (!o.RollAlong.empty() || !o.MoveAlong.empty())
        throw TCliUsage("--grid lays out a whole grid: it is not rolled or moved along");
    if (o.Electrodes) throw TCliUsage("--grid sets the number of electrodes (NX x NY): no --electrodes");
    if (o.Array == GradientOption)
        throw TCliUsage("--array gradient spans one line; a grid takes --array mg");
    return grid;
}

void RunGenerate(TCliContext& ctx, const TGenerateOptions& o) {
    for (const auto& [value, name] : {std::pair{o.LineSpacing, "--line-spacing"},
                                      {o.Spacing, "--spacing"},
                                      {o.X, "--x"},
                                      {o.Y, "--y"},
                                      {o.Z, "--z"},
                                      {o.StartX, "--start-x"},
                                      {o.Area, "--area"},
                                      {o.Line, "--line"}})
        if (value && !std::isfinite(*value)) throw TCliUsage(std::string(name) + " must be a finite number");
    const auto grid = GridOption(o);
    const bool rolling = !o.RollAlong.empty() || !o.MoveAlong.empty();
    auto seq = std::make_unique<TSequence>();
    TGenerationMode mode = ModeCreate;
    if (rolling) {
        if (o.X || o.Y || o.Z)
            throw TCliUsage("--x, --y and --z place a new line; a move along takes --start-x");
        if (!o.MoveAlong.empty() && !o.StartX) throw TCliUsage("--move-along needs --start-x");
        mode = o.RollAlong.empty() ? ModeMoveAlong : ModeRollAlong;
        const std::string& prevPath = o.RollAlong.empty() ? o.MoveAlong : o.RollAlong;
        auto previous = std::make_unique<TSequence>();
        ReadSequenceFile(prevPath, *previous);
        if (previous->ArrayType == 9)
            throw TCliFailure(prevPath + ": the sequence has no geometry to roll along");
        if (IsGrid(*previous))
            throw TCliFailure(prevPath +
                              ": the sequence is a 3D grid, generated whole: it is not rolled along");
        *seq = *previous;  // a new sequence starts as a copy of the one it follows
        if (!o.Cable.empty()) LoadCableOption(*seq, o.Cable);
        ApplyParameters(*seq, o);
        auto setup = ChoosePreviousSequence(*seq, *previous, mode);
        if (!setup)
            throw TCliFailure(
                prevPath +
                ": no deepest-level quadripole on an active electrode, nothing to roll along from");
        TRange range = setup->FirstRange;
        int first = PickFirst(*seq, o, setup->ProposedFirst, range);
        const TElectrode& e = seq->Electrodes[first];
        TElectrodesUsedChoice choice{
            first,        DialogCoordinate(e.X),      DialogCoordinate(e.Y), DialogCoordinate(e.Z),
            std::nullopt, PickElectrodeCount(*seq, o)};
        if (mode == ModeMoveAlong) choice.MoveAlongX = DialogCoordinate(*o.StartX);
        ApplyElectrodesUsed(*seq, mode, setup->RollStart, choice);
    } else {
        if (o.Cable.empty() || o.Array.empty() || !o.Spacing ||
            (o.Levels.empty() && o.Separations.empty() && o.Array != GradientOption))
            throw TCliUsage(
                "generate needs --cable, --array, --spacing and --levels (--separations with --array mg)");
        if (o.StartX) throw TCliUsage("--start-x belongs to --move-along");
        LoadCableOption(*seq, o.Cable);
        ApplyParameters(*seq, o);
        int first = PickFirst(*seq, o, seq->FirstElectrode, FirstElectrodeRange(*seq));
        TElectrodesUsedChoice choice{first,
                                     DialogCoordinate(o.X.value_or(0)),
                                     DialogCoordinate(o.Y.value_or(0)),
                                     DialogCoordinate(o.Z.value_or(0)),
                                     std::nullopt,
                                     PickElectrodeCount(*seq, o)};
        if (grid) choice.ElectrodeCount = ElectrodeCountRange(*seq).Clamp(grid->first * grid->second);
        ApplyElectrodesUsed(*seq, mode, NoRollStart, choice);
    }
    if (grid) {
        seq->GridLineX = grid->first;
        seq->GridLineY = grid->second;
        TGridLayout layout;
        layout.LineSpacing = DialogCoordinate(*o.LineSpacing);
        layout.YLines = o.YLines;
        layout.CrossLines = o.Cross;
        if (auto problem = GridPrecondition(*seq, layout)) RefuseGeneration(*problem, o, mode);
        TNullChartSink chart;
        const TGenerationResult result = RunGridGeneration(*seq, layout, chart);
        WriteGenerated(ctx, o, *seq, result);
        return;
    }
    if (o.Array == GradientOption) {
        // One current dipole from the first electrode to the last, (N - 1) a long: separation N - 3, which
        // a level holds up to 32.
        const int s = seq->NbElectrode - 3;
        if (s < 1 || s > MaxLevels)
            throw TCliUsage("--array gradient spans " + std::to_string(seq->NbElectrode) +
                            " electrodes: it needs 4 to " + std::to_string(MaxLevels + 3) +
                            " (see --electrodes)");
        seq->LevelUsed[0] = static_cast<int32_t>(1u << (s - 1));
    }
    if (auto problem = GenerationPrecondition(*seq)) RefuseGeneration(*problem, o, mode);
    TNullChartSink chart;
    TGenerationResult result;
    try {
        result = RunGeneration(*seq, mode, chart);
    } catch (const std::invalid_argument& e) {
        throw TCliFailure(CableSource(o) + ": cannot generate: " + e.what());
    }
    WriteGenerated(ctx, o, *seq, result);
}

}  // namespace

void AddModelCommands(CLI::App& app, TCliContext& ctx) {
    auto* cable = app.add_subcommand("cable", "Create or show a cable set (.cbl)");
    cable->require_subcommand(1);

    struct TCableCreate {
        std::string Out, Name;
        std::vector<std::string> Segments;
    };
    auto create = std::make_shared<TCableCreate>();
    auto* cc = cable->add_subcommand("create", "Write a cable set from segments");
    cc->add_option("OUT", create->Out, "The .cbl file to write")->required();
    cc->add_option("--name", create->Name, "Cable set name")->required();
    cc->add_option("--segment", create->Segments, "NAME:FIRST-LAST:SPACING[:rev], in line order")->required();
    cc->callback([create, &ctx] {
        if (auto p = CableNameProblem(create->Name)) throw TCliUsage("--name: " + *p);
        TCable c;
        c.CableName.Set(create->Name);
        for (const std::string& text : create->Segments) {
            TSegment s = ParseSegmentOption(text);
            TIncludeOutcome r = IncludeSegment(c, s);
            if (r.Result != TIncludeResult::Included) throw TCliFailure(IncludeRefusalText(c, s, r));
        }
        WriteCableFile(create->Out, c);
        ctx.Out << Shown(c.CableName.Get()) << ": " << SegmentCount(c) << " segments, nodes "
                << FirstNodeOfSet(c) << " to " << LastNodeOfSet(c) << "\n";
    });

    struct TShow {
        std::string File;
        bool Json = false;
    };
    auto cshow = std::make_shared<TShow>();
    auto* cs = cable->add_subcommand("show", "Show a cable set");
    cs->add_option("FILE", cshow->File, "The .cbl file")->required();
    cs->add_flag("--json", cshow->Json, "Print one JSON object");
    cs->callback([cshow, &ctx] {
        TCable c;
        ReadCableFile(cshow->File, c);
        if (cshow->Json) {
            ordered_json j;
            j["cable_name"] = RecordTextUtf8(c.CableName.Get());
            j["segments"] = SegmentsJson(c);
            j["first_node"] = SegmentCount(c) ? FirstNodeOfSet(c) : 0;
            j["last_node"] = LastNodeOfSet(c);
            ctx.Out << j.dump(2) << "\n";
            return;
        }
        ctx.Out << "Cable set " << Shown(c.CableName.Get()) << "\n";
        for (const TSegment& s : c.Segments) {
            if (s.Empty()) continue;
            ctx.Out << "  " << Shown(s.Name.Get()) << "  nodes " << s.FirstNode << "-" << s.LastNode
                    << "  spacing " << s.NodeSpacing << (s.Reversible ? "  reversible" : "") << "\n";
        }
    });

    auto g = std::make_shared<TGenerateOptions>();
    auto* gen = app.add_subcommand("generate", "Generate a sequence into a .sqx file");
    gen->add_option("--cable", g->Cable, "Cable set file (.cbl)");
    gen->add_option("--array", g->Array, ArrayOptionList(" or "));
    gen->add_option("--spacing", g->Spacing, "Electrode spacing a");
    gen->add_option("--levels", g->Levels, "Levels of spacing a, e.g. 1-6 or 1,2,5");
    gen->add_option("--separations", g->Separations,
                    "Separation factors s of --array mg, as levels: each current dipole (s + 2) a long");
    gen->add_option("--spacing2", g->Spacing2, "Second dipole length, multiple of a (2 to 6)");
    gen->add_option("--levels2", g->Levels2, "Levels of the second length");
    gen->add_option("--spacing3", g->Spacing3, "Third dipole length, multiple of a (3 to 9)");
    gen->add_option("--levels3", g->Levels3, "Levels of the third length");
    gen->add_option("--first", g->First, "First electrode");
    gen->add_option("--x", g->X, "X of the first electrode");
    gen->add_option("--y", g->Y, "Y of the first electrode");
    gen->add_option("--z", g->Z, "Z of the first electrode");
    gen->add_option("--electrodes", g->Electrodes, "Number of electrodes");
    auto* roll = gen->add_option("--roll-along", g->RollAlong, "Roll along after this sequence (.sqx)");
    auto* move = gen->add_option("--move-along", g->MoveAlong, "Move along after this sequence (.sqx)");
    roll->excludes(move);
    gen->add_option("--start-x", g->StartX, "First electrode abscissa of a move along");
    gen->add_option("--name", g->Name, "Sequence name (at most 24 bytes)");
    gen->add_option("--time", g->Time, "Injection time in ms (2000, 1000, 500, 250)");
    gen->add_option("--stack", g->Stack, "Stack limits MIN:MAX");
    gen->add_option("--qmax", g->QMax, "Quality limit in percent");
    gen->add_option("--mode", g->Mode, "rho or ip")->check(CLI::IsMember({"rho", "ip"}));
    gen->add_option("--vmn", g->Vmn, "Voltage request code 0 to 11");
    gen->add_option("--area", g->Area, "Area number or latitude");
    gen->add_option("--line", g->Line, "Line number or longitude");
    gen->add_option("--grid", g->Grid,
                    "A 3D grid NX:NY: NX lines along X (D apart in Y), each of NY electrodes a apart; cables "
                    "laid parallel, electrodes numbered line by line");
    gen->add_option("--line-spacing", g->LineSpacing, "Distance D between the grid's lines along X");
    gen->add_flag("--y-lines", g->YLines, "Also measure along every line along Y of the grid");
    gen->add_flag("--cross", g->Cross,
                  "Also the cross-line dipole-dipole readings between neighbouring lines of the grid");
    gen->add_option("-o", g->Output, "The .sqx file to write")->required();
    gen->callback([g, &ctx] { RunGenerate(ctx, *g); });

    auto show = std::make_shared<TShow>();
    auto* sh = app.add_subcommand("show", "Show a sequence file (.sqx)");
    sh->add_option("FILE", show->File, "The .sqx file")->required();
    sh->add_flag(
        "--json", show->Json,
        "Print one JSON object; each quadripole carries k, pseudo_x, level_value, depth and median_depth");
    sh->callback([show, &ctx] {
        auto seq = std::make_unique<TSequence>();
        ReadSequenceFile(show->File, *seq);
        if (show->Json) {
            WriteSequenceJson(ctx.Out, *seq);
            ctx.Out << "\n";
            return;
        }
        std::string array = ArrayTypeName(seq->ArrayType);
        ctx.Out << "Sequence " << Shown(seq->Name.Get()) << "\n"
                << "  cable set   " << Shown(seq->CableName.Get()) << " (" << SegmentCount(*seq)
                << " segments)\n"
                << "  array       " << (array.empty() ? "no geometry" : array) << "\n"
                << "  spacing     " << seq->Spacing[0] << "\n";
        if (IsGrid(*seq))
            ctx.Out << "  3D grid     " << seq->GridLineX << " lines along X of " << seq->GridLineY
                    << " electrodes\n";
        ctx.Out << "  electrodes  " << seq->NbElectrode << " from " << seq->FirstElectrode << "\n"
                << "  quadripoles " << seq->NbQuadripole << "\n";
    });
}
