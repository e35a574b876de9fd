#include "trace/TraceRing.h"
#include "trace/TraceView.h"

#include <gtest/gtest.h>

namespace tellvane {
namespace {

TraceFrame numbered(int i, std::int64_t timeUs = 0)
{
    TraceFrame f;
    f.id = i % 2 == 0 ? 0x18FEF121 : 0x18FEF122;
    f.length = 1;
    f.data[0] = static_cast<std::uint8_t>(i);
    f.timeUs = timeUs;
    return f;
}

TEST(TraceView, FollowsTheRingAroundWhetherUpdatedEachFrameOrAtOnce)
{
    for (const bool eachFrame : {true, false}) {
        SCOPED_TRACE(eachFrame ? "each frame" : "at once");
        TraceRing ring(8);
        TraceView view(ring);
        ASSERT_FALSE(view.setFilterExpression(u"src=21").has_value());
        for (int i = 0; i < 20; ++i) {
            ring.append(numbered(i));
            if (eachFrame)
                view.update();
        }
        view.update();
        // The ring holds frames 12 to 19; of those, the even ones are from 21.
        EXPECT_EQ(ring.firstSequence(), 12u);
        ASSERT_EQ(view.size(), 4u);
        for (std::size_t row = 0; row < 4; ++row)
            EXPECT_EQ(view.frameAt(row).data[0], 12 + 2 * row);
        EXPECT_EQ(view.rowsTakenIn() - view.rowsLetGo(), 4u);
        EXPECT_EQ(view.rowAtOrAfter(15), 2u);
        EXPECT_EQ(view.rowAtOrAfter(99), 4u);
    }
}

TEST(TraceView, SearchesForwardAndBackFromARow)
{
    TraceRing ring(8);
    TraceView view(ring);
    for (int i = 0; i < 20; ++i)
        ring.append(numbered(i));
    view.update();  // every frame: 12 to 19 in rows 0 to 7
    const TraceFilter odd = *TraceFilter::parse(u"src=22");
    const TraceFilter sixteen = *TraceFilter::parse(u"data=10");
    EXPECT_EQ(view.findNext(-1, odd), 1u);
    EXPECT_EQ(view.findNext(1, odd), 3u);
    EXPECT_EQ(view.findNext(7, odd), std::nullopt);
    EXPECT_EQ(view.findPrevious(-1, odd), 7u);
    EXPECT_EQ(view.findPrevious(7, odd), 5u);
    EXPECT_EQ(view.findPrevious(1, odd), std::nullopt);
    EXPECT_EQ(view.findNext(-1, sixteen), 4u);
    EXPECT_EQ(view.findPrevious(100, sixteen), 4u);

    // A smaller ring keeps the newest frames under their numbers, a larger
    // one keeps them all and takes more.
    ring.setCapacity(4);
    view.rebuild();
    ASSERT_EQ(view.size(), 4u);
    EXPECT_EQ(view.frameAt(0).data[0], 16);
    EXPECT_EQ(view.sequenceAt(0), 16u);
    EXPECT_EQ(view.findNext(-1, odd), 1u);
    ring.setCapacity(6);
    view.rebuild();
    EXPECT_EQ(view.size(), 4u);
    for (int i = 0; i < 3; ++i)
        ring.append(numbered(i));
    view.update();
    ASSERT_EQ(view.size(), 6u);
    EXPECT_EQ(view.frameAt(0).data[0], 17);
    EXPECT_EQ(view.frameAt(5).data[0], 2);
    EXPECT_EQ(ring.bytesReserved(), 6 * sizeof(TraceFrame));
}

}  // namespace
}  // namespace tellvane
