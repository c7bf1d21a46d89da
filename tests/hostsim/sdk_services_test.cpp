// The services the modules look up, as sdk/ declares them and this host
// answers them: every table has LightWave's published number of members,
// and the host fills every one of them (a null member would crash a plug-in
// that calls it).
#include <gtest/gtest.h>

#include <cstring>

#include "host.h"
#include "sdk_services.h"

namespace {

TEST(SdkServices, EveryTableHasItsPublishedMembersAndTheHostFillsThemAll) {
    hostsim::Host host;
    for (const SdkService& s : kSdkServices) {
        SCOPED_TRACE(s.name);
        void* answer = hostsim::Host::lookupFunction()(s.name, GFUSE_TRANSIENT);
        if (s.kind == ServiceKind::Word) continue;  // a word may be 0 (Layout's system id)
        if (!answer) {
            ADD_FAILURE() << "the host does not serve it";
            continue;
        }
        if (s.kind == ServiceKind::Function || s.kind == ServiceKind::Record) continue;
        if (s.publishedMembers) {
            EXPECT_EQ(s.size, s.publishedMembers * sizeof(void*));
        }
        const size_t first = s.kind == ServiceKind::VersionAndFunctions ? 1 : 0;
        for (size_t slot = first; slot < s.size / sizeof(void*) - s.plugInMembers; ++slot) {
            void* member = nullptr;
            std::memcpy(&member, static_cast<const char*>(answer) + slot * sizeof(void*), sizeof member);
            EXPECT_NE(member, nullptr) << "member " << slot + 1 << " is null";
        }
    }
}

}  // namespace
