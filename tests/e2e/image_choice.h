// Picks a registered image in a layer panel's "Image" popup, as a user does.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core_services.h"
#include "xpanels.h"

inline void chooseImage(const CoreServices* core, hostsim::ViewPanel* panel, const std::string& path) {
    KorvalithImage* shown = core->acquireImage(path.c_str());
    ASSERT_NE(shown, nullptr) << path;
    ASSERT_TRUE(panel->setInt(0x9000, core->imageIndex(shown) + 2));
    core->releaseImage(shown);  // the layer holds its own reference now
}
