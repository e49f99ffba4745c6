// reciprocal, order --ip, check: planning tools that work on sequence files.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <ostream>

#include "cli.h"
#include "fileio.h"
#include "geometry.h"
#include "instrumentimage.h"
#include "iporder.h"
#include "reciprocal.h"
#include "sqxfile.h"
#include "uploadcheck.h"

namespace {

struct TReciprocalArgs {
    std::string In, Out;
    bool Only = false;
};

void RunReciprocal(TCliContext& ctx, const TReciprocalArgs& a) {
    auto seq = std::make_unique<TSequence>();
    ReadSequenceFile(a.In, *seq);
    const TReciprocalOutcome r = MakeReciprocals(*seq, a.Only ? TReciprocalMode::Only : TReciprocalMode::Append, *seq);
    if (!r.Done) throw TCliFailure(a.In + ": reciprocals refused: " + r.Problem + "; nothing written");
    WriteSequenceFile(a.Out, *seq);
    ctx.Out << Shown(seq->Name.Get()) << ": " << r.Total << " quadripoles, " << r.Added << " reciprocals added, "
            << r.AlreadyPresent << " already present\n";
}

struct TOrderArgs {
    std::string In, Out;
    bool Ip = false;
    int Window = DefaultIpWindow;
};

void RunOrder(TCliContext& ctx, const TOrderArgs& a) {
    auto seq = std::make_unique<TSequence>();
    ReadSequenceFile(a.In, *seq);
    const TIpOrderResult r = OrderForIp(*seq, a.Window);
    WriteSequenceFile(a.Out, *seq);
    ctx.Out << Shown(seq->Name.Get()) << ": " << seq->NbQuadripole << " quadripoles, IP conflicts at window "
            << a.Window << ": " << r.ConflictsBefore << " before, " << r.ConflictsAfter << " after\n";
    if (r.ConflictsAfter > 0)
        ctx.Err << "warning: " << Shown(a.Out) << ": " << r.ConflictsAfter
                << " readings still read on an electrode that carried current in the " << a.Window
                << " readings before; no order without conflicts was found\n";
}

struct TCheckArgs {
    int Family = 0;
    std::vector<std::string> Files;
};

void RunCheck(TCliContext& ctx, const TCheckArgs& a) {
    int findings = 0, unread = 0;
    auto seq = std::make_unique<TSequence>();
    for (const std::string& file : a.Files) {
        try {
            ReadSequenceFile(file, *seq);
        } catch (const TFileError& e) {
            // The other files are still worth checking.
            ctx.Err << Shown(e.what()) << "\n";
            ++unread;
            continue;
        }
        for (const TUploadFinding& f : CheckUpload(*seq, a.Family)) {
            ctx.Out << Shown(file) << ": " << Shown(f.Text) << "\n";
            ++findings;
        }
        // The instrument takes a quadripole that names one electrode twice, and measures nothing
        // with it.
        int repeating = 0, first = -1;
        for (int i = 0; i < std::clamp(seq->NbQuadripole, 0, MaxQuadripoles); ++i) {
            if (!RepeatsAnElectrode(seq->Quadripoles[i])) continue;
            if (repeating++ == 0) first = i;
        }
        if (repeating > 0) {
            std::string label = QuadripoleLabel(seq->Quadripoles[first], "-");   // " 1-1-1-1  "
            label = label.substr(1, label.find_last_not_of(' '));
            ctx.Out << Shown(file) << ": " << repeating << (repeating == 1 ? " quadripole names" : " quadripoles name")
                    << " an electrode more than once, the first number " << first + 1 << " ("
                    << label << ")\n";
            ++findings;
        }
    }
    if (findings > 0 || unread > 0)
        throw TCliFailure("check: " + std::to_string(findings) + (findings == 1 ? " finding" : " findings") +
                          (unread > 0 ? ", " + std::to_string(unread) + (unread == 1 ? " file" : " files") + " not read" : ""));
}

}  // namespace

void AddPlanCommands(CLI::App& app, TCliContext& ctx) {
    auto rec = std::make_shared<TReciprocalArgs>();
    auto* r = app.add_subcommand(
        "reciprocal",
        "Write a sequence with the reciprocal M N A B of each quadripole A B M N (same geometric factor), "
        "after the quadripoles, or alone with --only; a reciprocal already present is not added twice; a result "
        "above " + std::to_string(MaxQuadripoles) + " quadripoles is refused");
    r->add_option("IN", rec->In, "The sequence file (.sqx)")->required();
    r->add_option("-o", rec->Out, "The .sqx file to write")->required();
    r->add_flag("--only", rec->Only, "Keep the reciprocals alone instead of appending them");
    r->callback([rec, &ctx] { RunReciprocal(ctx, *rec); });

    auto ord = std::make_shared<TOrderArgs>();
    auto* o = app.add_subcommand(
        "order",
        "Write a sequence with the same quadripoles in another order, and print the conflicts before and after. "
        "With --ip: a reading conflicts when its M or N is the A or B of one of the W readings before it (the "
        "remote electrode never does); readings sharing a current pair stay together where the rule allows");
    o->add_option("IN", ord->In, "The sequence file (.sqx)")->required();
    o->add_option("-o", ord->Out, "The .sqx file to write")->required();
    o->add_flag("--ip", ord->Ip, "Order for induced polarisation: potentials away from electrodes that just carried current")
        ->required();
    o->add_option("--window", ord->Window, "W, the readings before a reading that are looked at (default 5)")
        ->check(CLI::Range(1, MaxQuadripoles));
    o->callback([ord, &ctx] { RunOrder(ctx, *ord); });

    auto chk = std::make_shared<TCheckArgs>();
    auto* c = app.add_subcommand(
        "check",
        "List what an instrument family will refuse or change in each sequence, one line each: more than " +
            std::to_string(Family1MaxQuadripoles) + " quadripoles (family 1), electrode numbers above " +
            std::to_string(Family1MaxElectrodeNumber) + " (family 1), the electrode table cut at " +
            std::to_string(Family2MaxLastElectrode) + " (family 2), names cut to " + std::to_string(Family1NameLength) +
            " (family 1) or " + std::to_string(Family2NameLength) +
            " (family 2) characters, codes outside their tables, an empty quadripole table. Exit 0 when there is "
            "nothing to say, 1 otherwise");
    c->add_option("--family", chk->Family, "1 = Varnel Zenda,Z1,Z2; 2 = Varnel Optra, Tarsk Optra")
        ->required()
        ->check(CLI::IsMember({1, 2}));
    c->add_option("files", chk->Files, "Sequence files (.sqx)")->required();
    c->callback([chk, &ctx] { RunCheck(ctx, *chk); });
}
