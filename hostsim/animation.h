// The stand-in host's channel groups, envelopes and animated parameters ("Animation Envelopes", "Channel Info 2", "LWVParmFuncs 2").
#pragma once

namespace hostsim {

class Host;

class Animation {
public:
    Animation();
    ~Animation();
    Animation(const Animation&) = delete;
    Animation& operator=(const Animation&) = delete;
    // Enters this model's services into the host's service table.
    void registerWith(Host& host);
};

}  // namespace hostsim
