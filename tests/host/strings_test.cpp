// TStringList as a table of cases: sorted insertion under each duplicate
// rule, case handling, text forms and batched change events.
#include "host/Exceptions.h"
#include "host/Streams.h"
#include "host/Strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace host;

namespace {

std::vector<std::string> Lines(const TStrings& list) {
    std::vector<std::string> result;
    for (int32_t i = 0; i < list.Count(); ++i)
        result.push_back(list.Strings(i));
    return result;
}

struct SortedAddCase {
    const char* name;
    TDuplicates duplicates;
    bool caseSensitive;
    std::vector<std::string> adds;
    std::vector<std::string> expected;
    bool raises;
};

class SortedAdd : public ::testing::TestWithParam<SortedAddCase> {};

} // namespace

TEST_P(SortedAdd, InsertsAtTheSortedPlaceUnderTheDuplicateRule) {
    const auto& c = GetParam();
    TStringList list;
    list.SetSorted(true);
    list.SetDuplicates(c.duplicates);
    list.SetCaseSensitive(c.caseSensitive);
    bool raised = false;
    for (const auto& s : c.adds) {
        try {
            list.Add(s);
        } catch (const EStringListError& e) {
            EXPECT_STREQ(e.what(), "String list does not allow duplicates");
            raised = true;
        }
    }
    EXPECT_EQ(raised, c.raises);
    EXPECT_EQ(Lines(list), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    StringList, SortedAdd,
    ::testing::ValuesIn(std::vector<SortedAddCase>{
        {"IgnoreKeepsTheFirst", dupIgnore, false, {"b", "a", "B", "c"}, {"a", "b", "c"}, false},
        {"AcceptKeepsBoth", dupAccept, false, {"b", "a", "B", "c"}, {"a", "B", "b", "c"}, false},
        {"ErrorRaisesAndKeepsTheList", dupError, false, {"b", "a", "B", "c"}, {"a", "b", "c"}, true},
        {"CaseSensitiveSeesNoDuplicate", dupError, true, {"b", "B", "a"}, {"B", "a", "b"}, false},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StringList, IndexOfIgnoresCaseUnlessCaseSensitive) {
    TStringList list;
    list.SetText("Alpha\nBeta\nName=Value\n");
    EXPECT_EQ(list.IndexOf("BETA"), 1);
    EXPECT_EQ(list.IndexOfName("NAME"), 2);
    EXPECT_EQ(list.Values("name"), "Value");
    EXPECT_EQ(list.Names(2), "Name");
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOf("BETA"), -1);
    list.SetSorted(true);
    int32_t index = -1;
    EXPECT_TRUE(list.Find("Beta", index));
    EXPECT_EQ(index, 1);
    EXPECT_THROW(list.Insert(0, "x"), EStringListError);
}

TEST(StringList, ValuesAddReplaceAndDeleteLines) {
    TStringList list;
    list.SetValues("a", "1");
    list.SetValues("A", "2");
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"A=2"}));
    list.SetValues("a", "");
    EXPECT_EQ(list.Count(), 0);
}

TEST(StringList, SetTextSplitsOnEveryLineBreakKind) {
    struct {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"one", {"one"}},
        {"a\nb\n", {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\n\nb", {"a", "", "b"}},
        {"a\n\rb", {"a", "", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
    };
    for (const auto& c : cases) {
        TStringList list;
        list.SetText(c.text);
        EXPECT_EQ(Lines(list), c.lines) << c.text;
        TStringList again;
        again.SetText(list.Text());
        EXPECT_TRUE(again.Equals(&list)) << c.text;
    }
    TStringList list;
    list.SetText("x\r\ny");
    EXPECT_EQ(list.Text(), "x\ny\n");
}

TEST(StringList, CommaTextQuotesWhatNeedsQuotingAndReadsItBack) {
    TStringList list;
    list.Add("plain");
    list.Add("two words");
    list.Add("say \"hi\"");
    list.Add("a,b");
    list.Add("");
    EXPECT_EQ(list.CommaText(), "plain,\"two words\",\"say \"\"hi\"\"\",\"a,b\",");
    TStringList back;
    back.SetCommaText(list.CommaText() + "\"\"");
    EXPECT_EQ(Lines(back), (std::vector<std::string>{"plain", "two words", "say \"hi\"", "a,b", ""}));
    back.SetCommaText("  x  y,, z ");
    EXPECT_EQ(Lines(back), (std::vector<std::string>{"x", "y", "", "z"}));
    back.SetCommaText("");
    EXPECT_EQ(back.CommaText(), "");
    back.Add("");
    EXPECT_EQ(back.CommaText(), "\"\"");
}

TEST(StringList, ChangeFiresOnceAtTheOutermostEndUpdateAndOnlyAfterAChange) {
    TStringList list;
    int changing = 0;
    int changed = 0;
    list.SetOnChanging([&](TObject*) { ++changing; });
    list.SetOnChange([&](TObject*) { ++changed; });

    list.Add("a");
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(changed, 1);

    list.BeginUpdate();
    list.BeginUpdate();
    list.Add("b");
    list.Delete(0);
    list.EndUpdate();
    EXPECT_EQ(changed, 1) << "no event inside the outer update";
    list.EndUpdate();
    EXPECT_EQ(changing, 2);
    EXPECT_EQ(changed, 2);

    list.BeginUpdate();
    list.EndUpdate();
    EXPECT_EQ(changed, 2) << "nothing changed";

    TStringList source;
    source.SetText("x\ny\n");
    list.Assign(&source);
    EXPECT_EQ(changed, 3) << "Assign batches its clear and adds";
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"x", "y"}));
}

TEST(StringList, AssignCopiesObjectsAndSelfAssignKeepsTheLines) {
    TStringList source;
    TStringList marker;
    source.AddObject("line", &marker);
    TStringList copy;
    copy.Assign(&source);
    EXPECT_EQ(copy.Objects(0), &marker);
    copy.Assign(&copy);
    EXPECT_EQ(copy.Count(), 1);
    copy.AddStrings(&copy);
    EXPECT_EQ(Lines(copy), (std::vector<std::string>{"line", "line"}));
    TComponent notStrings(nullptr);
    EXPECT_THROW(copy.Assign(&notStrings), EConvertError);
}

TEST(StringList, BadIndexRaisesTheListError) {
    TStringList list;
    list.Add("a");
    for (int32_t bad : {-1, 1}) {
        try {
            list.Strings(bad);
            FAIL();
        } catch (const EStringListError& e) {
            EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(bad) + ")");
        }
        EXPECT_THROW(list.Delete(bad), EStringListError);
        EXPECT_THROW(list.Objects(bad), EStringListError);
    }
    EXPECT_THROW(list.Insert(2, "x"), EStringListError);
}

TEST(StringList, CustomSortWithAnInconsistentComparisonStaysInBounds) {
    TStringList list;
    for (int i = 0; i < 50; ++i)
        list.Add(std::to_string(i % 7));
    list.CustomSort([](TStringList*, int32_t, int32_t) { return int32_t{-1}; });
    EXPECT_EQ(list.Count(), 50);
    list.Sort();
    EXPECT_EQ(list.Strings(0), "0");
    EXPECT_EQ(list.Strings(49), "6");
}

TEST(StringList, SavesAndLoadsThroughStreams) {
    TStringList list;
    list.SetText("select *\r\nfrom t\r\n");
    TMemoryStream stream;
    list.SaveToStream(stream);
    EXPECT_EQ(std::string(stream.Memory(), static_cast<size_t>(stream.Size())), "select *\nfrom t\n");
    stream.SetPosition(0);
    TStringList back;
    back.LoadFromStream(stream);
    EXPECT_TRUE(back.Equals(&list));
}
