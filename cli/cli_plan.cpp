// reciprocal, order, plan, check: planning tools that work on sequence files.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/cli.h"
#include "link/instrumentimage.h"
#include "link/uploadcheck.h"
#include "model/channelplan.h"
#include "model/fileio.h"
#include "model/geometry.h"
#include "model/iporder.h"
#include "model/reciprocal.h"
#include "model/sqxfile.h"

namespace {

struct TReciprocalArgs {
    std::string In, Out;
    bool Only = false;
};

void RunReciprocal(TCliContext& ctx, const TReciprocalArgs& a) {
    auto seq = std::make_unique<TSequence>();
    ReadSequenceFile(a.In, *seq);
    const TReciprocalOutcome r =
        MakeReciprocals(*seq, a.Only ? TReciprocalMode::Only : TReciprocalMode::Append, *seq);
    if (!r.Done) throw TCliFailure(a.In + ": reciprocals refused: " + r.Problem + "; nothing written");
    WriteSequenceFile(a.Out, *seq);
    ctx.Out << Shown(seq->Name.Get()) << ": " << r.Total << " quadripoles, " << r.Added
            << " reciprocals added, " << r.AlreadyPresent << " already present\n";
}

struct TOrderArgs {
    std::string In, Out;
    bool Ip = false;
    int Window = DefaultIpWindow;
    int Channels = 0;  // 0: not asked
};

void RunChannelOrder(TCliContext& ctx, const TOrderArgs& a) {
    auto seq = std::make_unique<TSequence>();
    ReadSequenceFile(a.In, *seq);
    const int window = a.Ip ? a.Window : 0;
    const TChannelOrderResult r = OrderForChannels(*seq, a.Channels, window);
    WriteSequenceFile(a.Out, *seq);
    ctx.Out << Shown(seq->Name.Get()) << ": " << seq->NbQuadripole << " quadripoles, injections with "
            << a.Channels << (a.Channels == 1 ? " channel: " : " channels: ") << r.InjectionsBefore
            << " before, " << r.InjectionsAfter << " after";
    if (a.Ip)
        ctx.Out << ", IP conflicts at window " << window << " injections: " << r.ConflictsBefore
                << " before, " << r.ConflictsAfter << " after";
    ctx.Out << "\n";
    if (r.ConflictsAfter > 0)
        ctx.Err << "warning: " << Shown(a.Out) << ": " << r.ConflictsAfter
                << " readings still read on an electrode that carried current in the " << window
                << " injections before; no order without conflicts was found\n";
}

void RunOrder(TCliContext& ctx, const TOrderArgs& a) {
    if (a.Channels > 0) return RunChannelOrder(ctx, a);
    if (!a.Ip) throw TCliUsage("order: give --ip, --channels C, or both");
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

struct TPlanArgs {
    std::string File;
    int Channels = 1;
    bool Json = false;
};

void RunPlan(TCliContext& ctx, const TPlanArgs& a) {
    auto seq = std::make_unique<TSequence>();
    ReadSequenceFile(a.File, *seq);
    const TChannelPlan p = PlanChannels(*seq, a.Channels);
    if (a.Json) {
        nlohmann::ordered_json j;
        j["readings"] = p.Readings;
        j["current_dipoles"] = p.CurrentDipoles;
        j["channels"] = p.Channels;
        j["injections"] = p.Injections;
        j["fewest_injections"] = p.FewestInjections;
        nlohmann::ordered_json per = nlohmann::ordered_json::object();
        for (const auto& [size, injections] : p.PerInjection) per[std::to_string(size)] = injections;
        j["per_injection"] = per;
        j["seconds_min"] = p.SecondsMin;
        j["seconds_max"] = p.SecondsMax;
        ctx.Out << j.dump(2) << "\n";
        return;
    }
    ctx.Out << Shown(seq->Name.Get()) << ": " << p.Readings << " readings, " << p.CurrentDipoles
            << " current dipoles\n"
            << "channels: " << p.Channels << "\n"
            << "injections in list order: " << p.Injections << "\n"
            << "fewest injections in any order: " << p.FewestInjections << "\n"
            << "readings per injection:";
    if (p.PerInjection.empty()) ctx.Out << " none";
    for (auto it = p.PerInjection.rbegin(); it != p.PerInjection.rend(); ++it)
        ctx.Out << (it == p.PerInjection.rbegin() ? " " : ", ") << it->first << " x " << it->second;
    ctx.Out << "\n"
            << "acquisition time: " << DurationText(p.SecondsMin) << " to " << DurationText(p.SecondsMax)
            << " (" << LeastStacks(*seq) << " to " << MostStacks(*seq)
            << " stacks an injection, each stack four half-periods of " << std::max(seq->Time, 0) << " ms)\n";
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
            std::string label = QuadripoleLabel(seq->Quadripoles[first], "-");  // " 1-1-1-1  "
            label = label.substr(1, label.find_last_not_of(' '));
            ctx.Out << Shown(file) << ": " << repeating
                    << (repeating == 1 ? " quadripole names" : " quadripoles name")
                    << " an electrode more than once, the first number " << first + 1 << " (" << label
                    << ")\n";
            ++findings;
        }
    }
    if (findings > 0 || unread > 0)
        throw TCliFailure(
            "check: " + std::to_string(findings) + (findings == 1 ? " finding" : " findings") +
            (unread > 0 ? ", " + std::to_string(unread) + (unread == 1 ? " file" : " files") + " not read"
                        : ""));
}

}  // namespace

void AddPlanCommands(CLI::App& app, TCliContext& ctx) {
    auto rec = std::make_shared<TReciprocalArgs>();
    auto* r = app.add_subcommand(
        "reciprocal",
        "Write a sequence with the reciprocal M N A B of each quadripole A B M N (same geometric factor), "
        "after the quadripoles, or alone with --only; a reciprocal already present is not added twice; a "
        "result "
        "above " +
            std::to_string(MaxQuadripoles) + " quadripoles is refused");
    r->add_option("IN", rec->In, "The sequence file (.sqx)")->required();
    r->add_option("-o", rec->Out, "The .sqx file to write")->required();
    r->add_flag("--only", rec->Only, "Keep the reciprocals alone instead of appending them");
    r->callback([rec, &ctx] { RunReciprocal(ctx, *rec); });

    auto ord = std::make_shared<TOrderArgs>();
    auto* o = app.add_subcommand("order",
                                 "Write a sequence with the same quadripoles in another order, and print the "
                                 "conflicts before and after. "
                                 "With --ip: a reading conflicts when its M or N is the A or B of one of the "
                                 "W readings before it (the "
                                 "remote electrode never does); readings sharing a current pair stay "
                                 "together where the rule allows. With "
                                 "--channels C: the fewest injections of a C-channel meter, and with --ip "
                                 "too the window counts injections");
    o->add_option("IN", ord->In, "The sequence file (.sqx)")->required();
    o->add_option("-o", ord->Out, "The .sqx file to write")->required();
    auto* ipFlag = o->add_flag(
        "--ip", ord->Ip,
        "Order for induced polarisation: potentials away from electrodes that just carried current");
    o->add_option(
         "--window", ord->Window,
         "W, the readings before a reading that are looked at (default 5); with --channels, the injections")
        ->check(CLI::Range(1, MaxQuadripoles))
        ->needs(ipFlag);
    o->add_option("--channels", ord->Channels,
                  "C, the channels of the meter (1 to " + std::to_string(MaxChannels) +
                      "): readings sharing a current dipole consecutive, up to C per injection, so that the "
                      "injections are the fewest; prints the injections before and after")
        ->check(CLI::Range(MinChannels, MaxChannels));
    o->callback([ord, &ctx] { RunOrder(ctx, *ord); });

    auto plan = std::make_shared<TPlanArgs>();
    auto* pl = app.add_subcommand(
        "plan",
        "Print what a sequence costs on a meter with C channels: the readings, the distinct current dipoles, "
        "the "
        "injections in list order (readings that follow each other with the same A and B, up to C per "
        "injection), the fewest injections any order reaches, the readings per injection, and the "
        "acquisition "
        "time from StackMin to StackMax stacks an injection (at least one), each stack taken as four "
        "half-periods of Time: current one way, off, the other way, off");
    pl->add_option("FILE", plan->File, "The sequence file (.sqx)")->required();
    pl->add_option("--channels", plan->Channels,
                   "C, the channels of the meter (1 to " + std::to_string(MaxChannels) + ", default 1)")
        ->check(CLI::Range(MinChannels, MaxChannels));
    pl->add_flag("--json", plan->Json,
                 "Print one JSON object: readings, current_dipoles, channels, injections, fewest_injections, "
                 "per_injection {readings: injections}, seconds_min, seconds_max");
    pl->callback([plan, &ctx] { RunPlan(ctx, *plan); });

    auto chk = std::make_shared<TCheckArgs>();
    auto* c = app.add_subcommand(
        "check",
        "List what an instrument family will refuse or change in each sequence, one line each: more than " +
            std::to_string(Family1MaxQuadripoles) + " quadripoles (family 1), electrode numbers above " +
            std::to_string(Family1MaxElectrodeNumber) + " (family 1), the electrode table cut at " +
            std::to_string(Family2MaxLastElectrode) + " (family 2), names cut to " +
            std::to_string(Family1NameLength) + " (family 1) or " + std::to_string(Family2NameLength) +
            " (family 2) characters, codes outside their tables, an empty quadripole table. Exit 0 when "
            "there is "
            "nothing to say, 1 otherwise");
    c->add_option("--family", chk->Family, "1 = Varnel Zenda,Z1,Z2; 2 = Varnel Optra, Tarsk Optra")
        ->required()
        ->check(CLI::IsMember({1, 2}));
    c->add_option("files", chk->Files, "Sequence files (.sqx)")->required();
    c->callback([chk, &ctx] { RunCheck(ctx, *chk); });
}
