// Commands of the storage engine: import of one file into a .sqx file, export into spreadsheet,
// Pelmar, V1, pyGIMLi/BERT and R2/ResIPy files.
#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>

#include "cli/cli.h"
#include "model/datafolder.h"
#include "model/fileio.h"
#include "model/sqxfile.h"
#include "storage/export.h"
#include "storage/filenames.h"
#include "storage/import.h"
#include "storage/inversionformats.h"

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
    names.reserve(seqs.size());
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
    std::string Format;  // "" = told by the file
    float Spacing = 0;   // 0 = not given
};

struct TExportOptions {
    std::vector<std::string> Files;
    std::string To;
    std::string Separator = "space";
};

void RunImport(TCliContext& ctx, const TImportOptions& o) {
    auto seq = std::make_unique<TSequence>();
    const TImportKind kind = o.Format.empty() ? ImportKindOf(o.File) : TImportKind::Inversion;
    if (kind == TImportKind::None)
        throw TCliFailure(Shown(o.File) +
                          ": not a sequence file to import (.txt, .seq, .sqx, .ohm, .shm or .dat)");
    if (kind == TImportKind::Inversion) {
        std::optional<TInversionFormat> format;
        if (o.Format == "pygimli") format = TInversionFormat::Unified;
        if (o.Format == "protocol") format = TInversionFormat::Protocol;
        if (o.Spacing > 0 && (format ? format : InversionFormatOfName(o.File)) == TInversionFormat::Unified)
            throw TCliUsage("--spacing is for protocol.dat files: a pyGIMLi file holds its positions");
        ImportInversionFile(o.File, format, o.Spacing > 0 ? o.Spacing : DefaultProtocolSpacing, *seq);
    } else {
        if (o.Spacing > 0)
            throw TCliUsage("--spacing is for protocol.dat files, whose positions are not in the file");
        ImportSequenceFile(o.File, kind, ctx.DecimalSeparator(), *seq);
    }
    WriteSequenceFile(o.Output, *seq);
    ctx.Out << Shown(seq->Name.Get()) << ": " << seq->NbElectrode << " electrodes, " << seq->NbQuadripole
            << " quadripoles\n";
}

enum class TFolderExport { Spreadsheet, Pelmar, Unified, Protocol };

void RunExportToFolder(TCliContext& ctx, const TExportOptions& o, TFolderExport what) {
    auto seqs = ReadAll(o.Files);
    MakeFolders(o.To);
    auto stems = Stems(seqs);
    for (std::size_t i = 0; i < seqs.size(); ++i) {
        std::vector<std::string> written;
        if (what == TFolderExport::Unified) {
            written.push_back(ExportUnified(*seqs[i], o.To, stems[i]));
        } else if (what == TFolderExport::Protocol) {
            written.push_back(ExportProtocol(*seqs[i], o.To, stems[i]));
        } else if (what == TFolderExport::Pelmar) {
            written = ExportPelmar(*seqs[i], o.To, stems[i], ctx.DecimalSeparator());
        } else {
            written.push_back(ExportSpreadsheet(*seqs[i], o.To, stems[i], SeparatorChar(o.Separator),
                                                ctx.DecimalSeparator()));
        }
        for (const auto& w : written) ctx.Out << Shown(w) << "\n";
    }
}

void RunExportV1(TCliContext& ctx, const TExportOptions& o) {
    auto seqs = ReadAll(o.Files);
    std::vector<const TSequence*> list;
    list.reserve(seqs.size());
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
    auto* ic = app.add_subcommand(
        "import",
        "Import a sequence from a text (.txt), V1 (.seq) or sequence (.sqx) file, or from the data file of "
        "pyGIMLi "
        "and BERT (.ohm, .shm, .dat) or the protocol.dat of R2 and ResIPy (a .dat is told by its content)");
    ic->add_option("FILE", imp->File, "The file to import")->required();
    ic->add_option("-o", imp->Output, "The .sqx file to write")->required();
    ic->add_option("--format", imp->Format, "pygimli or protocol, whatever the file's name")
        ->check(CLI::IsMember({"pygimli", "protocol"}));
    ic->add_option(
          "--spacing", imp->Spacing,
          "A, the electrode spacing of a protocol.dat, whose positions are not in the file: electrode i "
          "is placed at (i - 1) x A (default 1)")
        ->check(CLI::PositiveNumber & CLI::Range(0.001, 100000.0));
    ic->callback([imp, &ctx] { RunImport(ctx, *imp); });

    auto* ex = app.add_subcommand(
        "export", "Export sequences as spreadsheet, Pelmar, V1, pyGIMLi/BERT or R2/ResIPy files");
    ex->require_subcommand(1);

    auto sheet = std::make_shared<TExportOptions>();
    auto* sc = ex->add_subcommand("spreadsheet", "One text file per sequence, named after it, in DIR");
    sc->add_option("FILE", sheet->Files, "The .sqx files")->required();
    sc->add_option("--to", sheet->To, "The folder to write into (created when missing)")->required();
    sc->add_option("--separator", sheet->Separator, "Field separator (default space)")
        ->check(CLI::IsMember({"tab", "comma", "space"}));
    sc->callback([sheet, &ctx] { RunExportToFolder(ctx, *sheet, TFolderExport::Spreadsheet); });

    auto pel = std::make_shared<TExportOptions>();
    auto* pc =
        ex->add_subcommand("pelmar", "The _Quad.txt, _Coor.txt and .cfg files of each sequence in DIR");
    pc->add_option("FILE", pel->Files, "The .sqx files")->required();
    pc->add_option("--to", pel->To, "The folder to write into (created when missing)")->required();
    pc->callback([pel, &ctx] { RunExportToFolder(ctx, *pel, TFolderExport::Pelmar); });

    auto gimli = std::make_shared<TExportOptions>();
    auto* gc = ex->add_subcommand(
        "pygimli",
        "The unified data file of pyGIMLi and BERT (.ohm) of each sequence in DIR: positions and a b m n, "
        "electrodes numbered 1 to n in the order of their numbers, 0 the remote electrode");
    gc->add_option("FILE", gimli->Files, "The .sqx files")->required();
    gc->add_option("--to", gimli->To, "The folder to write into (created when missing)")->required();
    gc->callback([gimli, &ctx] { RunExportToFolder(ctx, *gimli, TFolderExport::Unified); });

    auto protocol = std::make_shared<TExportOptions>();
    auto* prc = ex->add_subcommand(
        "protocol",
        "The protocol file of R2 and ResIPy (NAME_protocol.dat) of each sequence in DIR: the count, then "
        "index a b m n; positions are not in it");
    prc->add_option("FILE", protocol->Files, "The .sqx files")->required();
    prc->add_option("--to", protocol->To, "The folder to write into (created when missing)")->required();
    prc->callback([protocol, &ctx] { RunExportToFolder(ctx, *protocol, TFolderExport::Protocol); });

    auto v1 = std::make_shared<TExportOptions>();
    auto* vc =
        ex->add_subcommand("v1", "Into an existing V1 file: the first sequence replaces, the others append");
    vc->add_option("FILE", v1->Files, "The .sqx files")->required();
    vc->add_option("--to", v1->To, "The existing V1 (.seq) file")->required();
    vc->callback([v1, &ctx] { RunExportV1(ctx, *v1); });
}
