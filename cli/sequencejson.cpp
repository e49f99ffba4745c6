#include "sequencejson.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "geometry.h"

namespace {

using nlohmann::ordered_json;

// Output collects in a buffer and goes out in large writes. Every float and string goes through
// nlohmann's own serializer, the one dump() uses, so that they read exactly as before; integers, whose
// decimal form is unique, and the punctuation are written here.
class TJsonWriter {
public:
    explicit TJsonWriter(std::ostream& out)
        : out_(out), buffer_(new char[Capacity]), serializer_(std::make_shared<TAdapter>(*this), ' ') {}
    TJsonWriter(const TJsonWriter&) = delete;
    TJsonWriter& operator=(const TJsonWriter&) = delete;

    void Raw(std::string_view text) {
        Reserve(text.size());
        std::memcpy(buffer_.get() + size_, text.data(), text.size());
        size_ += text.size();
    }
    void Int(long v) {
        Reserve(24);
        size_ = static_cast<std::size_t>(std::to_chars(buffer_.get() + size_, buffer_.get() + Capacity, v).ptr -
                                         buffer_.get());
    }
    void Bool(bool v) { Raw(v ? "true" : "false"); }
    void Text(const std::string& utf8) { serializer_.dump(ordered_json(utf8), false, false, 0); }
    // A float as the double it widens to. Lines repeat their values (spacings, factors, levels), so
    // the text of each recent one is kept rather than worked out again.
    void Float(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        TCached& c = cache_[(bits ^ bits >> 15) % CacheSize];
        if (c.Length == 0 || c.Bits != bits) {
            const std::size_t start = size_;
            serializer_.dump(ordered_json(v), false, false, 0);
            c.Bits = bits;
            c.Length = static_cast<uint8_t>(size_ - start);
            std::memcpy(c.Text, buffer_.get() + start, c.Length);
            return;
        }
        Raw({c.Text, c.Length});
    }
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
    void FlushIfFull() {
        if (size_ >= FlushAt) Flush();
    }
    void Flush() {
        out_.write(buffer_.get(), static_cast<std::streamsize>(size_));
        size_ = 0;
    }

private:
    static constexpr std::size_t FlushAt = 64 * 1024;
    static constexpr std::size_t Capacity = FlushAt + 4096;
    static constexpr std::size_t CacheSize = 1021;
    struct TCached {
        uint32_t Bits = 0;
        uint8_t Length = 0;   // 0: empty
        char Text[27];        // the longest form of a float widened to double is 24 characters
    };
    struct TAdapter : nlohmann::detail::output_adapter_protocol<char> {
        explicit TAdapter(TJsonWriter& w) : W(w) {}
        void write_character(char c) override { W.Raw({&c, 1}); }
        void write_characters(const char* s, std::size_t n) override { W.Raw({s, n}); }
        TJsonWriter& W;
    };
    // Writes at most a few hundred bytes at a time: only a full buffer goes out in the middle of a
    // value.
    void Reserve(std::size_t n) {
        if (size_ + n > Capacity) Flush();
    }

    std::ostream& out_;
    std::unique_ptr<char[]> buffer_;
    std::size_t size_ = 0;
    nlohmann::detail::serializer<ordered_json> serializer_;
    TCached cache_[CacheSize];
};

}  // namespace

void WriteSequenceJson(std::ostream& out, const TSequence& seq) {
    auto w = std::make_unique<TJsonWriter>(out);
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
        w->Raw(first ? "{\"name\":" : ",{\"name\":");
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
    const std::pair<const char*, long> ints[] = {
        {",\"grid_line_x\":", seq.GridLineX}, {",\"grid_line_y\":", seq.GridLineY}, {",\"qmax\":", seq.QMax},
        {",\"stack_min\":", seq.StackMin},    {",\"stack_max\":", seq.StackMax},    {",\"time\":", seq.Time},
        {",\"mode\":", seq.Mode},             {",\"vmn_range\":", seq.VmnRange}};
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
        w->Raw(first ? "{\"index\":" : ",{\"index\":");
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
        w->FlushIfFull();
    }
    w->Raw("],\"quadripoles\":[");
    for (int i = 0; i < seq.NbQuadripole; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        w->Raw(i ? ",{\"a\":" : "{\"a\":");
        w->Int(q.A);
        w->Raw(",\"b\":");
        w->Int(q.B);
        w->Raw(",\"m\":");
        w->Int(q.M);
        w->Raw(",\"n\":");
        w->Int(q.N);
        w->Raw(",\"spacing_index\":");
        w->Int(q.SpacingIndex);
        w->Raw(",\"level\":");
        w->Int(q.Level);
        w->Raw(",\"k\":");
        w->Float(GeometricFactor(seq, q));
        w->Raw(",\"pseudo_x\":");
        w->Float(PseudoX(seq, q));
        w->Raw(",\"level_value\":");
        w->Float(ChartValue(seq, q, 0));
        w->Raw(",\"depth\":");
        w->Float(ChartValue(seq, q, 1));
        w->Raw("}");
        w->FlushIfFull();
    }
    w->Raw("]}");
    w->Flush();
}
