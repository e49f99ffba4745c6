// Commands of the storage engine: import of one file into a .sqx file, export into spreadsheet,
// Pelmar and V1 files.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli.h"
#include "datafolder.h"
#include "export.h"
#include "filenames.h"
#include "fileio.h"
#include "import.h"
#include "sqxfile.h"

namespace {

std::vector<std::unique_ptr<TSequence>> ReadAll(const std::vector<std::string>& files) {
    std::vector<std::unique_ptr<TSequence>> seqs;
    for (const std::string& f : files) {
        auto seq = std::make_unique<TSequence>();
        ReadSequenceFile(f, *seq);
        seqs.push_back(std::move(seq));
    }
    return seqs;
}

std::vector<std::string> Stems(const std::vector<std::unique_ptr<TSequence>>& seqs) {
    std::vector<std::string> names;
    for (const auto& s : seqs) names.push_back(s->Name.Get());
    return DistinctFileStems(names);
}

char SeparatorChar(const std::string& name) {
    if (name == "tab") return '\t';
    if (name == "comma") return ',';
    return ' ';
}

struct TImportOptions {
    std::string File, Output;
};

struct TExportOptions {
    std::vector<std::string> Files;
    std::string To;
    std::string Separator = "space";
};

void RunImport(TCliContext& ctx, const TImportOptions& o) {
    auto seq = std::make_unique<TSequence>();
    const TImportKind kind = ImportKindOf(o.File);
    if (kind == TImportKind::None) throw TCliFailure(Shown(o.File) + ": not a sequence file to import (.txt, .seq or .sqx)");
    ImportSequenceFile(o.File, kind, ctx.DecimalSeparator(), *seq);
    WriteSequenceFile(o.Output, *seq);
    ctx.Out << Shown(seq->Name.Get()) << ": " << seq->NbElectrode << " electrodes, " << seq->NbQuadripole
            << " quadripoles\n";
}

void RunExportToFolder(TCliContext& ctx, const TExportOptions& o, bool pelmar) {
    auto seqs = ReadAll(o.Files);
    MakeFolders(o.To);
    auto stems = Stems(seqs);
    for (std::size_t i = 0; i < seqs.size(); ++i) {
        std::vector<std::string> written;
        if (pelmar) {
            written = ExportPelmar(*seqs[i], o.To, stems[i], ctx.DecimalSeparator());
        } else {
            written.push_back(
                ExportSpreadsheet(*seqs[i], o.To, stems[i], SeparatorChar(o.Separator), ctx.DecimalSeparator()));
        }
        for (const auto& w : written) ctx.Out << Shown(w) << "\n";
    }
}

void RunExportV1(TCliContext& ctx, const TExportOptions& o) {
    auto seqs = ReadAll(o.Files);
    std::vector<const TSequence*> list;
    for (const auto& s : seqs) list.push_back(s.get());
    // All or nothing: a refusal halfway (an append of another electrode count) leaves the target as it was.
    ExportV1Sequences(list, o.To);
    for (std::size_t i = 0; i < seqs.size(); ++i)
        ctx.Out << Shown(seqs[i]->Name.Get()) << ": " << seqs[i]->NbQuadripole << " quadripoles "
                << (i == 0 ? "written to " : "appended to ") << Shown(o.To) << "\n";
}

}  // namespace

void AddStorageCommands(CLI::App& app, TCliContext& ctx) {
    auto imp = std::make_shared<TImportOptions>();
    auto* ic = app.add_subcommand("import", "Import a sequence from a text (.txt), V1 (.seq) or sequence (.sqx) file");
    ic->add_option("FILE", imp->File, "The file to import")->required();
    ic->add_option("-o", imp->Output, "The .sqx file to write")->required();
    ic->callback([imp, &ctx] { RunImport(ctx, *imp); });

    auto* ex = app.add_subcommand("export", "Export sequences as spreadsheet, Pelmar or V1 files");
    ex->require_subcommand(1);

    auto sheet = std::make_shared<TExportOptions>();
    auto* sc = ex->add_subcommand("spreadsheet", "One text file per sequence, named after it, in DIR");
    sc->add_option("FILE", sheet->Files, "The .sqx files")->required();
    sc->add_option("--to", sheet->To, "The folder to write into (created when missing)")->required();
    sc->add_option("--separator", sheet->Separator, "Field separator (default space)")
        ->check(CLI::IsMember({"tab", "comma", "space"}));
    sc->callback([sheet, &ctx] { RunExportToFolder(ctx, *sheet, false); });

    auto pel = std::make_shared<TExportOptions>();
    auto* pc = ex->add_subcommand("pelmar", "The _Quad.txt, _Coor.txt and .cfg files of each sequence in DIR");
    pc->add_option("FILE", pel->Files, "The .sqx files")->required();
    pc->add_option("--to", pel->To, "The folder to write into (created when missing)")->required();
    pc->callback([pel, &ctx] { RunExportToFolder(ctx, *pel, true); });

    auto v1 = std::make_shared<TExportOptions>();
    auto* vc = ex->add_subcommand("v1", "Into an existing V1 file: the first sequence replaces, the others append");
    vc->add_option("FILE", v1->Files, "The .sqx files")->required();
    vc->add_option("--to", v1->To, "The existing V1 (.seq) file")->required();
    vc->callback([v1, &ctx] { RunExportV1(ctx, *v1); });
}
