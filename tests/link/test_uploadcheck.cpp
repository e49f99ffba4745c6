#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "link/uploadcheck.h"

namespace {

using K = TUploadFindingKind;

// A sequence both families take as it is: 48 electrodes, 10 quadripoles, every code in its table.
std::unique_ptr<TSequence> Sound() {
    auto seq = std::make_unique<TSequence>();
    seq->Name.Set("Line1");
    seq->ArrayType = 0;
    seq->NbElectrode = 48;
    seq->FirstElectrode = 1;
    seq->LastElectrode = 48;
    for (int e = 1; e <= 48; ++e) seq->Electrodes[e] = {2, int16_t(e), 5.0f * float(e - 1), 0, 0};
    for (int i = 0; i < 10; ++i)
        seq->Quadripoles[i] = {int16_t(i + 1), int16_t(i + 2), int16_t(i + 3), int16_t(i + 4), 0, 1, -1};
    seq->NbQuadripole = 10;
    return seq;
}

void Fill(TSequence& seq, int count) {
    for (int i = 0; i < count; ++i)
        seq.Quadripoles[i] = {int16_t(1 + i % 40), int16_t(2 + i % 40), 45, 46, 0, 1, -1};
    seq.NbQuadripole = count;
}

struct TCheckCase {
    const char* Name;
    std::function<void(TSequence&)> Change;
    std::vector<K> Family1, Family2;  // the kinds found, in order
    const char* Says;                 // a text that one of the findings holds ("" for none)
};

class UploadCheck : public ::testing::TestWithParam<TCheckCase> {};

TEST_P(UploadCheck, FindsWhatEachFamilyRefusesOrChanges) {
    const auto& c = GetParam();
    auto seq = Sound();
    c.Change(*seq);
    const TSequence copy = *seq;
    bool says = *c.Says == '\0';
    for (int family : {1, 2}) {
        const auto found = CheckUpload(*seq, family);
        std::vector<K> kinds;
        for (const auto& f : found) {
            kinds.push_back(f.Kind);
            EXPECT_EQ(f.Text.find('\n'), std::string::npos);
            says = says || f.Text.find(c.Says) != std::string::npos;
        }
        EXPECT_EQ(kinds, family == 1 ? c.Family1 : c.Family2) << c.Name << ", family " << family;
    }
    EXPECT_TRUE(says) << c.Name << ": no finding says " << c.Says;
    EXPECT_EQ(0, std::memcmp(&copy, seq.get(), sizeof copy)) << "the check changed the record";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UploadCheck,
    ::testing::Values(
        TCheckCase{"Sound", [](TSequence&) {}, {}, {}, ""},
        TCheckCase{"Family1Limit", [](TSequence& s) { Fill(s, 1500); }, {}, {}, ""},
        TCheckCase{"AboveFamily1Limit",
                   [](TSequence& s) { Fill(s, 1501); },
                   {K::TooManyQuadripoles},
                   {},
                   "1501 quadripoles"},
        TCheckCase{"EmptyTable",
                   [](TSequence& s) { s.NbQuadripole = 0; },
                   {K::EmptyTable},
                   {K::EmptyTable},
                   "empty"},
        TCheckCase{"ElectrodeTableAtTheCut", [](TSequence& s) { s.LastElectrode = 1319; }, {}, {}, ""},
        TCheckCase{"ElectrodeTableBeyondTheCut",
                   [](TSequence& s) {
                       s.LastElectrode = 1500;
                       s.Quadripoles[3].N = 1400;
                   },
                   {K::ElectrodeNumberCut},
                   {K::ElectrodeTableCut},
                   "1 quadripole uses electrodes beyond"},
        TCheckCase{"ElectrodeNumberOfOneByte", [](TSequence& s) { s.Quadripoles[0].M = 255; }, {}, {}, ""},
        TCheckCase{"ElectrodeNumberAboveOneByte",
                   [](TSequence& s) {
                       s.Quadripoles[0].M = 300;
                       s.Quadripoles[5].A = 256;
                   },
                   {K::ElectrodeNumberCut},
                   {},
                   "electrode 300 is sent as 44"},
        TCheckCase{"NameOf8", [](TSequence& s) { s.Name.Set("Line1234"); }, {}, {}, ""},
        TCheckCase{
            "NameOf10", [](TSequence& s) { s.Name.Set("Line123456"); }, {K::NameCut}, {}, "\"Line1234\""},
        TCheckCase{"NameOf12",
                   [](TSequence& s) { s.Name.Set("Line12345678"); },
                   {K::NameCut},
                   {K::NameCut},
                   "(10 characters)"},
        TCheckCase{"TimeOffered", [](TSequence& s) { s.Time = 250; }, {}, {}, ""},
        TCheckCase{"TimeWithoutCode",
                   [](TSequence& s) { s.Time = 750; },
                   {K::TimeCode},
                   {K::TimeCode},
                   "sent as 2000 ms"},
        TCheckCase{"VmnLast", [](TSequence& s) { s.VmnRange = 11; }, {}, {}, ""},
        TCheckCase{"VmnOutside", [](TSequence& s) { s.VmnRange = 12; }, {}, {K::VmnCode}, "\"Vmn Maximum\""},
        TCheckCase{"VmnNegative", [](TSequence& s) { s.VmnRange = -1; }, {}, {K::VmnCode}, "-1"},
        TCheckCase{"ArrayWithoutName", [](TSequence& s) { s.ArrayType = 3; }, {}, {}, ""},
        TCheckCase{"ArrayOutside", [](TSequence& s) { s.ArrayType = 10; }, {}, {K::ArrayCode}, "sent as 7"},
        TCheckCase{"ModeIp", [](TSequence& s) { s.Mode = 1; }, {}, {}, ""},
        TCheckCase{"ModeOutside", [](TSequence& s) { s.Mode = 2; }, {}, {K::ModeCode}, "Rho and Ip"},
        TCheckCase{"SeveralInOrder",
                   [](TSequence& s) {
                       s.Time = 300;
                       s.Name.Set("A long sequence name");
                       s.NbQuadripole = 0;
                       s.Mode = 7;
                   },
                   {K::EmptyTable, K::NameCut, K::TimeCode},
                   {K::EmptyTable, K::NameCut, K::TimeCode, K::ModeCode},
                   ""}),
    [](const auto& tc) { return std::string(tc.param.Name); });

TEST(UploadCheck, OnlyTwoFamilies) {
    auto seq = Sound();
    EXPECT_THROW(CheckUpload(*seq, 0), std::invalid_argument);
    EXPECT_THROW(CheckUpload(*seq, 3), std::invalid_argument);
}

}  // namespace
