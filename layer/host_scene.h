// The scene as the layers read it through the host's item, scene, camera
// and object services, each looked up transiently. Every query answers
// "nothing" when the host lacks the service.
#pragma once

#include "lwrender.h"

namespace korvalith::scene {

enum ItemVector : int { kPosition = 1, kRight = 2, kUp = 3, kForward = 4, kWorldPosition = 8 };

LWItemID firstItem(int type);
LWItemID nextItem(LWItemID item);
LWItemID parent(LWItemID item);
const char* itemName(LWItemID item);
// False (and out zero) without the service.
bool itemVector(LWItemID item, int param, double time, double out[3]);

LWItemID renderCamera(double time);

struct CameraPose {
    double right[3], up[3], forward[3], position[3];
    double zoom;
};
bool cameraPose(LWItemID camera, double time, CameraPose* pose);
bool fieldOfView(LWItemID camera, double time, double* horizontal, double* vertical);

struct FrameInfo {
    int width, height;
    double pixelAspect;
};
bool frameInfo(FrameInfo* info);

// The host's texture UV maps.
int uvMapCount();
const char* uvMapName(int index);

}  // namespace korvalith::scene
