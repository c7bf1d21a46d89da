// Two render threads evaluating one graph at once: a texture node whose
// inputs are fed per spot by host nodes gives every spot what a single
// thread gives it, and no thread's inputs reach the other's spots.
#include <thread>
#include <vector>

#include "texture_node_fixture.h"

namespace {

using TextureNodeThreads = TextureNodeFixture;

TEST_F(TextureNodeThreads, TwoThreadsEvaluatingOneGraphGiveWhatOneThreadGives) {
    NodeID node = textureNode(image("noise.jp2", 640, 520, 4, testfiles::noisePattern(2)));
    feedScalar(node, "U Tiles", 3);
    feedScalar(node, "Opacity", 0.4);
    feedColour(node, "BG Colour", {0.3, 0.6, 0.9});
    ASSERT_TRUE(openPanel(node)->setInt(0x9102, 2));
    startPass();
    const char* const outputs[] = {"Colour", "RGB", "Alpha", "Normal", "Bump"};
    std::vector<nodetest::Vec> spots;
    for (int i = 0; i < 200; ++i) spots.push_back({0.01 * (i % 17) - 0.08, 0.004 * i - 0.4, 0.3 - 0.003 * i});
    // What one thread gives, spot by spot and output by output.
    std::vector<std::array<double, 3>> expected;
    for (const auto& p : spots)
        for (const char* o : outputs) {
            std::array<double, 3> v{};
            ASSERT_TRUE(value(node, o, spot(p), v.data()));
            expected.push_back(v);
        }
    std::vector<int> mismatches(2, 0);
    auto run = [&](int thread) {
        for (int round = 0; round < 20; ++round)
            for (size_t s = 0; s < spots.size(); ++s) {
                // The threads walk the spots in opposite orders.
                const size_t i = thread == 0 ? s : spots.size() - 1 - s;
                for (size_t o = 0; o < std::size(outputs); ++o) {
                    std::array<double, 3> v{};
                    LWNodalAccess a = spot(spots[i]);
                    if (!graph().evaluate(node, outputs[o], a, v.data()) || v != expected[i * std::size(outputs) + o])
                        ++mismatches[thread];
                }
            }
    };
    std::thread first(run, 0), second(run, 1);
    first.join();
    second.join();
    EXPECT_EQ(mismatches, (std::vector<int>{0, 0}));
}

}  // namespace
