// The scene's texture UV maps ('TXUV') as the "UVMap" popup lists them:
// "(none)" first, then every map by name. Holds "Scene Objects 4" for its
// lifetime.
#pragma once

#include "host_access.h"
#include "lwmeshes.h"

namespace korvalith {

class UVMapList {
public:
    UVMapList();
    ~UVMapList();
    UVMapList(const UVMapList&) = delete;
    UVMapList& operator=(const UVMapList&) = delete;

    // 1 + the number of maps; 1 when the host has no object service.
    int count() const;
    // "(none)" for 0 and for positions past the maps; the host's name else.
    const char* name(int i) const;

private:
    HostService<LWObjectFuncs> objects_;
};

// Popup functions whose data is a UVMapList.
int uvMapListCount(void* list);
const char* uvMapListName(void* list, int index);

}  // namespace korvalith
