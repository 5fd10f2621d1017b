#include "gui/QtIpAddressCtrl.h"
#include "toolkit/qt/QtIpAddressAdapter.h"

#include <QWidget>

#include <gtest/gtest.h>

namespace pemblor {
namespace {

TEST(QtIpAddressAdapterTest, AdapterOutlivesItsControl)
{
    QWidget window;
    auto* control = new QtIpAddressCtrl(&window);
    QtIpAddressAdapter adapter(control);
    EXPECT_TRUE(adapter.HasWindow());
    adapter.EnableWindow(false);
    EXPECT_FALSE(adapter.IsWindowEnabled());
    delete control;
    EXPECT_FALSE(adapter.HasWindow());
    std::uint32_t value = 5;
    EXPECT_EQ(adapter.GetAddress(value), 0);
    EXPECT_TRUE(adapter.IsBlank());
}

} // namespace
} // namespace pemblor
