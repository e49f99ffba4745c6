// Writes the demo data shipped with the desktop program: a segment library with common cable types,
// two cable sets, and a demo set of sequences of different arrays. Run at build time:
//   teravox2-makedemo OUTDIR   (creates OUTDIR/Cable and OUTDIR/Sequence/Demo)
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "model/cable.h"
#include "model/datafolder.h"
#include "model/electrodesused.h"
#include "model/generate.h"
#include "storage/sequenceset.h"

namespace {

TCable CableSet(const char* name, std::initializer_list<TSegment> segments) {
    TCable c;
    c.CableName.Set(name);
    for (const TSegment& s : segments) {
        if (IncludeSegment(c, s).Result != TIncludeResult::Included)
            throw std::runtime_error("demo cable set refused");
    }
    return c;
}

std::unique_ptr<TSequence> Generate(const TCable& cable, const char* name, int array, float a, int levels,
                                    int mode = ModeCreate, const TSequence* previous = nullptr) {
    auto seq = std::make_unique<TSequence>();
    if (previous != nullptr) {
        *seq = *previous;
        auto setup = ChoosePreviousSequence(*seq, *previous, mode);
        if (!setup) throw std::runtime_error("demo roll along impossible");
        const TElectrode& e = seq->Electrodes[setup->ProposedFirst];
        ApplyElectrodesUsed(*seq, mode, setup->RollStart,
                            {setup->ProposedFirst, e.X, e.Y, e.Z, std::nullopt, seq->NbElectrode});
    } else {
        ApplyCableSet(*seq, cable);
        seq->ArrayType = array;
        seq->Spacing[0] = a;
        SetLevels(seq->LevelUsed[0], levels);
    }
    seq->Name.Set(name);
    TNullChartSink chart;
    GenerateSequence(*seq, mode == ModeCreate ? ModeCreate : ModeRollAlong, chart);
    return seq;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: teravox2-makedemo OUTDIR\n");
        return 2;
    }
    try {
        const std::string out = argv[1];
        std::filesystem::remove_all(out);
        const std::string cableFolder = JoinPath(out, "Cable");
        MakeFolders(cableFolder);

        std::vector<TSegment> library = {
            MakeSegment("Yellow 24 x 1 m", 1, 24, 1.0f),  MakeSegment("Yellow 24 x 2.5 m", 1, 24, 2.5f),
            MakeSegment("Red 24 x 5 m", 1, 24, 5.0f),     MakeSegment("Blue 24 x 5 m", 25, 48, 5.0f),
            MakeSegment("Green 48 x 2.5 m", 1, 48, 2.5f), MakeSegment("Black 48 x 5 m", 1, 48, 5.0f, true),
        };
        ReadLibrary(cableFolder);  // creates the file
        WriteLibrary(cableFolder, library);

        TCable twoReels = CableSet("Two reels 48 x 5 m", {library[2], library[3]});
        TCable mixed = CableSet("Mixed 72", {MakeSegment("Yellow 24 x 2.5 m", 1, 24, 2.5f),
                                             MakeSegment("Black 48 x 5 m", 25, 72, 5.0f)});
        WriteCableFile(CableFilePath(cableFolder, twoReels.CableName.Get()), twoReels);
        WriteCableFile(CableFilePath(cableFolder, mixed.CableName.Get()), mixed);

        TSequenceSet set;
        auto add = [&set](std::unique_ptr<TSequence> seq) { set.AddSequence(std::move(seq), false); };
        auto dd = Generate(twoReels, "DD 5m n1-6", 0, 5, 6);
        auto roll = Generate(twoReels, "DD 5m roll along", 0, 5, 6, ModeRollAlong, dd.get());
        add(std::move(dd));
        add(std::move(roll));
        add(Generate(twoReels, "Wenner 5m n1-8", 6, 5, 8));
        add(Generate(twoReels, "WS 5m n1-10", 4, 5, 10));
        auto pd = Generate(mixed, "PD 5m two lengths", 1, 5, 6);
        pd->Spacing[1] = 10;
        SetLevels(pd->LevelUsed[1], 4);
        {
            TNullChartSink chart;
            GenerateSequence(*pd, ModeCreate, chart);
        }
        add(std::move(pd));
        add(Generate(mixed, "PP 5m n1-12", 2, 5, 12));
        set.SetComment(
            {"Demo set of sequences.", "Two reels of 24 electrodes at 5 m, and a mixed line of 72."});
        const std::string setFolder = JoinPath(JoinPath(out, "Sequence"), "Demo");
        std::string problem;
        if (set.SaveAs(setFolder, &problem) != TSaveAsResult::Saved) {
            std::fprintf(stderr, "teravox2-makedemo: %s: %s\n", setFolder.c_str(), problem.c_str());
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "teravox2-makedemo: %s\n", e.what());
        return 1;
    }
}
