// Several links at once on real ptys, beside the program's own (Comm): each
// delivers its own port's bytes, a port is exclusive across links, and a
// link can go while its reader waits in a hand-off, leaving the others be.
#include "Comm.h"
#include "CommPty.h"
#include "SourceLink.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Received {
    std::vector<uint8_t> bytes;
    int lost = 0;
    CommHandlers Handlers()
    {
        return {[this](const uint8_t* b, int n) { bytes.insert(bytes.end(), b, b + n); }, {}, [this] { ++lost; }};
    }
};

std::vector<uint8_t> Filled(size_t n, uint8_t value) { return std::vector<uint8_t>(n, value); }

TEST(SourceLinks, EachDeliversItsOwnPortBesideTheProgramsLink)
{
    TestPty ptys[3];
    Received got[3];
    SourceLink a, b;
    a.SetHandlers(got[0].Handlers());
    b.SetHandlers(got[1].Handlers());
    SetCommHandlers(got[2].Handlers());
    ASSERT_TRUE(a.Open(ptys[0].path, 9600, 0));
    ASSERT_TRUE(b.Open(ptys[1].path, 115200, 1));
    ASSERT_TRUE(OpenPort(ptys[2].path, 4800, 0));
    // A port one link holds is refused to every other.
    SourceLink c;
    EXPECT_FALSE(c.Open(ptys[0].path, 9600, 0));
    EXPECT_FALSE(OpenPort(ptys[1].path, 9600, 0));
    ASSERT_TRUE(OpenPort(ptys[2].path, 4800, 0));

    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(ptys[i].Send(Filled(5000 + 1000 * i, uint8_t('a' + i))));
    ASSERT_TRUE(WaitFor([&] {
        return got[0].bytes.size() == 5000 && got[1].bytes.size() == 6000 && got[2].bytes.size() == 7000;
    }));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(got[i].bytes, Filled(5000 + 1000 * i, uint8_t('a' + i))) << i;

    // One port hangs up: only its link hears it.
    ptys[0].Hangup();
    ASSERT_TRUE(WaitFor([&] { return got[0].lost == 1; }));
    EXPECT_EQ(got[1].lost + got[2].lost, 0);
    ASSERT_TRUE(ptys[1].Send(Filled(100, 'x')));
    ASSERT_TRUE(WaitFor([&] { return got[1].bytes.size() == 6100; }));
    ClosePort();
    SetCommHandlers({});
}

TEST(SourceLinks, ALinkGoesWhileItsReaderWaitsInAHandOff)
{
    TestPty ptys[2];
    Received got[2];
    auto a = std::make_unique<SourceLink>();
    SourceLink b;
    a->SetHandlers(got[0].Handlers());
    b.SetHandlers(got[1].Handlers());
    ASSERT_TRUE(a->Open(ptys[0].path, 9600, 0));
    ASSERT_TRUE(b.Open(ptys[1].path, 9600, 0));
    ASSERT_TRUE(ptys[0].Send(Filled(3000, 'a')));
    // Its block is posted to the main thread, which does not take it. A
    // loaded machine may hand the pty's bytes over in parts: the reader then
    // waits in the hand-off of the first part with the rest unread.
    ASSERT_TRUE(WaitWithoutEvents([&] { return ptys[0].Unread() < 3000; }));
    WaitWithoutEvents([] { return false; }, 100);
    a.reset();
    EXPECT_TRUE(got[0].bytes.empty());
    RunEvents(50);   // nothing of the gone link is delivered later
    EXPECT_TRUE(got[0].bytes.empty());
    ASSERT_TRUE(ptys[1].Send(Filled(2000, 'b')));
    ASSERT_TRUE(WaitFor([&] { return got[1].bytes.size() == 2000; }));
    EXPECT_EQ(got[1].bytes, Filled(2000, 'b'));
    // The port is free again.
    SourceLink again;
    EXPECT_TRUE(again.Open(ptys[0].path, 9600, 0));
}

} // namespace
