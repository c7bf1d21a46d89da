// The stand-in host's the scene: items, cameras, textures and their layers, instance updates and commands.
#pragma once

namespace hostsim {

class Host;

class Scene {
public:
    Scene();
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    // Enters this model's services into the host's service table.
    void registerWith(Host& host);
};

}  // namespace hostsim
