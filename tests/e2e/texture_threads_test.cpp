// One texture instance evaluated from several render threads at once while
// its image's tiles are being read; every thread sees what one thread sees.
#include <thread>
#include <vector>

#include "texture_fixture.h"

namespace {

using TextureThreads = TextureFixture;

TEST_F(TextureThreads, ConcurrentEvaluationsMatchSerialOnes) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(*this, core, panel, image("threads.jp2", 2048, 1024));
    handler.rend->init(instance, LWINIT_RENDER);
    handler.rend->newTime(instance, 0, 0.0);

    constexpr int kSpots = 4000;
    auto spot = [](int i) {
        LWTextureAccess a{};
        a.tPos[0] = (i * 37 % 1000) / 1000.0 - 0.5;
        a.tPos[1] = (i * 91 % 1000) / 1000.0 - 0.5;
        a.wPos[2] = 1 + (i % 7);
        a.size[0] = a.size[1] = a.size[2] = 1;
        a.axis = 2;
        a.spotSize = 0.01;
        a.flags = i % 3 == 0 ? LWTXEF_COLOR : i % 3 == 1 ? LWTXEF_VECTOR : 0;
        return a;
    };
    std::vector<double> parallel[2];
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kSpots; ++i) {
                LWTextureAccess a = spot(t ? kSpots - 1 - i : i);
                parallel[t].push_back(handler.evaluate(instance, &a) + a.txRGBA[0] + a.txGrad[0]);
            }
        });
    for (auto& th : threads) th.join();
    for (int i = 0; i < kSpots; ++i) {
        LWTextureAccess a = spot(i);
        const double serial = handler.evaluate(instance, &a) + a.txRGBA[0] + a.txGrad[0];
        EXPECT_EQ(parallel[0][static_cast<size_t>(i)], serial) << i;
        EXPECT_EQ(parallel[1][static_cast<size_t>(kSpots - 1 - i)], serial) << i;
    }
    handler.rend->cleanup(instance);
    destroy(instance);
}

}  // namespace
