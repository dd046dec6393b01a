#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "AllocationCounter.h"
#include "core/CList.h"

using namespace std::string_literals;

namespace {

// The pairs from the head, as (name, value).
std::vector<std::pair<std::string, std::string>> Pairs(const CList& list) {
    std::vector<std::pair<std::string, std::string>> out;
    for (RList* n = list.Head(); n != nullptr; n = n->Next) {
        out.emplace_back(n->Name, n->Value);
    }
    return out;
}

using PairList = std::vector<std::pair<std::string, std::string>>;

} // namespace

TEST(CList, BuiltMessageIsSentLastAddedFirst) {
    CList list;
    EXPECT_EQ(list.Encode(), "\x02"s);
    list.AddValue("OPERATION", "QUERY");
    list.AddValue("CONTEXT", "1");
    EXPECT_EQ(list.Encode(), "CONTEXT=1\x01OPERATION=QUERY\x01\x02"s);

    CList received;
    received.AddValue("OPERATION", "RECEIVED");
    EXPECT_EQ(received.Encode().size(), 20u);
}

TEST(CList, DecodeAcceptsOnlyCompleteMessages) {
    struct Case {
        std::string text;
        int result;
        PairList pairs;
    };
    const std::vector<Case> cases = {
        {"", 2, {}},
        {"\x02"s, 2, {}},
        {"=\x01\x02"s, 0, {{"", ""}}},
        {"A=1\x01\x02"s, 0, {{"A", "1"}}},
        {"A=1\x01"s, 2, {}},
        {"A=1"s, 2, {}},
        {"A="s, 2, {}},
        {"A"s, 2, {}},
        {"A=x=y\x01\x02"s, 0, {{"A", "x=y"}}},
        // The terminator ends the message; what follows is not looked at.
        {"A=1\x01"
         "B=2\x01\x02"
         "C=3\x01\x02"s,
         0,
         {{"A", "1"}, {"B", "2"}}},
        {"A=1\x01\x02garbage"s, 0, {{"A", "1"}}},
        // A name may hold 0x01 and 0x02; a value may hold '=' and 0x02.
        {"\x01\x02N=v\x02=\x01\x02"s, 0, {{"\x01\x02N"s, "v\x02="s}}},
        // A second pair cut short spoils the whole message.
        {"A=1\x01"
         "B=2"s,
         2,
         {}},
        {"A=1\x01"
         "B"s,
         2,
         {}},
    };
    for (const Case& c : cases) {
        CList list;
        EXPECT_EQ(list.Decode(c.text), c.result) << testing::PrintToString(c.text);
        EXPECT_EQ(Pairs(list), c.pairs) << testing::PrintToString(c.text);
    }
}

// Only the bytes of the message count, however long the buffer it is a view of, and whatever
// sits just past it; a value a batch reader copies in fixed-size moves can be read that far
// ahead (the sanitized build checks the reads).
TEST(CList, DecodeReadsOnlyItsTextAndValuesCanBeReadAhead) {
    const std::string buffer = "A=123\x01"
                               "B=4\x01\x02"s;
    for (size_t cut = 1; cut < buffer.size() - 1; ++cut) {
        CList list;
        EXPECT_EQ(list.Decode(std::string_view(buffer).substr(0, cut)), 2) << cut;
    }
    std::string longValue(70, 'v');
    CList decoded;
    ASSERT_EQ(decoded.Decode("A=\x01"
                             "B=" +
                             longValue + "\x01\x02"),
              0);
    CList built;
    built.AddValue("A", "");
    built.AddValue("B", "short");
    built.SetValue("B", "");
    built.SetValue("C", longValue);
    for (const CList* list : {&decoded, &built}) {
        for (const RList* node = list->Head(); node != nullptr; node = node->Next) {
            // What is read ahead starts with the text itself.
            for (const std::string_view text : {node->Name, node->Value}) {
                char ahead[CList::ReadAhead];
                std::memcpy(ahead, text.data(), sizeof ahead);
                const size_t shown = std::min(text.size(), sizeof ahead);
                EXPECT_EQ(std::string_view(ahead, shown), text.substr(0, shown));
            }
        }
    }
}

TEST(CList, DecodeReplacesOnSuccessAndKeepsOnFailure) {
    CList list;
    list.AddValue("OLD", "1");
    EXPECT_EQ(list.Decode("A=1\x01"s), 2);
    EXPECT_EQ(Pairs(list), (PairList{{"OLD", "1"}}));
    EXPECT_EQ(list.GetValue("OLD"), "1");

    EXPECT_EQ(list.Decode("A=1\x01\x02"s), 0);
    EXPECT_EQ(Pairs(list), (PairList{{"A", "1"}}));
    EXPECT_EQ(list.GetValue("OLD"), "");
    EXPECT_EQ(list.FindNode("OLD"), nullptr);
}

TEST(CList, DuplicatesResolveToTheFirstFromTheHead) {
    CList decoded;
    ASSERT_EQ(decoded.Decode("A=1\x01"
                             "A=2\x01\x02"s),
              0);
    EXPECT_EQ(decoded.GetValue("A"), "1");

    CList built;
    built.AddValue("A", "1");
    built.AddValue("A", "2");
    EXPECT_EQ(built.GetValue("A"), "2");
    EXPECT_EQ(built.Encode(), "A=2\x01"
                              "A=1\x01\x02"s);
}

TEST(CList, LookupIsExactAndMissingGivesEmpty) {
    CList list;
    list.AddValue("Done", "TRUE");
    list.AddValue("EMPTY", "");
    EXPECT_EQ(list.GetValue("DONE"), "");
    EXPECT_EQ(list.GetValue("Done "), "");
    EXPECT_EQ(list.GetValue("Done"), "TRUE");
    EXPECT_NE(list.FindNode("EMPTY"), nullptr);
    EXPECT_EQ(list.GetValue("EMPTY"), list.GetValue("MISSING"));
}

TEST(CList, SetValueKeepsPlaceOrPutsNewPairFirst) {
    CList list;
    ASSERT_EQ(list.Decode("OPERATION=QUERYITEM\x01"
                          "X=1\x01\x02"s),
              0);
    list.SetValue("OPERATION", "INTERNALERROR");
    EXPECT_EQ(list.Encode(), "OPERATION=INTERNALERROR\x01"
                             "X=1\x01\x02"s);
    list.SetValue("NEW", "v");
    EXPECT_EQ(list.Encode(), "NEW=v\x01OPERATION=INTERNALERROR\x01"
                             "X=1\x01\x02"s);
    EXPECT_EQ(list.GetValue("NEW"), "v");
}

TEST(CList, BytesSurviveTheWireUnchanged) {
    // Every byte value but the separators, NULs and accented letters included.
    std::string value;
    for (int b = 0; b < 256; ++b) {
        if (b != 0x01) {
            value.push_back(static_cast<char>(b));
        }
    }
    std::string name = "N\xE8\0\x02"s;
    CList out;
    out.AddValue(name, value);
    out.AddValue("B", "  spaced  ");
    CList in;
    ASSERT_EQ(in.Decode(out.Encode()), 0);
    EXPECT_EQ(in.GetValue(name), value);
    EXPECT_EQ(in.GetValue("B"), "  spaced  ");
    // Encoding a decoded message gives the received bytes back.
    EXPECT_EQ(in.Encode(), out.Encode());
}

TEST(CList, RawSeparatorsDecodeDifferently) {
    CList out;
    out.AddValue("A=B", "v\x01w=x");
    CList in;
    ASSERT_EQ(in.Decode(out.Encode()), 0);
    EXPECT_EQ(Pairs(in), (PairList{{"A", "B=v"}, {"w", "x"}}));
}

// The index must answer exactly as a walk from the head, whatever mix of operations built the
// list: random names from a small pool force duplicates and replacements.
TEST(CList, IndexAgreesWithWalkThroughEveryOperation) {
    std::mt19937 rng(12345);
    const std::vector<std::string> pool = {"A", "B", "C", "1:1", "1:2", "", "a", "NAME1"};
    CList list;
    for (int step = 0; step < 2000; ++step) {
        const std::string& name = pool[rng() % pool.size()];
        const std::string value = std::to_string(step);
        switch (rng() % 5) {
        case 0:
        case 1:
            list.AddValue(name, value);
            break;
        case 2:
            list.SetValue(name, value);
            break;
        case 3: {
            // Re-decode the list's own wire form, sometimes spoiled.
            std::string text = list.Encode();
            if (rng() % 3 == 0 && text.size() > 1) {
                text.pop_back();
            }
            list.Decode(text);
            break;
        }
        default:
            if (rng() % 50 == 0) {
                list.Destroy();
            }
            break;
        }
        for (const std::string& n : pool) {
            ASSERT_EQ(list.FindNode(n), list.FindNodeByWalk(n)) << "step " << step << " " << n;
        }
    }
}

TEST(CList, DestroyEmptiesAndTheListStaysUsable) {
    CList list;
    list.AddValue("A", "1");
    list.Destroy();
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(list.FindNode("A"), nullptr);
    EXPECT_EQ(list.Encode(), "\x02"s);
    list.AddValue("A", "2");
    EXPECT_EQ(list.GetValue("A"), "2");

    // Moving hands the chain and its lookups over whole.
    CList moved(std::move(list));
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(list.FindNode("A"), nullptr);
    EXPECT_EQ(moved.GetValue("A"), "2");
    CList target;
    target.AddValue("B", "1");
    target = std::move(moved);
    EXPECT_EQ(target.Encode(), "A=2\x01\x02"s);
    EXPECT_EQ(target.FindNode("B"), nullptr);
    EXPECT_TRUE(moved.Empty());
}

namespace {

// A batch of cells "j:r=value" as the server sends it, with a few names repeated.
std::string BigMessage(int pairs) {
    std::string text = "OPERATION=QUERYITEM\x01";
    for (int i = 0; i < pairs; ++i) {
        text += std::to_string(i % 16 + 1) + ":" + std::to_string(i % 700) + "=value " +
                std::to_string(i) + "\x01";
    }
    return text + "\x02";
}

} // namespace

// Many lookups into a large message: whatever the lookups did to speed themselves up, each
// answers as the walk does, before and after pairs are added in front.
TEST(CList, ManyLookupsIntoALargeMessageAgreeWithTheWalk) {
    CList list;
    ASSERT_EQ(list.Decode(BigMessage(11200)), 0);
    ASSERT_EQ(list.Size(), 11201u);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 11200; i += 7) {
            const std::string name = std::to_string(i % 16 + 1) + ":" + std::to_string(i % 700);
            ASSERT_EQ(list.FindNode(name), list.FindNodeByWalk(name)) << name;
            ASSERT_EQ(list.ValueRef(name), list.FindNodeByWalk(name)->Value) << name;
        }
        EXPECT_EQ(list.FindNode("MISSING"), nullptr);
        // Pairs put in front take over their names from here on.
        list.AddValue("3:5", "new" + std::to_string(round));
        EXPECT_EQ(list.GetValue("3:5"), "new" + std::to_string(round));
        EXPECT_EQ(list.FindNode("3:5"), list.Head());
    }
}

// A message costs a handful of allocations whatever its number of pairs.
TEST(CList, DecodeAllocatesPerMessageNotPerValue) {
    const std::string text = BigMessage(16384);
    CList list;
    AllocationsDuring during;
    ASSERT_EQ(list.Decode(text), 0);
    EXPECT_LE(during.Count(), 8u);
}

// Views handed out stay whole while the list grows, is moved or has a value replaced; a
// message short enough to fit inside a string object is the case a moving copy would break.
TEST(CList, ViewsOutliveGrowthMovesAndReplacements) {
    CList list;
    ASSERT_EQ(list.Decode("A=1\x01\x02"s), 0);
    const std::string_view a = list.ValueRef("A");
    RList* const node = list.Head();
    std::vector<std::string_view> added;
    for (int i = 0; i < 300; ++i) {
        list.AddValue("N" + std::to_string(i), std::string(i, 'v'));
        added.push_back(list.Head()->Value);
    }
    CList moved(std::move(list));
    EXPECT_EQ(a, "1");
    EXPECT_EQ(moved.FindNode("A"), node);
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(added[i], std::string(i, 'v'));
    }
    moved.SetValue("A", "longer than before");
    EXPECT_EQ(a, "1");
    EXPECT_EQ(moved.GetValue("A"), "longer than before");
    // A value set from the list's own text.
    moved.SetValue("N5", moved.ValueRef("A"));
    EXPECT_EQ(moved.GetValue("N5"), "longer than before");
}
