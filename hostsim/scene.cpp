#include "scene.h"

#include "host.h"

namespace hostsim {

Scene::Scene() = default;
Scene::~Scene() = default;

void Scene::registerWith(Host&) {}

}  // namespace hostsim
