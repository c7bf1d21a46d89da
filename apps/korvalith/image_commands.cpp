// `korvalith info` and `korvalith sample`: both reach the image core only
// through the global service of the loaded KorvalithPro module.
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "core_services.h"
#include "image_information.h"
#include "pyramid_geometry.h"
#include "session.h"

namespace korvalith::app {

namespace {

// The core services of the loaded module, held for the command's run.
class CoreAccess {
public:
    explicit CoreAccess(Session& session) {
        auto* lookup = hostsim::Host::lookupFunction();
        core_ = static_cast<const CoreServices*>(lookup(KORVALITH_CORE_SERVICES, GFUSE_ACQUIRE));
        if (!core_) throw hostsim::HostError("KorvalithPro does not answer \"" KORVALITH_CORE_SERVICES "\"");
        if (core_->apiVersion() != KORVALITH_CORE_API_VERSION)
            throw hostsim::HostError("KorvalithPro answers with an incompatible core services version");
        (void)session;
    }
    ~CoreAccess() {
        if (image_) core_->releaseImage(image_);
        hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_RELEASE);
    }
    const CoreServices& core() const { return *core_; }

    // The image, or an error with the core's reason (which begins with the path).
    KorvalithImage* open(const std::string& path) {
        image_ = core_->acquireImage(path.c_str());
        if (image_) return image_;
        const char* reason = core_->lastError(nullptr);
        throw hostsim::HostError(reason && *reason ? std::string(reason) : path + ": cannot be opened");
    }

    // Fails with the file's reason when a tile read since `before` failed:
    // the values printed would not be the image's.
    void checkReads(const KorvalithStatistics& before) const {
        KorvalithStatistics now{};
        core_->statistics(&now);
        if (now.failedTileReads == before.failedTileReads) return;
        const char* reason = core_->lastError(image_);
        throw hostsim::HostError(std::string("reading the image failed: ") +
                                 (reason && *reason ? reason : "the codec gave no reason"));
    }

private:
    const CoreServices* core_ = nullptr;
    KorvalithImage* image_ = nullptr;
};

}  // namespace

int runInfo(const std::string& moduleDir, const std::string& path, std::ostream& out) {
    Session session(moduleDir);
    CoreAccess access(session);
    const CoreServices& core = access.core();
    KorvalithImage* image = access.open(path);

    for (const std::string& line : imageInformationLines(core, image)) out << line << "\n";
    KorvalithFileFacts facts{};
    if (core.fileFacts(image, &facts)) {
        out << "Codestream: " << facts.resolutionLevels << " resolution levels, tiles of " << facts.codestreamTileWidth
            << " x " << facts.codestreamTileHeight << " (" << facts.codestreamTilesX << " x " << facts.codestreamTilesY
            << "), " << facts.precision << (facts.isSigned ? "-bit signed" : "-bit") << " samples\n";
        if (facts.iccProfileBytes)
            out << "Colour profile: embedded ICC profile of " << facts.iccProfileBytes
                << " bytes; colours are delivered as stored, the profile is not applied\n";
    }
    out << "Channels:\n";
    for (int i = 0; i < core.channelChoiceCount(image); ++i)
        out << "  " << i << ": " << core.channelChoiceName(image, i) << "\n";

    const PyramidGeometry g = pyramidGeometry(core.imageWidth(image), core.imageHeight(image));
    out << "Pyramid: " << g.levels << " levels, tiles of " << g.tileWidth << " x " << g.tileHeight << "\n";
    for (int a = 0; a < g.levels; ++a) {
        const int f = 1 << (g.levels - 1 - a);
        const int side = 1 << a;
        out << "  level " << a << ": factor " << f << ", " << core.imageWidth(image) / f << " x "
            << core.imageHeight(image) / f << " pixels, " << side << " x " << side << " tiles\n";
    }
    return 0;
}

int runSample(const std::string& moduleDir, const SampleRequest& request, std::ostream& out) {
    Session session(moduleDir);
    CoreAccess access(session);
    const CoreServices& core = access.core();
    KorvalithImage* image = access.open(request.path);
    if (request.channel < 0 || request.channel >= core.channelChoiceCount(image))
        throw hostsim::HostError("channel " + std::to_string(request.channel) + " does not exist: the image has " +
                                 std::to_string(core.channelChoiceCount(image)) + " channel choices");

    KorvalithStatistics before{};
    core.statistics(&before);
    char line[256];
    if (request.gradient) {
        float dx = 0, dy = 0;
        const float coverage = core.sampleGradient(image, request.uv, request.footprint, request.blend,
                                                   request.channel, &dx, &dy, request.wrap[0], request.wrap[1]);
        std::snprintf(line, sizeof line, "dx %.6f\ndy %.6f\ncoverage %.6f\n", dx, dy, coverage);
    } else {
        float rgba[4] = {0, 0, 0, 0};
        float scalar = NAN;
        const float coverage = core.sampleImage(image, request.uv, request.footprint, request.blend, request.channel,
                                                rgba, &scalar, request.wrap[0], request.wrap[1]);
        char scalarText[32] = "-";
        if (!std::isnan(scalar)) std::snprintf(scalarText, sizeof scalarText, "%.6f", scalar);
        std::snprintf(line, sizeof line, "rgba %.6f %.6f %.6f %.6f\nscalar %s\ncoverage %.6f\n", rgba[0], rgba[1],
                      rgba[2], rgba[3], scalarText, coverage);
    }
    access.checkReads(before);
    out << line;
    return 0;
}

}  // namespace korvalith::app
