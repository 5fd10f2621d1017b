// The receive path allocates nothing per datagram: every allocation made on a
// thread other than the test's own is counted while counting is on.
#include "ConversationFixture.h"

#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
std::thread::id g_testThread;

void Count()
{
    if (g_counting.load(std::memory_order_relaxed) && std::this_thread::get_id() != g_testThread)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

// These replace the global allocation functions, so free() of what the
// replaced operator new returned is the matching call.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    Count();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace pemblor::test {
namespace {

TEST_F(ConversationTest, ReceivePathAllocatesNothingPerDatagram)
{
    g_testThread = std::this_thread::get_id();
    OpenWindow();
    window->recordRows = false;
    TestDialog dialog(ui);
    ui.Open(dialog, IDD_SETUPIP);

    // Warm-up: the first datagram of each kind may set up what lasts.
    window->Discover();
    ap.Send(DiscoveryReply(1));
    ui.Advance(5000);
    window->AttachSetupIpDlg(&dialog, "");
    window->m_nState = QueryingDetail;
    ap.Send(DetailReply(1));
    ui.Advance(10);

    const int rounds = 250;
    g_allocations = 0;
    g_counting = true;
    for (int i = 0; i < rounds; ++i) {
        window->m_nState = Discovering;
        ap.Send(DiscoveryReply(static_cast<std::uint8_t>(i)));
        ap.Send(EncodeDatagram(TypeQuery, Mac(0), "", "", {"flash get SSID"}));
        ui.Advance(1);
        window->m_nState = QueryingDetail;
        ap.Send(DetailReply(1));
        ui.Advance(1);
        window->m_nState = AwaitingSetResult;
        ap.Send(CommandReply(0));
        ui.Advance(1);
        window->m_nState = Idle;
        ap.Send(DiscoveryReply(2));
        ui.Advance(1);
    }
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0) << "allocations on the receive thread for " << rounds * 5 << " datagrams";
    EXPECT_EQ(dialog.fills, rounds + 1);

    // The counter sees the receive thread: keeping rows does allocate.
    window->recordRows = true;
    window->m_nState = Discovering;
    g_allocations = 0;
    g_counting = true;
    ap.Send(DiscoveryReply(9));
    ui.Advance(1);
    g_counting = false;
    EXPECT_GT(g_allocations.load(), 0);
    window->DetachSetupIpDlg();
}

} // namespace
} // namespace pemblor::test
