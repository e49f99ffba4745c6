#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model/fileio.h"
#include "storage/import.h"
#include "tests/storage/tempfolder.h"

namespace {

std::unique_ptr<TSequence> Import(const std::string& text, char decimal = '.') {
    auto seq = std::make_unique<TSequence>();
    ImportTextBytes(text, "Test", decimal, *seq);
    return seq;
}

// The problem of a refused text, with its line.
std::pair<std::string, int> Refusal(const std::string& text, char decimal = '.') {
    TSequence seq;
    try {
        ImportTextBytes(text, "Test", decimal, seq);
    } catch (const TImportError& e) {
        return {e.Problem(), e.Line()};
    }
    return {"accepted", 0};
}

const std::string FourOnALine = "#,X,Y,Z\n1,0,0,0\n2,5,0,0\n3,10,0,0\n4,15,0,0\n5,20,0,0\n";

}  // namespace

struct TSplitCase {
    const char* Label;
    const char* Line;
    std::vector<std::string> Fields;
};

class SplitFieldsTest : public testing::TestWithParam<TSplitCase> {};

TEST_P(SplitFieldsTest, Splits) { EXPECT_EQ(SplitFields(GetParam().Line), GetParam().Fields); }

INSTANTIATE_TEST_SUITE_P(Cases, SplitFieldsTest,
                         testing::Values(TSplitCase{"Commas", "1,3,4", {"1", "3", "4"}},
                                         TSplitCase{"CommasAndSpaces", "1, 3 ,  4", {"1", "3", "4"}},
                                         TSplitCase{"Spaces", "  1 3   4  ", {"1", "3", "4"}},
                                         TSplitCase{"Tabs", "1\t3\t4", {"1", "3", "4"}},
                                         TSplitCase{"ControlCharacters",
                                                    "1\x01"
                                                    "3\x1f"
                                                    "4",
                                                    {"1", "3", "4"}},
                                         TSplitCase{"EmptyField", "1,,4", {"1", "", "4"}},
                                         TSplitCase{"EmptyFieldWithBlanks", "1, ,4", {"1", "", "4"}},
                                         TSplitCase{"TrailingComma", "1,4,", {"1", "4"}},
                                         TSplitCase{"Quoted", "\"0,50\",\"a b\"", {"0,50", "a b"}},
                                         TSplitCase{"DoubledQuote", "\"say \"\"hi\"\"\"", {"say \"hi\""}},
                                         TSplitCase{"TextAfterQuote", "\"ab\"cd", {"ab", "cd"}},
                                         TSplitCase{"UnterminatedQuote", "\"ab", {"ab"}},
                                         TSplitCase{"Empty", "", {}}),
                         [](const testing::TestParamInfo<TSplitCase>& p) { return p.param.Label; });

TEST(SplitFields, ANulIsABlankLikeAnyControlCharacter) {
    EXPECT_EQ(SplitFields(std::string("1\0 2 3", 6)), (std::vector<std::string>{"1", "2", "3"}));
}

TEST(TextImport, ReadsBothSectionsInEitherOrder) {
    for (const std::string& text :
         {"#,A,B,M,N\n1,1,2,3,4\n" + FourOnALine, FourOnALine + "#,A,B,M,N\n1,1,2,3,4\n"}) {
        auto seq = Import(text);
        EXPECT_EQ(seq->ArrayType, 9);
        EXPECT_EQ(seq->NbElectrode, 5);
        EXPECT_EQ(seq->FirstElectrode, 1);
        EXPECT_EQ(seq->LastElectrode, 5);
        EXPECT_EQ(seq->Spacing[0], 5.0f);
        ASSERT_EQ(seq->NbQuadripole, 1);
        EXPECT_EQ(seq->Quadripoles[0].N, 4);
        EXPECT_EQ(seq->Electrodes[1].Type, 2);
        EXPECT_EQ(seq->Electrodes[5].Type, 4);
        EXPECT_EQ(seq->Electrodes[0].Type, 3);
        EXPECT_EQ(seq->Electrodes[0].X, 999999.0f);
        EXPECT_EQ(seq->CableName.Get(), "Test");
        EXPECT_EQ(seq->Segments[0].Name.Get(), "Test");
        EXPECT_EQ(seq->Segments[0].FirstNode, 1);
        EXPECT_EQ(seq->Segments[0].LastNode, 5);
        EXPECT_EQ(seq->Segments[0].NodeSpacing, 5.0f);
    }
}

TEST(TextImport, RemoteFieldsAndTheEndOfTheQuadripoleData) {
    auto seq = Import("#,A,B,M,N\n1,Rem,2,3,4\n2,INF,2,3,4\n3,1,2,3.5,4\n4,1,2,3,4\n" + FourOnALine);
    ASSERT_EQ(seq->NbQuadripole, 2);
    EXPECT_EQ(seq->Quadripoles[0].A, 0);
    EXPECT_EQ(seq->Quadripoles[1].A, 0);
    // A line with fewer than five fields ends the data too.
    EXPECT_EQ(Import("#,A,B,M,N\n1,1,2,3\n2,1,2,3,4\n")->NbQuadripole, 0);
}

TEST(TextImport, HeadersThatAreNotHeaders) {
    EXPECT_EQ(Refusal("A B M N\n1,1,2,3,4\n").first, QuadripoleFileError);
    EXPECT_EQ(Refusal("").first, QuadripoleFileError);
    EXPECT_EQ(Refusal("#,A,B,M,N\nName XYZ\n#,X,Y,Z\n"), std::make_pair(std::string(CoordinateFileError), 2));
    // A name holding "#", A, B, M and N is taken for the quadripole header.
    auto seq = Import("Name #ABMN\n#,X,Y,Z\n1,0,0,0\n#,A,B,M,N\n1,1,1,1,1\n");
    EXPECT_EQ(seq->NbQuadripole, 0);
}

TEST(TextImport, QuadripolesWithoutCoordinatesKeepOnlyTheRemoteElectrode) {
    auto seq = Import("#,A,B,M,N\n1,0,2,3,4\n");
    EXPECT_EQ(seq->NbElectrode, 0);
    EXPECT_EQ(seq->NbQuadripole, 1);
    EXPECT_EQ(seq->Spacing[0], 1.0f);
    EXPECT_EQ(seq->FirstElectrode, 0);  // kept within the record's limits
    EXPECT_EQ(seq->Electrodes[0].Type, 3);
}

TEST(TextImport, CoordinateDataEndsAtAFifthFieldOrNumber2000) {
    EXPECT_EQ(Import("#,A,B,M,N\n#,X,Y,Z\n1,0,0,0\n2,1,0,0,9\n3,2,0,0\n")->NbElectrode, 1);
    EXPECT_EQ(Import("#,A,B,M,N\n#,X,Y,Z\n1,0,0,0\n2000,1,0,0\n3,2,0,0\n")->NbElectrode, 1);
}

TEST(TextImport, UnitSpacingFromTheTwoLowestElectrodesInAnyOrder) {
    auto down = Import("#,A,B,M,N\n#,X,Y,Z\n9,40,0,0\n5,20,0,0\n3,2.5,0,0\n2,0.5,0,0\n");
    EXPECT_EQ(down->Spacing[0], 2.0f);
    EXPECT_EQ(down->FirstElectrode, 2);
    EXPECT_EQ(down->LastElectrode, 9);
    auto up = Import("#,A,B,M,N\n#,X,Y,Z\n2,0.5,0,0\n3,2.5,0,0\n5,20,0,0\n9,40,0,0\n");
    EXPECT_EQ(up->Spacing[0], 2.0f);
    EXPECT_EQ(Import("#,A,B,M,N\n#,X,Y,Z\n2,5,0,0\n3,1,0,0\n")->Spacing[0], 1.0f);  // decreasing X
    EXPECT_EQ(Import("#,A,B,M,N\n#,X,Y,Z\n2,5,0,0\n")->Spacing[0], 1.0f);           // only one
}

TEST(TextImport, ALaterCoordinateLineStandsAndTheElectrodeIsStillOne) {
    auto seq = Import("#,A,B,M,N\n#,X,Y,Z\n1,0,0,0\n1,7,8,9\n");
    EXPECT_EQ(seq->NbElectrode, 1);
    EXPECT_EQ(seq->Electrodes[1].X, 7.0f);
    EXPECT_EQ(seq->Electrodes[1].Z, 9.0f);
    // 1,500 lines for electrode 1 and one line each for 2 to 72 once gave 1,572 electrodes.
    std::string text = "#,A,B,M,N\n1,1,2,3,4\n#,X,Y,Z\n";
    for (int i = 0; i < 1500; ++i) text += "1," + std::to_string(i % 7) + ",0,0\n";
    for (int n = 2; n <= 72; ++n) text += std::to_string(n) + "," + std::to_string(n) + ",0,0\n";
    seq = Import(text);
    EXPECT_EQ(seq->NbElectrode, 72);
    EXPECT_EQ(seq->Electrodes[1].X, 1499 % 7);
    EXPECT_EQ(seq->NbQuadripole, 1);
}

namespace {

// The text as UTF-16, with or without its byte-order mark.
std::string Utf16(const std::string& ascii, bool little, bool mark = true) {
    std::string out;
    if (mark) out = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char c : ascii) {
        out += little ? c : '\0';
        out += little ? '\0' : c;
    }
    return out;
}

const std::string SmallSequence =
    "#,A,B,M,N\n1,1,2,3,4\n2,Rem,2,3,4\n#,X,Y,Z\n1,0,0,0\n2,2.5,0,0\n3,5,0,0\n4,7.5,1,-2\n";

}  // namespace

struct TEncodingCase {
    const char* Label;
    std::string Bytes;
    const char* Refusal;  // nullptr: read as SmallSequence is
};

class TextEncodings : public testing::TestWithParam<TEncodingCase> {};

TEST_P(TextEncodings, AreDecodedOrRefusedByName) {
    if (GetParam().Refusal == nullptr) {
        auto seq = Import(GetParam().Bytes);
        auto plain = Import(SmallSequence);
        EXPECT_EQ(std::memcmp(seq.get(), plain.get(), sizeof(TSequence)), 0);
        EXPECT_EQ(seq->NbElectrode, 4);
        EXPECT_EQ(seq->Electrodes[4].Z, -2.0f);
        EXPECT_EQ(seq->NbQuadripole, 2);
    } else {
        EXPECT_NE(Refusal(GetParam().Bytes).first.find(GetParam().Refusal), std::string::npos)
            << Refusal(GetParam().Bytes).first;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextEncodings,
    testing::Values(
        TEncodingCase{"Utf8", SmallSequence, nullptr},
        TEncodingCase{"Utf8WithItsMark", "\xEF\xBB\xBF" + SmallSequence, nullptr},
        TEncodingCase{"Utf16LittleEndian", Utf16(SmallSequence, true), nullptr},
        TEncodingCase{"Utf16BigEndian", Utf16(SmallSequence, false), nullptr},
        TEncodingCase{
            "Utf16WithCharactersBeyondAscii",
            Utf16(SmallSequence, true) + std::string("\xE9\0\x3D\xD8\x00\xDE", 6) + Utf16("\n", true, false),
            nullptr},
        TEncodingCase{"Utf16WithoutItsMark", Utf16(SmallSequence, true, false), "UTF-16"},
        TEncodingCase{"Utf16BigEndianWithoutItsMark", Utf16(SmallSequence, false, false), "UTF-16"},
        TEncodingCase{"Utf16CutInHalfACharacter", Utf16(SmallSequence, true) + "1", "half a character"},
        TEncodingCase{"Utf16WithALoneSurrogate", Utf16("#,A,B,M,N\n", true) + std::string("\x00\xDC", 2),
                      "not valid UTF-16"},
        TEncodingCase{"Utf32", std::string("\xFF\xFE\0\0", 4) + "#\0\0\0", "UTF-32"}),
    [](const testing::TestParamInfo<TEncodingCase>& p) { return p.param.Label; });

TEST(TextImport, AUtf16FileIsRefusedWithItsName) {
    TTempFolder tmp;
    WriteBytes(tmp / "field.txt", Utf16(SmallSequence, true, false));
    TSequence seq;
    try {
        ImportTextFile(tmp / "field.txt", '.', seq);
        FAIL() << "accepted";
    } catch (const TFileError& e) {
        EXPECT_EQ(e.Path(), tmp / "field.txt");
        EXPECT_NE(std::string(e.what()).find("UTF-16"), std::string::npos) << e.what();
    }
}

TEST(TextImport, DecimalSeparatorOfCoordinates) {
    auto seq = Import("#;X;Y;Z\n1 \"2,5\" 0 \"-1,25\"\n#,A,B,M,N\n", ',');
    EXPECT_EQ(seq->Electrodes[1].X, 2.5f);
    EXPECT_EQ(seq->Electrodes[1].Z, -1.25f);
}

TEST(TextImport, KeepsTheFirst16000Quadripoles) {
    std::string text = FourOnALine + "#,A,B,M,N\n";
    for (int i = 1; i <= 16005; ++i) text += std::to_string(i) + ",1,2,3,4\n";
    EXPECT_EQ(Import(text)->NbQuadripole, 16000);
}

struct TRefusalCase {
    const char* Label;
    std::string Text;
    int Line;
    const char* Says;
};

class TextRefusal : public testing::TestWithParam<TRefusalCase> {};

TEST_P(TextRefusal, NamesTheLine) {
    auto [problem, line] = Refusal(GetParam().Text);
    EXPECT_EQ(line, GetParam().Line) << problem;
    EXPECT_NE(problem.find(GetParam().Says), std::string::npos) << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextRefusal,
    testing::Values(
        TRefusalCase{"ElectrodeZero", "#,A,B,M,N\n#,X,Y,Z\n1,0,0,0\n0,1,0,0\n", 4, "outside 1 to 1999"},
        TRefusalCase{"ElectrodeNegative", "#,A,B,M,N\n#,X,Y,Z\n-5,1,0,0\n", 3, "-5"},
        TRefusalCase{"CoordinateNotANumber", "#,X,Y,Z\n1,abc,0,0\n#,A,B,M,N\n", 2, "\"abc\""},
        TRefusalCase{"CoordinateNaN", "#,X,Y,Z\n1,0,0,0\n2,nan,0,0\n#,A,B,M,N\n", 3, "\"nan\""},
        TRefusalCase{"CoordinateInfinite", "#,X,Y,Z\n1,0,-inf,0\n#,A,B,M,N\n", 2, "\"-inf\""},
        TRefusalCase{"CoordinateBeyondAFloat", "#,X,Y,Z\n1,0,0,1e39\n#,A,B,M,N\n", 2, "\"1e39\""},
        TRefusalCase{"QuadripoleElectrodeTooHigh", "#,A,B,M,N\n1,1,2,3,2500\n", 2, "2500"},
        TRefusalCase{"QuadripoleElectrodeNegative", "#,A,B,M,N\n1,1,2,3,4\n2,-1,2,3,4\n", 3, "-1"},
        TRefusalCase{"QuadripoleElectrodeHuge", "#,A,B,M,N\n1,1,2,3,4\n2,1,2,9999998,4\n", 3, "9999998"}),
    [](const testing::TestParamInfo<TRefusalCase>& p) { return p.param.Label; });

TEST(TextImport, ARefusedFileIsNamedWithItsLine) {
    TTempFolder tmp;
    WriteBytes(tmp / "field.txt", "#,A,B,M,N\n1,1,2,3,4000\n");
    TSequence seq;
    try {
        ImportTextFile(tmp / "field.txt", '.', seq);
        FAIL() << "accepted";
    } catch (const TFileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  tmp / "field.txt" + ": line 2: electrode number 4000 is outside 0 to 1999");
    }
    EXPECT_THROW(ImportTextFile(tmp / "missing.txt", '.', seq), TFileError);
    EXPECT_EQ(TextSequenceName("/a/b/  Line 4 .data.txt"), "Line 4 .data");
}

struct TDeriveCase {
    const char* Label;
    float A, B, M, N;  // abscissae, a = 1
    int SpacingIndex, Level;
};

class Derive : public testing::TestWithParam<TDeriveCase> {};

TEST_P(Derive, SpacingIndexAndLevelFromPositions) {
    TSequence seq;
    seq.Spacing[0] = 1;
    const float xs[4] = {GetParam().A, GetParam().B, GetParam().M, GetParam().N};
    for (int i = 0; i < 4; ++i) {
        seq.Electrodes[i + 1].Type = 2;
        seq.Electrodes[i + 1].X = xs[i];
    }
    seq.Quadripoles[0] = {1, 2, 3, 4, 0, 0, -1};
    DeriveSpacingAndLevel(seq, 0);
    EXPECT_EQ(seq.Quadripoles[0].SpacingIndex, GetParam().SpacingIndex);
    EXPECT_EQ(seq.Quadripoles[0].Level, GetParam().Level);
}

INSTANTIATE_TEST_SUITE_P(Cases, Derive,
                         testing::Values(TDeriveCase{"DipoleDipoleLevel1", 0, 1, 2, 3, 0, 1},
                                         TDeriveCase{"DipoleDipoleLevel3", 0, 1, 4, 5, 0, 3},
                                         TDeriveCase{"Dipole2a", 0, 2, 4, 6, 1, 2},
                                         TDeriveCase{"Dipole3a", 0, 3, 6, 9, 2, 3},
                                         TDeriveCase{"Dipole5aCapped", 0, 5, 10, 15, 2, 5},
                                         TDeriveCase{"Far40a", 0, 1, 41, 42, 0, 32},
                                         TDeriveCase{"Far100aCapped", 0, 1, 101, 102, 0, 32},
                                         TDeriveCase{"Wenner", 0, 3, 1, 2, 0, 1},
                                         TDeriveCase{"RemoteN", 0, 1, 2, 999999, 0, 1},
                                         TDeriveCase{"NotANumber", 0, 1, NAN, 3, 0, 2},
                                         TDeriveCase{"Infinite", 0, 1, INFINITY, -INFINITY, 0, 32}),
                         [](const testing::TestParamInfo<TDeriveCase>& p) { return p.param.Label; });

TEST(TextImport, DistancesThatAreWholeMultiplesOfATypedSpacingGiveThoseMultiples) {
    // Electrodes typed with two decimals, k a apart; a dipole-dipole quadripole with a dipole length of
    // 3 a at level 2 once read as index 1 or level 1 when the quotient fell a hair below the multiple.
    int wrong = 0;
    std::string first;
    for (int cents = 1; cents <= 2000; ++cents) {
        auto typed = [&](int k) {
            const int v = k * cents;
            return std::to_string(v / 100) + "." + char('0' + v / 10 % 10) + char('0' + v % 10);
        };
        std::string text = "#,X,Y,Z\n";
        for (int k = 0; k < 9; ++k) text += std::to_string(k + 1) + "," + typed(k) + ",0,0\n";
        text += "#,A,B,M,N\n1,1,4,6,9\n";  // A 0, B 3 a, M 5 a, N 8 a
        auto seq = Import(text);
        const TQuadripole& q = seq->Quadripoles[0];
        if (q.SpacingIndex == 2 && q.Level == 2) continue;
        if (wrong++ == 0)
            first = "a = " + typed(1) + ": index " + std::to_string(q.SpacingIndex) + ", level " +
                    std::to_string(q.Level);
    }
    EXPECT_EQ(wrong, 0) << first;
}

TEST(TextImport, SpacingOfTheDerivedIndex) {
    auto seq = Import(FourOnALine + "#,A,B,M,N\n1,1,2,3,5\n2,1,2,2,5\n");
    EXPECT_EQ(seq->Quadripoles[0].SpacingIndex, 1);
    EXPECT_EQ(seq->Spacing[1], 10.0f);
    EXPECT_EQ(seq->Quadripoles[1].SpacingIndex, 2);
    EXPECT_EQ(seq->Spacing[2], 15.0f);
}

// ---------------------------------------------------------------------------------------------------
// V1 files

namespace {

struct TV1Builder {
    std::string Bytes = std::string(V1HeaderSize, '\0');
    int E = 0, Q = 0;

    TV1Builder(const std::string& name = "Line1") {
        std::memcpy(Bytes.data(), "_DOC_Teravox", 12);
        std::memcpy(Bytes.data() + V1NameOffset, name.data(), std::min<std::size_t>(name.size(), V1NameSize));
    }
    static void Put16(std::string& s, int v) {
        s += static_cast<char>(v & 0xff);
        s += static_cast<char>((v >> 8) & 0xff);
    }
    static void PutF(std::string& s, float f) {
        char b[4];
        std::memcpy(b, &f, 4);
        s.append(b, 4);
    }
    TV1Builder& Electrode(int stored, float x, float y = 0, float z = 0) {
        std::string r;
        Put16(r, stored);
        PutF(r, x);
        PutF(r, y);
        PutF(r, z);
        Put16(r, 1);
        Bytes.insert(V1HeaderSize + static_cast<std::size_t>(E) * 16, r);
        ++E;
        return *this;
    }
    TV1Builder& Quadripole(int a, int b, int m, int n) {
        Put16(Bytes, a);
        Put16(Bytes, b);
        Put16(Bytes, m);
        Put16(Bytes, n);
        Put16(Bytes, 1);
        PutF(Bytes, 1.0f);
        ++Q;
        return *this;
    }
    std::string Done(int e = -1, int q = -1) const {
        std::string out = Bytes;
        out[V1ElectrodeCountOffset] = static_cast<char>((e < 0 ? E : e) & 0xff);
        out[V1ElectrodeCountOffset + 1] = static_cast<char>(((e < 0 ? E : e) >> 8) & 0xff);
        out[V1QuadripoleCountOffset] = static_cast<char>((q < 0 ? Q : q) & 0xff);
        out[V1QuadripoleCountOffset + 1] = static_cast<char>(((q < 0 ? Q : q) >> 8) & 0xff);
        return out;
    }
};

std::string V1Refusal(const std::string& bytes) {
    TSequence seq;
    try {
        ImportV1Bytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), seq);
    } catch (const TImportError& e) {
        return e.Problem();
    }
    return "accepted";
}

}  // namespace

TEST(V1Import, ReadsHeaderElectrodesAndQuadripoles) {
    TV1Builder b("LongName12345");
    b.Electrode(0, 0)
        .Electrode(1, 2.5f)
        .Electrode(2, 5)
        .Electrode(3, 7.5f, 1, 2)
        .Quadripole(1, 2, 3, 4)
        .Quadripole(0, 2, 3, 4);
    std::string bytes = b.Done();
    TSequence seq;
    ImportV1Bytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), seq);
    EXPECT_EQ(seq.Name.Get(), "LongName12");
    EXPECT_EQ(seq.CableName.Get(), "LongName12");
    EXPECT_EQ(seq.Segments[0].Name.Get(), "LongName12");
    EXPECT_EQ(seq.ArrayType, 9);
    EXPECT_EQ(seq.NbElectrode, 4);
    EXPECT_EQ(seq.FirstElectrode, 1);
    EXPECT_EQ(seq.LastElectrode, 4);
    EXPECT_EQ(seq.Spacing[0], 2.5f);
    EXPECT_EQ(seq.Electrodes[4].Y, 1.0f);
    EXPECT_EQ(seq.Electrodes[4].Z, 2.0f);
    EXPECT_EQ(seq.Electrodes[4].Number, 4);
    ASSERT_EQ(seq.NbQuadripole, 2);
    EXPECT_EQ(seq.Quadripoles[1].A, 0);
    EXPECT_EQ(seq.Electrodes[1].Type, 2);
}

TEST(V1Import, RefusesBadFiles) {
    TV1Builder ok;
    ok.Electrode(0, 0).Electrode(1, 1).Quadripole(1, 2, 1, 2);
    EXPECT_EQ(V1Refusal(ok.Done()), "accepted");
    std::string wrong = ok.Done();
    wrong[5] = 't';
    EXPECT_NE(V1Refusal(wrong).find("_DOC_Teravox"), std::string::npos);
    EXPECT_NE(V1Refusal(ok.Done().substr(0, 100)).find("179-byte header"), std::string::npos);
    EXPECT_NE(V1Refusal(ok.Done(2, 2)).find("run past the end"), std::string::npos);
    EXPECT_NE(V1Refusal(ok.Done(300, 0)).find("run past the end"), std::string::npos);
    EXPECT_NE(V1Refusal(ok.Done(-1 & 0xffff, 0)).find("-1 electrodes"), std::string::npos);
    TV1Builder badElectrode;
    badElectrode.Electrode(1999, 0);
    EXPECT_NE(V1Refusal(badElectrode.Done()).find("electrode number 2000"), std::string::npos);
    TV1Builder negative;
    negative.Electrode(-1, 0);
    EXPECT_NE(V1Refusal(negative.Done()).find("electrode number 0"), std::string::npos);
    TV1Builder badQuad;
    badQuad.Electrode(0, 0).Quadripole(1, 2, 3, 2000);
    EXPECT_NE(V1Refusal(badQuad.Done()).find("2000"), std::string::npos);
}

TEST(V1Import, ACoordinateThatIsNotAFiniteNumberIsRefusedWithItsRecord) {
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        TV1Builder b;
        b.Electrode(0, 0).Electrode(1, 2.5f).Electrode(2, 5, 0, bad).Quadripole(1, 2, 3, 0);
        const std::string problem = V1Refusal(b.Done());
        EXPECT_NE(problem.find("record 3"), std::string::npos) << problem;
        EXPECT_NE(problem.find("(electrode number 3) has Z = "), std::string::npos) << problem;
        EXPECT_NE(problem.find("not a finite coordinate"), std::string::npos) << problem;
    }
}

TEST(V1Import, AnElectrodeGivenTwiceIsOneElectrode) {
    TV1Builder b;
    b.Electrode(0, 0).Electrode(1, 2.5f).Electrode(0, 1).Quadripole(1, 2, 0, 0);
    const std::string bytes = b.Done();
    TSequence seq;
    ImportV1Bytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), seq);
    EXPECT_EQ(seq.NbElectrode, 2);
    EXPECT_EQ(seq.Electrodes[1].X, 1.0f);
}

TEST(V1Import, ARefusedFileIsNamed) {
    TTempFolder tmp;
    WriteBytes(tmp / "old.seq", "not a V1 file");
    TSequence seq;
    try {
        ImportV1Sequence(seq, tmp / "old.seq");
        FAIL() << "accepted";
    } catch (const TFileError& e) {
        EXPECT_EQ(e.Path(), tmp / "old.seq");
    }
}
