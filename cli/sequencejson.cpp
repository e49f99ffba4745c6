#include "cli/sequencejson.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "model/geometry.h"
#include "model/mediandepth.h"

namespace {

using nlohmann::ordered_json;

// Output collects in a buffer and goes out in large writes. Every float and string is written by
// nlohmann's dump(), so that they read exactly as a document of the library would: its shortest float
// digits are not always std::to_chars' (1.0000076293945313, not ...312), so no other routine will do.
// Integers, whose decimal form is unique, and the punctuation are written here. Callers make room
// (Room) for a whole record at a time; the writes within it do not check.
class TJsonWriter {
   public:
    explicit TJsonWriter(std::ostream& out) : out_(out), buffer_(new char[Capacity]), cur_(buffer_.get()) {
        for (int i = 0; i < SmallInts; ++i)
            small_[i].Length = static_cast<uint8_t>(std::to_chars(small_[i].Text, small_[i].Text + 4, i).ptr -
                                                    small_[i].Text);
    }
    TJsonWriter(const TJsonWriter&) = delete;
    TJsonWriter& operator=(const TJsonWriter&) = delete;

    // Room for `n` more bytes, sending what the buffer holds once it is past FlushAt.
    void Room(std::size_t n = RecordRoom) {
        if (cur_ - buffer_.get() >= static_cast<std::ptrdiff_t>(FlushAt) ||
            cur_ + n > buffer_.get() + Capacity)
            Flush();
    }
    // The writes of one record, through a position of their own that the compiler keeps in a
    // register: cur_, reached through the writer, would be read and written again around every byte
    // stored, since bytes may be stored anywhere.
    class TRecord {
       public:
        explicit TRecord(TJsonWriter& w) : w_(w), p_(w.cur_) {}
        ~TRecord() { w_.cur_ = p_; }
        TRecord(const TRecord&) = delete;
        TRecord& operator=(const TRecord&) = delete;

        void Raw(std::string_view text) {
            std::memcpy(p_, text.data(), text.size());
            p_ += text.size();
        }
        // A literal: its length known when compiled, so that the copy is a few moves.
        template <std::size_t N>
        void Raw(const char (&text)[N]) {
            std::memcpy(p_, text, N - 1);
            p_ += N - 1;
        }
        void Int(long v) {
            if (v >= 0 && v < SmallInts) {  // electrode numbers, levels, codes: from a table
                std::memcpy(p_, w_.small_[v].Text, sizeof w_.small_[v].Text);
                p_ += w_.small_[v].Length;
                return;
            }
            p_ = std::to_chars(p_, p_ + 24, v).ptr;
        }
        // A float as the double it widens to. Lines repeat their values (spacings, factors, levels),
        // so the text of each recent one is kept rather than worked out again.
        void Float(float v) {
            uint32_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            // Two places for each value: values in use together that share one do not push each
            // other out. Positions and spacings have many trailing zero bits, so all bits are mixed
            // first.
            TCached* set =
                &w_.cache_[((uint64_t(bits) * 0x9E3779B97F4A7C15ull) >> (64 - CacheBits)) & ~std::size_t{1}];
            for (TCached* c : {set, set + 1}) {
                if (c->Bits == bits && c->Length != 0) [[likely]] {
                    std::memcpy(p_, c->Text, sizeof c->Text);  // the record's room covers the whole copy
                    p_ += c->Length;
                    return;
                }
            }
            set[1] = set[0];  // the older of the two goes
            w_.cur_ = p_;
            w_.FloatText(v, bits, set[0]);
            p_ = w_.cur_;
        }

       private:
        TJsonWriter& w_;
        char* p_;
    };

    void Raw(std::string_view text) { TRecord(*this).Raw(text); }
    template <std::size_t N>
    void Raw(const char (&text)[N]) {
        TRecord(*this).Raw(text);
    }
    void Int(long v) { TRecord(*this).Int(v); }
    void Bool(bool v) { v ? Raw("true") : Raw("false"); }
    // Throws nlohmann's type_error for bytes that are not UTF-8.
    void Text(const std::string& utf8) { Raw(ordered_json(utf8).dump()); }
    void Float(float v) { TRecord(*this).Float(v); }
    template <std::size_t N>
    void FloatArray(const float (&v)[N]) {
        Raw("[");
        for (std::size_t i = 0; i < N; ++i) {
            if (i) Raw(",");
            Float(v[i]);
        }
        Raw("]");
    }
    template <std::size_t N>
    void IntArray(const int32_t (&v)[N]) {
        Raw("[");
        for (std::size_t i = 0; i < N; ++i) {
            if (i) Raw(",");
            Int(v[i]);
        }
        Raw("]");
    }
    void Flush() {
        out_.write(buffer_.get(), cur_ - buffer_.get());
        cur_ = buffer_.get();
    }

   private:
    static constexpr std::size_t FlushAt = std::size_t{64} * 1024;
    // A record of the document (its numbers at most 24 characters each, its names at most 31
    // characters, each escaped to at most 6) fits in RecordRoom.
    static constexpr std::size_t RecordRoom = 2048;
    static constexpr std::size_t Capacity = FlushAt + 2 * RecordRoom;
    static constexpr int CacheBits = 12;
    struct TCached {
        uint32_t Bits = 0;
        uint8_t Length = 0;  // 0: empty
        char Text[27];       // the longest form of a float widened to double is 24 characters
    };
    // A float not among the recent ones: worked out and kept.
    [[gnu::noinline]] void FloatText(float v, uint32_t bits, TCached& c) {
        const std::string text = ordered_json(v).dump();
        c.Bits = bits;
        c.Length = static_cast<uint8_t>(text.size());
        std::memcpy(c.Text, text.data(), text.size());
        std::memcpy(cur_, text.data(), text.size());
        cur_ += text.size();
    }
    static constexpr int SmallInts = MaxElectrodes + 1;
    struct TSmallInt {
        char Text[4];
        uint8_t Length;
    };

    std::ostream& out_;
    std::unique_ptr<char[]> buffer_;
    char* cur_;
    TCached cache_[1 << CacheBits];
    TSmallInt small_[SmallInts];
};

}  // namespace

void WriteSequenceJson(std::ostream& out, const TSequence& seq) {
    auto w = std::make_unique<TJsonWriter>(out);
    TQuadripoleShapes shapes;
    w->Room();
    w->Raw("{\"version\":");
    w->Int(seq.Version);
    w->Raw(",\"name\":");
    w->Text(RecordTextUtf8(seq.Name.Get()));
    w->Raw(",\"cable_name\":");
    w->Text(RecordTextUtf8(seq.CableName.Get()));
    w->Raw(",\"segments\":[");
    bool first = true;
    for (const TSegment& s : seq.Segments) {
        if (s.Empty()) continue;
        w->Room();
        first ? w->Raw("{\"name\":") : w->Raw(",{\"name\":");
        first = false;
        w->Text(RecordTextUtf8(s.Name.Get()));
        w->Raw(",\"first_node\":");
        w->Int(s.FirstNode);
        w->Raw(",\"last_node\":");
        w->Int(s.LastNode);
        w->Raw(",\"node_spacing\":");
        w->Float(s.NodeSpacing);
        w->Raw(",\"reversible\":");
        w->Bool(s.Reversible != 0);
        w->Raw("}");
    }
    w->Room();
    w->Raw("],\"array_type\":");
    w->Int(seq.ArrayType);
    w->Raw(",\"spacing\":");
    w->FloatArray(seq.Spacing);
    w->Raw(",\"level_used\":");
    w->IntArray(seq.LevelUsed);
    w->Raw(",\"roll_limit\":");
    w->FloatArray(seq.RollLimit);
    w->Raw(",\"deepest_x\":");
    w->FloatArray(seq.DeepestX);
    w->Raw(",\"deepest_y\":");
    w->FloatArray(seq.DeepestY);
    const std::pair<const char*, float> floats[] = {{",\"max_x\":", seq.MaxX}, {",\"max_y\":", seq.MaxY}};
    for (const auto& [key, v] : floats) {
        w->Raw(key);
        w->Float(v);
    }
    const std::pair<const char*, long> ints[] = {{",\"grid_line_x\":", seq.GridLineX},
                                                 {",\"grid_line_y\":", seq.GridLineY},
                                                 {",\"qmax\":", seq.QMax},
                                                 {",\"stack_min\":", seq.StackMin},
                                                 {",\"stack_max\":", seq.StackMax},
                                                 {",\"time\":", seq.Time},
                                                 {",\"mode\":", seq.Mode},
                                                 {",\"vmn_range\":", seq.VmnRange}};
    for (const auto& [key, v] : ints) {
        w->Raw(key);
        w->Int(v);
    }
    w->Raw(",\"area\":");
    w->Float(seq.Area);
    w->Raw(",\"line\":");
    w->Float(seq.Line);
    const std::pair<const char*, long> counts[] = {{",\"nb_electrode\":", seq.NbElectrode},
                                                   {",\"first_electrode\":", seq.FirstElectrode},
                                                   {",\"last_electrode\":", seq.LastElectrode},
                                                   {",\"nb_quadripole\":", seq.NbQuadripole}};
    for (const auto& [key, v] : counts) {
        w->Raw(key);
        w->Int(v);
    }
    w->Raw(",\"electrodes\":[");
    first = true;
    for (int i = 0; i < MaxElectrodes; ++i) {
        const TElectrode& e = seq.Electrodes[i];
        if (e.Type == 0) continue;
        w->Room();
        first ? w->Raw("{\"index\":") : w->Raw(",{\"index\":");
        first = false;
        w->Int(i);
        w->Raw(",\"type\":");
        w->Int(e.Type);
        w->Raw(",\"number\":");
        w->Int(e.Number);
        w->Raw(",\"x\":");
        w->Float(e.X);
        w->Raw(",\"y\":");
        w->Float(e.Y);
        w->Raw(",\"z\":");
        w->Float(e.Z);
        w->Raw("}");
    }
    w->Room();
    w->Raw("],\"quadripoles\":[");
    for (int i = 0; i < seq.NbQuadripole; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        const TQuadripoleElectrodes e = RealElectrodes(seq, q);
        const TQuadripoleShapes::TValues shape = shapes(e);
        const TPlotValues plot = PlotValues(seq, q, e);
        w->Room();
        TJsonWriter::TRecord r(*w);
        i ? r.Raw(",{\"a\":") : r.Raw("{\"a\":");
        r.Int(q.A);
        r.Raw(",\"b\":");
        r.Int(q.B);
        r.Raw(",\"m\":");
        r.Int(q.M);
        r.Raw(",\"n\":");
        r.Int(q.N);
        r.Raw(",\"spacing_index\":");
        r.Int(q.SpacingIndex);
        r.Raw(",\"level\":");
        r.Int(q.Level);
        r.Raw(",\"k\":");
        r.Float(shape.K);
        r.Raw(",\"pseudo_x\":");
        r.Float(plot.PseudoX);
        r.Raw(",\"level_value\":");
        r.Float(plot.Level);
        r.Raw(",\"depth\":");
        r.Float(plot.Depth);
        r.Raw(",\"median_depth\":");
        r.Float(shape.MedianDepth);
        r.Raw("}");
    }
    w->Room();
    w->Raw("]}");
    w->Flush();
}
