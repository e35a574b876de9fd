#include "TraceSamples.h"
#include "trace/TraceFilter.h"
#include "trace/TraceRing.h"
#include "trace/TraceView.h"

#include <gtest/gtest.h>

#include <string>

namespace tellvane {
namespace {

// PDU2 from 21, priority 6; PDU1 from the tool to 21; a standard frame; PDU2 from 00, priority 3.
const TraceFrame kFrames[] = {
    test::frame(0, 0x18FEF121, {0x01, 0x02, 0x3A, 0x44}),
    test::frame(0, 0x18EF21F9, {0x01, 0xFF, 0x30}, TraceFrame::Extended | TraceFrame::Sent),
    test::frame(0, 0x123, {0x01}, 0),
    test::frame(0, 0x0CF00400, {0, 1, 2, 3, 4, 5, 6, 7}),
};

std::string matches(const TraceFilter& filter)
{
    std::string s;
    for (const TraceFrame& f : kFrames)
        s += filter.matches(f) ? '1' : '0';
    return s;
}

TEST(TraceFilter, ConditionsAgainstFrames)
{
    const struct {
        const char* expression;
        const char* expected;  // one digit per frame of kFrames
    } cases[] = {
        {"", "1111"},
        {"   ", "1111"},
        {"id=18FEF100/1FFFFF00", "1000"},
        {"id=0x18fef121", "1000"},
        {"id=0/0", "1111"},
        {"id=100-1FF", "0010"},
        {"id=123-123", "0010"},
        {"pgn=FEF1", "1000"},
        {"pgn=EF00", "0100"},  // a PDU1 group: the destination is no part of it
        {"src=21", "1000"},
        {"src=F9", "0100"},
        {"dst=21", "0100"},
        {"dst=FF", "1001"},
        {"prio=6", "1100"},
        {"prio=0x3", "0001"},
        {"rx", "1011"},
        {"TX", "0100"},
        {"!tx", "1011"},
        {"not rx", "0100"},
        {"! rx", "0100"},
        {"!src=21", "0111"},  // a standard frame has no source, so it is not from 21
        {"data=01 ?? 3?", "1100"},
        {"data=01??3A", "1000"},
        {"data=01", "1110"},
        {"not data=01", "0001"},
        {"data=?? ?? ?? ?? ?? ?? ?? ??", "0001"},
        {"data=0? 0? 0?  rx", "0001"},
        {"data=01 ?? rx", "1000"},
        {"pgn=FEF1 !src=21", "0000"},
        {"rx dst=FF and prio=3", "0001"},
        {"and !tx and data=01", "1010"},
        {"RX ID=123", "0010"},
    };
    for (const auto& c : cases) {
        TraceFilterError error;
        const auto filter = TraceFilter::parse(QString::fromLatin1(c.expression), &error);
        ASSERT_TRUE(filter.has_value()) << c.expression << ": " << error.message.toStdString();
        EXPECT_EQ(matches(*filter), c.expected) << c.expression;
    }
}

TEST(TraceFilter, RefusalsNameTheFieldAndPosition)
{
    const struct {
        const char* expression;
        const char* field;
        int position;
    } cases[] = {
        {"id=", "id", 4},
        {"id=20000000", "id", 4},
        {"id=123456789", "id", 4},
        {"id=0x", "id", 6},
        {"id=12G", "id", 6},
        {"id=1FF-100", "id", 8},
        {"id=100/", "id", 8},
        {"pgn=40000", "pgn", 5},
        {"src=100", "src", 5},
        {"rx dst=-1", "dst", 8},
        {"prio=8", "prio", 6},
        {"src 21", "src", 4},
        {"foo=1", "foo", 1},
        {"rx tx2", "tx2", 4},
        {"rx, tx", "rx", 3},
        {"!", "filter", 2},
        {"data=", "data", 6},
        {"data=0", "data", 6},
        {"data=012", "data", 8},
        {"data=01 02 03 04 05 06 07 08 09", "data", 30},
        {"data=01 0G", "data", 9},
        {"rx msg=", "msg", 8},
    };
    for (const auto& c : cases) {
        TraceFilterError error;
        EXPECT_FALSE(TraceFilter::parse(QString::fromLatin1(c.expression), &error).has_value()) << c.expression;
        EXPECT_EQ(error.field.toStdString(), c.field) << c.expression;
        EXPECT_EQ(error.position, c.position) << c.expression;
        const std::string message = error.message.toStdString();
        EXPECT_EQ(message.rfind(std::string(c.field) + ": ", 0), 0u) << message;
        EXPECT_NE(message.find("position " + std::to_string(c.position)), std::string::npos) << message;
        EXPECT_EQ(message.find('\0'), std::string::npos) << "the end of the text is no character";
    }
}

TEST(TraceFilter, AViewKeepsItsFilterWhenANewOneIsRefused)
{
    TraceRing ring(8);
    for (const TraceFrame& f : kFrames)
        ring.append(f);
    TraceView view(ring);
    ASSERT_FALSE(view.setFilterExpression(u"src=21").has_value());
    ASSERT_EQ(view.size(), 1u);
    const auto error = view.setFilterExpression(u"src=21 prio=9");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->field, QStringLiteral("prio"));
    EXPECT_EQ(view.filter().expression(), QStringLiteral("src=21"));
    EXPECT_EQ(view.size(), 1u);
}

}  // namespace
}  // namespace tellvane
