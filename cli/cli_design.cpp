// resolution, optimise: how well a design resolves the ground, and designs that resolve it best.
#include <CLI/CLI.hpp>
#include <atomic>
#include <cmath>
#include <csignal>
#include <iomanip>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "cli/cli.h"
#include "design/optimise.h"
#include "design/sequencedesign.h"
#include "model/cable.h"
#include "model/electrodesused.h"
#include "model/fileio.h"
#include "model/generate.h"
#include "model/sequencerules.h"
#include "model/sqxfile.h"

using nlohmann::ordered_json;

namespace {

// Set by SIGINT while an optimisation runs: it ends at once and writes nothing.
std::atomic<bool> DesignStop{false};
extern "C" void OnDesignStop(int) { DesignStop.store(true); }

class TDesignStopSignal {
   public:
    TDesignStopSignal() {
        DesignStop.store(false);
        struct sigaction sa {};
        sa.sa_handler = OnDesignStop;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &old_);
    }
    ~TDesignStopSignal() { sigaction(SIGINT, &old_, nullptr); }
    TDesignStopSignal(const TDesignStopSignal&) = delete;
    TDesignStopSignal& operator=(const TDesignStopSignal&) = delete;

   private:
    struct sigaction old_ {};
};

// The largest |K| of a usual standard design (dipole-dipole of dipoles a at level 6, pi n (n+1) (n+2) a):
// the default limit, which keeps readings weaker than those out.
constexpr double DefaultMaxKPerSpacing = 3.14159265358979323846 * 6 * 7 * 8;

std::string Fixed(double v, int digits) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(digits) << v;
    return s.str();
}

struct TResolutionArgs {
    std::vector<std::string> Files;
    double Depth = 0;
    bool Json = false;
};

void RunResolution(TCliContext& ctx, const TResolutionArgs& a) {
    if (!(a.Depth >= 0) || !std::isfinite(a.Depth)) throw TCliUsage("--depth must be a positive number");
    auto seq = std::make_unique<TSequence>();
    ReadSequenceFile(a.Files[0], *seq);
    TDesignElectrodes electrodes;
    std::vector<TDesignQuad> design;
    try {
        electrodes = DesignElectrodes(*seq);
        design = DesignOfSequence(*seq, electrodes);
    } catch (const std::invalid_argument& e) {
        throw TCliFailure(a.Files[0] + ": " + e.what());
    }
    const std::string name = seq->Name.Get();
    // Further files join the design; they must stand on the same electrodes.
    for (std::size_t f = 1; f < a.Files.size(); ++f) {
        ReadSequenceFile(a.Files[f], *seq);
        try {
            const TDesignElectrodes other = DesignElectrodes(*seq);
            bool same = other.X.size() == electrodes.X.size();
            for (std::size_t i = 0; same && i < other.X.size(); ++i)
                same =
                    other.Number[i] == electrodes.Number[i] && std::fabs(other.X[i] - electrodes.X[i]) < 0.01;
            if (!same) throw TCliFailure(a.Files[f] + ": not on the electrodes of " + a.Files[0]);
            const std::vector<TDesignQuad> more = DesignOfSequence(*seq, other);
            design.insert(design.end(), more.begin(), more.end());
        } catch (const std::invalid_argument& e) {
            throw TCliFailure(a.Files[f] + ": " + e.what());
        }
    }
    std::unique_ptr<TDesignProblem> made;
    try {
        made = std::make_unique<TDesignProblem>(electrodes.X, a.Depth);
    } catch (const std::invalid_argument& e) {
        throw TCliFailure(a.Files[0] + ": " + e.what());
    }
    const TDesignProblem& problem = *made;
    const Eigen::VectorXd diagonal = problem.ResolutionDiagonal(design);
    const double figure = problem.FigureOfMerit(diagonal);
    if (!a.Json) {
        ctx.Out << Shown(name) << ": figure of merit " << Fixed(figure, 4) << " (" << design.size()
                << " readings, " << electrodes.X.size() << " electrodes, depth of interest "
                << Fixed(problem.Model().Depth(), 2) << ")\n";
        return;
    }
    const Eigen::VectorXd relative = problem.RelativeResolution(diagonal);
    const Eigen::VectorXd sensitivity = problem.CumulativeSensitivity(design);
    ordered_json j;
    j["figure"] = figure;
    j["readings"] = design.size();
    j["electrodes"] = electrodes.X.size();
    j["depth"] = problem.Model().Depth();
    j["lambda"] = problem.Lambda();
    ordered_json cells = ordered_json::array();
    for (int c = 0; c < problem.Model().Size(); ++c) {
        const TCell& cell = problem.Model().Cells()[c];
        cells.push_back({{"x0", cell.X0},
                         {"x1", cell.X1},
                         {"z0", cell.Z0},
                         {"z1", cell.Z1},
                         {"relative_resolution", relative(c)},
                         {"sensitivity", sensitivity(c)},
                         {"resolution", diagonal(c)},
                         {"target", cell.Target}});
    }
    j["cells"] = std::move(cells);
    ctx.Out << j.dump(2) << "\n";
}

struct TOptimiseArgs {
    std::string Cable, Start, Name, Output;
    double Spacing = 0;
    std::optional<int> First, Electrodes;
    int Readings = 0;
    std::optional<double> MaxK;
    double Depth = 0;
    int Channels = 1;
    bool NoGamma = false;
};

void RunOptimise(TCliContext& ctx, const TOptimiseArgs& a) {
    if (!(a.Spacing > MinElectrodeSpacing) || !std::isfinite(a.Spacing))
        throw TCliUsage("--spacing must be above 0.001");
    if (a.Readings < 1 || a.Readings > MaxQuadripoles)
        throw TCliUsage("--readings must be from 1 to " + std::to_string(MaxQuadripoles));
    if (a.MaxK && !(*a.MaxK > 0)) throw TCliUsage("--max-k must be above 0");
    if (!(a.Depth >= 0) || !std::isfinite(a.Depth)) throw TCliUsage("--depth must be a positive number");
    if (a.Channels < 1 || a.Channels > 64) throw TCliUsage("--channels must be from 1 to 64");
    if (a.Name.size() > static_cast<std::size_t>(MaxSequenceNameLength))
        throw TCliUsage("--name: at most " + std::to_string(MaxSequenceNameLength) + " characters");

    auto seq = std::make_unique<TSequence>();
    TCable cable = *seq;
    ReadCableFile(a.Cable, cable);
    try {
        ApplyCableSet(*seq, cable);
    } catch (const std::invalid_argument& e) {
        throw TCliFailure(a.Cable + ": cable set refused: " + e.what());
    }
    SetElectrodeSpacing(*seq, static_cast<float>(a.Spacing));
    if (!a.Name.empty()) seq->Name.Set(a.Name);
    const TRange firstRange = FirstElectrodeRange(*seq);
    if (firstRange.Max < firstRange.Min) throw TCliFailure(a.Cable + ": the cable set has too few nodes");
    if (a.First && (*a.First < firstRange.Min || *a.First > firstRange.Max))
        throw TCliUsage("--first must be from " + std::to_string(firstRange.Min) + " to " +
                        std::to_string(firstRange.Max));
    const int first = AdjustFirstElectrode(*seq, a.First.value_or(seq->FirstElectrode), firstRange);
    const TRange countRange = ElectrodeCountRange(*seq);
    if (a.Electrodes && (*a.Electrodes < countRange.Min || *a.Electrodes > countRange.Max))
        throw TCliUsage("--electrodes must be from " + std::to_string(countRange.Min) + " to " +
                        std::to_string(countRange.Max));
    ApplyElectrodesUsed(
        *seq, ModeCreate, NoRollStart,
        {first, 0, 0, 0, std::nullopt, countRange.Clamp(a.Electrodes.value_or(seq->NbElectrode))});
    if (!PlaceDesignElectrodes(*seq))
        throw TCliFailure(a.Cable + ": cannot place the electrodes: " + GenerationProblem(*seq).value_or(""));

    TDesignElectrodes electrodes;
    try {
        electrodes = DesignElectrodes(*seq);
    } catch (const std::invalid_argument& e) {
        throw TCliFailure(a.Cable + ": " + e.what());
    }
    TOptimiseOptions options;
    options.Readings = a.Readings;
    options.MaxK = a.MaxK.value_or(DefaultMaxKPerSpacing * a.Spacing);
    options.Gamma = !a.NoGamma;
    options.Channels = a.Channels;
    if (!a.Start.empty()) {
        auto start = std::make_unique<TSequence>();
        ReadSequenceFile(a.Start, *start);
        // The start's electrodes are matched to the placed ones by position.
        std::vector<int> index(MaxElectrodes, -2);
        for (int k = 1; k < MaxElectrodes; ++k) {
            const TElectrode& e = start->Electrodes[k];
            if (e.Type != static_cast<int16_t>(TElectrodeType::Active)) continue;
            for (std::size_t i = 0; i < electrodes.X.size(); ++i)
                if (std::fabs(electrodes.X[i] - e.X) < 0.01) index[k] = static_cast<int>(i);
        }
        for (int q = 0; q < std::clamp(start->NbQuadripole, 0, MaxQuadripoles); ++q) {
            const TQuadripole& r = start->Quadripoles[q];
            auto at = [&](int number) {
                if (number == 0) return -1;
                if (number < 0 || number >= MaxElectrodes || index[number] == -2)
                    throw TCliFailure(a.Start + ": quadripole " + std::to_string(q + 1) + " uses electrode " +
                                      std::to_string(number) + ", which is not on the optimised line");
                return index[number];
            };
            options.Start.push_back({at(r.A), at(r.B), at(r.M), at(r.N)});
        }
        if (static_cast<int>(options.Start.size()) > a.Readings)
            throw TCliUsage("--start holds " + std::to_string(options.Start.size()) +
                            " readings, more than --readings");
    }

    TDesignStopSignal signal;
    std::unique_ptr<TDesignProblem> made;
    try {
        made = std::make_unique<TDesignProblem>(electrodes.X, a.Depth, &DesignStop);
    } catch (const std::invalid_argument& e) {
        throw TCliFailure(a.Cable + ": " + e.what());
    }
    const TDesignProblem& problem = *made;
    TOptimiseResult result;
    if (!problem.Stopped())
        result = OptimiseDesign(
            problem, options,
            [&](const TOptimiseProgress& p) {
                ctx.Err << "optimise: " << p.Readings << "/" << p.Wanted << " readings, figure of merit "
                        << Fixed(p.Figure, 4) << std::endl;
            },
            &DesignStop);
    if (problem.Stopped() || result.Stopped || DesignStop.load())
        throw TCliFailure("optimise: stopped; " + a.Output + " not written");
    WriteDesign(*seq, electrodes, result.Design);
    WriteSequenceFile(a.Output, *seq);
    ctx.Out << Shown(seq->Name.Get()) << ": " << electrodes.X.size() << " electrodes, " << seq->NbQuadripole
            << " quadripoles, figure of merit " << Fixed(result.Figure, 4) << "\n";
    if (result.RanOut)
        ctx.Err << "warning: " << Shown(a.Output) << ": only " << seq->NbQuadripole
                << " readings: no other candidate within the K limit adds resolution\n";
}

}  // namespace

void AddDesignCommands(CLI::App& app, TCliContext& ctx) {
    auto r = std::make_shared<TResolutionArgs>();
    auto* res = app.add_subcommand(
        "resolution",
        "Figure of merit of a design: the mean over the target cells (the line's span, down to the depth of "
        "interest) "
        "of its model resolution relative to that of every quadripole of the same electrodes. Half-space "
        "kernels, cells "
        "two per electrode gap thickening by 10 % per layer, first-difference smoothness with damping 5 x "
        "the "
        "comprehensive set's mean squared sensitivity per reading. Several files count as one design.");
    res->add_option("FILE", r->Files, "The .sqx files of the design")->required();
    res->add_option("--depth", r->Depth, "Depth of interest (default a fifth of the line's length)");
    res->add_flag("--json", r->Json,
                  "Print one JSON object with every cell's relative resolution and sensitivity");
    res->callback([r, &ctx] { RunResolution(ctx, *r); });

    auto o = std::make_shared<TOptimiseArgs>();
    auto* opt = app.add_subcommand(
        "optimise",
        "Optimised sequence (Compare R): readings added by their gain in model resolution, within a K limit, "
        "on the "
        "cable set's placed electrodes. Progress on stderr; Ctrl-C stops and writes nothing.");
    opt->add_option("--cable", o->Cable, "Cable set file (.cbl)")->required();
    opt->add_option("--spacing", o->Spacing, "Electrode spacing a")->required();
    opt->add_option("--first", o->First, "First electrode");
    opt->add_option("--electrodes", o->Electrodes, "Number of electrodes");
    opt->add_option("--readings", o->Readings, "Readings in the result (start included)")->required();
    opt->add_option("--max-k", o->MaxK,
                    "Largest |K| of a reading (default 1056 x a: dipole-dipole a at level 6)");
    opt->add_option("--depth", o->Depth, "Depth of interest (default a fifth of the line's length)");
    opt->add_option("--start", o->Start, "Start from the quadripoles of this sequence (.sqx)");
    opt->add_option("--channels", o->Channels,
                    "Channels per injection (1): above 1, whole injections are added, one current dipole "
                    "with up to this many readings");
    opt->add_flag("--no-gamma", o->NoGamma, "Leave out the interleaved A M B N arrangements");
    opt->add_option("--name", o->Name, "Sequence name (at most 24 characters)");
    opt->add_option("-o", o->Output, "The .sqx file to write")->required();
    opt->callback([o, &ctx] { RunOptimise(ctx, *o); });
}
