#include <gtest/gtest.h>

#include <set>
#include <string>

#include "model/arraytypes.h"
#include "model/electrodesused.h"
#include "model/sequence.h"
#include "model/sequencerules.h"

// The codes as the record, the instrument's image and the electrodes-used step give them; every
// reader of the table must keep answering these.
TEST(ArrayTypeTable, AnswersTheFormatsCodes) {
    struct TCase {
        int32_t Code;
        const char* Name;
        int Family2;
        int Reserve;
    } cases[] = {
        {0, "Dipole dipole", 1, 4},
        {1, "Pole dipole", 2, 3},
        {2, "Pole pole", 3, 2},
        {3, "", 6, 4},
        {4, "Wenner-Schlumberger", 5, 3},
        {5, "", 5, 4},
        {6, "Wenner", 4, 3},
        {7, "", 4, 4},
        {8, "", 7, 4} /* multiple gradient: "Mixed" in the exports */,
        {9, "", 7, 4},
        {-1, "", 7, 4},
        {10, "", 7, 4},
        {1000, "", 7, 4},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Code);
        EXPECT_EQ(ArrayTypeName(c.Code), c.Name);
        EXPECT_EQ(ArrayTypeRow(c.Code).Family2Code, c.Family2);
        EXPECT_EQ(FirstElectrodeReserve(c.Code), c.Reserve);
        EXPECT_EQ(KnownArrayType(c.Code), c.Code >= 0 && c.Code <= 9);
    }
    EXPECT_TRUE(UsesOneSpacing(2));
    EXPECT_TRUE(UsesOneSpacing(6));
    EXPECT_FALSE(UsesOneSpacing(0));
    EXPECT_FALSE(UsesOneSpacing(4));
}

// Options and dialog rows are looked up by value: each must name one row, and the rows of the list
// must follow its heading without a gap.
TEST(ArrayTypeTable, OptionsAndRowsAreUniqueAndListedTypesHaveBoth) {
    std::set<std::string> options;
    std::set<int> rows;
    for (const TArrayTypeRow& r : ArrayTypeTable) {
        SCOPED_TRACE(r.Code);
        if (*r.Option != '\0') {
            EXPECT_TRUE(options.insert(r.Option).second);
            EXPECT_EQ(ArrayTypeOfOption(r.Option), &r);
        }
        if (r.DialogRow >= 0) {
            EXPECT_TRUE(rows.insert(r.DialogRow).second);
        }
        if (r.Listed) {
            EXPECT_NE(*r.Option, '\0');
        }
    }
    EXPECT_EQ(ArrayTypeOfOption("xx"), nullptr);
    EXPECT_EQ(ArrayTypeOfOption(""), nullptr);
    ASSERT_EQ(static_cast<int>(rows.size()), ArrayTypeDialogRows());
    int expected = 1;
    for (int row : rows) EXPECT_EQ(row, expected++);
}
