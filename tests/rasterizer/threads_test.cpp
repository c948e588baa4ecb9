#include "raster_kit.h"

#include "kit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <thread>
#include <vector>

namespace {

using raster::Shape;

struct Usage {
    DWORD handles = 0;
    SIZE_T private_bytes = 0;
};

Usage usage()
{
    return {kit::own_handles(), kit::private_bytes()};
}

// Each call starts and stops GDI+ on its own; calls on many threads at once must neither
// disturb one another nor leave handles or memory behind.
TEST(Threads, ConcurrentCallsSucceedAndLeaveNothingBehind)
{
    constexpr int threads = 8;
    constexpr int calls = 25;
    std::wstring dir = kit::scratch_dir(L"threads");
    std::wstring emf = dir + L"\\picture.emf";
    raster::write_emf(emf, 480, 360, 96, 96,
                      {{Shape::Kind::rectangle, {20, 20, 200, 100}, RGB(200, 30, 30)},
                       {Shape::Kind::ellipse, {250, 150, 450, 340}, RGB(30, 120, 200)},
                       {Shape::Kind::triangle, {50, 150, 230, 340}, RGB(20, 160, 60)}});
    ASSERT_TRUE(raster::call_vecraster(emf, dir + L"\\warm-up.png", 0).is_null);
    // One round of threads first, so that the C runtime's and Wine's per-thread bookkeeping has
    // reached its steady size before the measurement.
    std::thread([&] { raster::call_vecraster(emf, dir + L"\\warm-up2.png", 150); }).join();
    Usage before = usage();

    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < calls; ++i) {
                std::wstring out = dir + L"\\t" + std::to_wstring(t) + L"_" + std::to_wstring(i) + L".png";
                raster::CallResult result = raster::call_vecraster(emf, out, i % 2 == 0 ? 96.0 : 150.0);
                if (!result.is_null || !kit::file_present(out))
                    ++failures;
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(failures.load(), 0);

    Usage after = usage();
    ASSERT_NE(before.handles, 0u) << "no handle count";
    ASSERT_NE(before.private_bytes, 0u) << "no private bytes";
    std::cout << "handles " << before.handles << " -> " << after.handles << ", private bytes "
              << before.private_bytes << " -> " << after.private_bytes << "\n";
    EXPECT_LE(after.handles, before.handles + 4u);
    EXPECT_LE(after.private_bytes, before.private_bytes + 4u * 1024u * 1024u);

    std::optional<raster::ImageInfo> last = raster::image_info(dir + L"\\t7_24.png");
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->width, 480u);
}

}  // namespace
