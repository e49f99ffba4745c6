#include "link/uploadcheck.h"

#include <algorithm>
#include <stdexcept>

#include "link/instrumentimage.h"
#include "link/linktexts.h"
#include "model/sequencerules.h"

namespace {

std::string Quoted(const std::string& bytes) { return "\"" + RecordTextUtf8(bytes) + "\""; }

std::string Quadripoles(int n) { return std::to_string(n) + (n == 1 ? " quadripole" : " quadripoles"); }

std::string TimeChoicesText() {
    std::string t;
    for (int ms : TimeChoices) t += (t.empty() ? "" : ", ") + std::to_string(ms);
    return t + " ms";
}

// The offered time whose code the instrument receives for `ms`.
int TimeSentAs(int32_t ms, int family) {
    auto code = [family](int32_t t) { return family == 1 ? TimeCode1(t) : TimeCode2(t); };
    for (int t : TimeChoices)
        if (code(t) == code(ms)) return t;
    return ms;
}

}  // namespace

std::vector<TUploadFinding> CheckUpload(const TSequence& seq, int family) {
    if (family != 1 && family != 2)
        throw std::invalid_argument("instrument family " + std::to_string(family) + " is not 1 or 2");
    using K = TUploadFindingKind;
    std::vector<TUploadFinding> found;
    auto add = [&found](K kind, std::string text) { found.push_back({kind, std::move(text)}); };
    const int count = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);

    if (family == 1 && count > Family1MaxQuadripoles)
        add(K::TooManyQuadripoles, Quadripoles(count) + ": family 1 takes at most " +
                                       std::to_string(Family1MaxQuadripoles) + ", the upload is refused");
    if (count == 0)
        add(K::EmptyTable,
            family == 1 ? "the quadripole table is empty: the instrument receives a sequence without readings"
                        : std::string("the quadripole table is empty: the instrument answers \"") +
                              LinkText::ErrBuffer + "\" and stores a sequence without readings");
    if (family == 2 && seq.LastElectrode > Family2MaxLastElectrode) {
        int beyond = 0;
        for (int i = 0; i < count; ++i) {
            const TQuadripole& q = seq.Quadripoles[i];
            if (std::max({q.A, q.B, q.M, q.N}) > Family2MaxLastElectrode) ++beyond;
        }
        std::string text = "the electrode table is cut at electrode " +
                           std::to_string(Family2MaxLastElectrode) + " (it reaches " +
                           std::to_string(seq.LastElectrode) +
                           ") on instruments of version 20000002 and later, and the sequence's last "
                           "electrode is lowered to it";
        if (beyond > 0)
            text += "; " + Quadripoles(beyond) + (beyond == 1 ? " uses" : " use") + " electrodes beyond it";
        add(K::ElectrodeTableCut, text);
    }
    if (family == 1) {
        int beyond = 0, first = 0;
        for (int i = 0; i < std::min(count, Family1MaxQuadripoles); ++i) {
            const TQuadripole& q = seq.Quadripoles[i];
            const int highest = std::max({q.A, q.B, q.M, q.N});
            if (highest > Family1MaxElectrodeNumber) {
                if (beyond++ == 0) first = highest;
            }
        }
        if (beyond > 0)
            add(K::ElectrodeNumberCut, Quadripoles(beyond) + (beyond == 1 ? " uses" : " use") +
                                           " electrodes above " + std::to_string(Family1MaxElectrodeNumber) +
                                           ", which travel as their low 8 bits (electrode " +
                                           std::to_string(first) + " is sent as " +
                                           std::to_string(first & 0xFF) + ")");
    }
    const std::size_t nameLength = family == 1 ? Family1NameLength : Family2NameLength;
    const std::string name = seq.Name.Get();
    if (name.size() > nameLength)
        add(K::NameCut, "the name " + Quoted(name) + " is cut to " + Quoted(name.substr(0, nameLength)) +
                            " (" + std::to_string(nameLength) + " characters)");
    if (!IsTimeChoice(seq.Time))
        add(K::TimeCode, "injection time " + std::to_string(seq.Time) + " ms is not one of " +
                             TimeChoicesText() + ": it is sent as " +
                             std::to_string(TimeSentAs(seq.Time, family)) + " ms");
    if (family == 2) {
        if (VmnCodes.Clamp(seq.VmnRange) != seq.VmnRange) {
            int sentAs = VmnCodes.Min;
            for (int r = VmnCodes.Min; r <= VmnCodes.Max; ++r)
                if (VmnCode(r) == VmnCode(seq.VmnRange) && VabCode(r) == VabCode(seq.VmnRange)) {
                    sentAs = r;
                    break;
                }
            add(K::VmnCode, "voltage request code " + std::to_string(seq.VmnRange) + " is not one of " +
                                std::to_string(VmnCodes.Min) + " to " + std::to_string(VmnCodes.Max) +
                                ": it is sent as \"" + VmnRangeText(sentAs) + "\"");
        }
        if (!KnownArrayType(seq.ArrayType))
            add(K::ArrayCode, "array type " + std::to_string(seq.ArrayType) +
                                  " has no array code: it is sent as " +
                                  std::to_string(ArrayCode(seq.ArrayType)) + ", a sequence without geometry");
        if (seq.Mode > 1)
            add(K::ModeCode, "mode " + std::to_string(seq.Mode) +
                                 " is neither 0 (Rho) nor 1 (Rho and Ip): it is sent as Rho and Ip");
    }
    return found;
}
