// Commands on a set of sequences: show, add, remove, comment. Each change opens the set, changes it and
// saves it with the set's own Save, holding the set's folder from the open to the save, so that two
// commands on one set follow each other instead of mixing.
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli.h"
#include "model/datafolder.h"
#include "model/sqxfile.h"
#include "storage/import.h"
#include "storage/sequenceset.h"

namespace {

using nlohmann::ordered_json;

struct TSetOptions {
    std::string Folder;
    std::vector<std::string> Items;  // files to add, names to remove
    std::string Text;
    bool Json = false;
};

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void Report(TCliContext& ctx, const TOpenReport& report) {
    if (report.FinishedInterruptedSave)
        ctx.Err << Shown("teravox2-cli: an interrupted save of this set was finished first") << "\n";
    for (const auto& r : report.Refused) ctx.Err << "teravox2-cli: not part of the set: " << Shown(r) << "\n";
    if (!report.StoppedAt.empty())
        ctx.Err << "teravox2-cli: reading stopped at " << Shown(report.StoppedAt)
                << ": its name cannot be made unique within 31 characters\n";
    if (!report.CommentNote.empty()) ctx.Err << "teravox2-cli: " << Shown(report.CommentNote) << "\n";
}

// Opens the set, holding its folder until the set is gone.
void OpenHeld(TCliContext& ctx, TSequenceSet& set, const std::string& folder) {
    if (!IsFolder(folder)) throw TCliFailure(Shown(folder) + ": no such set folder");
    set.HoldFolder(folder);
    Report(ctx, set.Open(folder));
}

void Save(TSequenceSet& set) {
    if (set.Save() != TSaveResult::Saved)
        throw TCliFailure(Shown(set.SetFolder()) + ": the set folder is gone");
}

void RunShow(TCliContext& ctx, const TSetOptions& o) {
    TSequenceSet set;
    OpenHeld(ctx, set, o.Folder);
    set.ReleaseFolder();
    if (o.Json) {
        ordered_json j;
        std::string comment;
        for (std::size_t i = 0; i < set.Comment().size(); ++i) comment += (i ? "\n" : "") + set.Comment()[i];
        j["comment"] = comment;
        j["sequences"] = ordered_json::array();
        for (int i = 0; i < set.Count(); ++i) {
            const TSequence& s = set.Sequence(i);
            j["sequences"].push_back({{"name", s.Name.Get()},
                                      {"file", set.FileStem(i) + ".sqx"},
                                      {"array_type", s.ArrayType},
                                      {"nb_electrode", s.NbElectrode},
                                      {"nb_quadripole", s.NbQuadripole}});
        }
        ctx.Out << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
        return;
    }
    ctx.Out << "Set " << Shown(o.Folder) << ": " << set.Count()
            << (set.Count() == 1 ? " sequence\n" : " sequences\n");
    for (int i = 0; i < set.Count(); ++i) {
        const TSequence& s = set.Sequence(i);
        ctx.Out << "  " << Shown(s.Name.Get()) << ": " << Shown(ArrayTypeName(s.ArrayType)) << ", "
                << s.NbElectrode << " electrodes, " << s.NbQuadripole << " quadripoles\n";
    }
    ctx.Out << "Comment:\n";
    for (const auto& line : set.Comment()) ctx.Out << "  " << Shown(line) << "\n";
}

void RunAdd(TCliContext& ctx, const TSetOptions& o) {
    // Every file is read before the set is touched: one that cannot be read changes nothing.
    std::vector<std::unique_ptr<TSequence>> records;
    for (const auto& f : o.Items) {
        auto seq = std::make_unique<TSequence>();
        ReadSequenceFile(f, *seq);
        records.push_back(std::move(seq));
    }
    if (!IsFolder(o.Folder)) MakeFolders(o.Folder);
    TSequenceSet set;
    OpenHeld(ctx, set, o.Folder);
    // Each name made unique against the set as it grows, as one add after the other would; a name that
    // cannot be made unique stops the command before anything is saved.
    std::vector<std::string> added;
    for (std::size_t i = 0; i < records.size(); ++i) {
        auto name = set.MakeNameUnique(records[i]->Name.Get());
        if (!name)
            throw TCliFailure(Shown(o.Items[i]) + ": the name " + Shown(records[i]->Name.Get()) +
                              " cannot be made unique in the set within 31 characters; nothing was saved");
        records[i]->Name.Set(*name);
        added.push_back(*name);
        set.AddSequence(std::move(records[i]));
    }
    Save(set);
    for (const auto& n : added) ctx.Out << Shown(n) << " added to " << Shown(o.Folder) << "\n";
}

void RunRemove(TCliContext& ctx, const TSetOptions& o) {
    TSequenceSet set;
    OpenHeld(ctx, set, o.Folder);
    for (const auto& n : o.Items)
        if (set.IndexOf(n) < 0)
            throw TCliFailure(Shown(o.Folder) + ": the set has no sequence named " + Shown(n) +
                              "; nothing was saved");
    for (const auto& n : o.Items) {
        const int i = set.IndexOf(n);
        if (i >= 0) set.DeleteSequence(i);
    }
    Save(set);
    for (const auto& n : o.Items) ctx.Out << Shown(n) << " removed from " << Shown(o.Folder) << "\n";
}

void RunComment(TCliContext& ctx, const TSetOptions& o) {
    TSequenceSet set;
    OpenHeld(ctx, set, o.Folder);
    set.SetComment(SplitLines(o.Text));
    Save(set);
    ctx.Out << "Comment of " << Shown(o.Folder) << " saved\n";
}

}  // namespace

void AddSetCommands(CLI::App& app, TCliContext& ctx) {
    auto* sc = app.add_subcommand(
        "set", "Show and change a set of sequences (a folder), saved as the desktop saves it");
    sc->require_subcommand(1);

    auto show = std::make_shared<TSetOptions>();
    auto* sh = sc->add_subcommand("show", "List the sequences of the set and its comment");
    sh->add_option("DIR", show->Folder, "The set folder")->required();
    sh->add_flag("--json", show->Json, "Print one JSON object");
    sh->callback([show, &ctx] { RunShow(ctx, *show); });

    auto add = std::make_shared<TSetOptions>();
    auto* ad = sc->add_subcommand("add", "Add sequences to the set (DIR is created when missing)");
    ad->add_option("DIR", add->Folder, "The set folder")->required();
    ad->add_option("FILE", add->Items, "The .sqx files to add")->required();
    ad->callback([add, &ctx] { RunAdd(ctx, *add); });

    auto rm = std::make_shared<TSetOptions>();
    auto* re = sc->add_subcommand("remove", "Remove sequences from the set by name");
    re->add_option("DIR", rm->Folder, "The set folder")->required();
    re->add_option("NAME", rm->Items, "The names of the sequences")->required();
    re->callback([rm, &ctx] { RunRemove(ctx, *rm); });

    auto cm = std::make_shared<TSetOptions>();
    auto* co = sc->add_subcommand("comment", "Replace the comment of the set");
    co->add_option("DIR", cm->Folder, "The set folder")->required();
    co->add_option("TEXT", cm->Text, "The comment; its lines end at line breaks")->required();
    co->callback([cm, &ctx] { RunComment(ctx, *cm); });
}
