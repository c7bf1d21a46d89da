// One shader instance evaluated from several render threads at once while
// its image's tiles are being read; every thread sees what one thread sees.
#include <thread>
#include <vector>

#include "shader_fixture.h"

namespace {

using ShaderThreads = ShaderFixture;

TEST_F(ShaderThreads, ConcurrentEvaluationsMatchSerialOnes) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(panel, image("threads.jp2", 2048, 1024));
    handler.rend->init(instance, LWINIT_RENDER);
    handler.rend->newTime(instance, 0, 0.0);

    constexpr int kSpots = 3000;
    // Colour, a scalar channel and the bump, each needing its own sample.
    auto spot = [&](int i) {
        LWShaderAccess a{};
        a.oPos[0] = (i * 37 % 1000) / 1000.0 - 0.5;
        a.oPos[1] = (i * 91 % 1000) / 1000.0 - 0.5;
        a.rayLength = 1 + (i % 7);
        a.sourceID = i % 5 == 0 ? object : camera;
        a.objID = object;
        for (int k = 0; k < 9; ++k) a.oXfrm[k] = k % 4 == 0 ? 1 : 0;
        a.wNorm0[2] = 1;
        return a;
    };
    auto result = [](const LWShaderAccess& a) {
        return a.color[0] + a.color[1] + a.luminous + a.wNorm[0] + a.wNorm[1] + a.wNorm[2];
    };
    const int channels[] = {0, 1, 9};
    for (int channel : channels) {
        SCOPED_TRACE(channel);
        SET_INT(panel, 0x9113, channel);
        std::vector<double> parallel[3];
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < kSpots; ++i) {
                    LWShaderAccess a = spot(t == 1 ? kSpots - 1 - i : i);
                    handler.evaluate(instance, &a);
                    parallel[t].push_back(result(a));
                }
            });
        for (auto& th : threads) th.join();
        for (int i = 0; i < kSpots; ++i) {
            LWShaderAccess a = spot(i);
            handler.evaluate(instance, &a);
            const double serial = result(a);
            EXPECT_EQ(parallel[0][static_cast<size_t>(i)], serial) << i;
            EXPECT_EQ(parallel[1][static_cast<size_t>(kSpots - 1 - i)], serial) << i;
            EXPECT_EQ(parallel[2][static_cast<size_t>(i)], serial) << i;
        }
    }
    handler.rend->cleanup(instance);
    destroy(instance);
}

}  // namespace
