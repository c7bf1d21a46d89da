#include "image_file_request.h"

#include "content_path.h"
#include "host_access.h"
#include "lwhost.h"
#include "lwserver.h"
#include "path_separator.h"

namespace korvalith {

namespace {
constexpr int kBufferLength = 260;

std::string directory(const char* type) {
    auto* dirInfo = reinterpret_cast<LWDirInfoFunc*>(lookupService(LWDIRINFOFUNC_GLOBAL, GFUSE_TRANSIENT));
    const char* dir = dirInfo ? dirInfo(type) : nullptr;
    return dir ? dir : "";
}
}  // namespace

std::string contentRelative(const std::string& path, const std::string& contentDirectory) {
    const auto below = pathBelow(path, contentDirectory, kPathSeparator);
    return below && !below->empty() ? *below : path;
}

bool requestImageFile(const char* title, std::string* chosen) {
    ImageFileRequest request;
    request.title = title;
    return requestImageFile(request, chosen);
}

bool requestImageFile(const ImageFileRequest& request, std::string* chosen) {
    auto* activate = reinterpret_cast<LWFileActivateFunc*>(lookupService(LWFILEACTIVATEFUNC_GLOBAL, GFUSE_TRANSIENT));
    if (!activate) return false;
    char path[kBufferLength] = {};
    char baseName[kBufferLength] = {};
    char fullName[kBufferLength] = {};
    if (request.initialPath)
        std::string(request.initialPath).copy(path, kBufferLength - 1);
    else
        directory("Images").copy(path, kBufferLength - 1);
    if (request.initialBaseName) std::string(request.initialBaseName).copy(baseName, kBufferLength - 1);
    LWFileReqLocal local{};
    local.reqType = FREQ_LOAD;
    local.title = request.title;
    local.fileType = kImageFileFilter;
    local.path = path;
    local.baseName = baseName;
    local.fullName = fullName;
    local.bufLen = kBufferLength;
    if (activate(LWFILEREQ_VERSION, &local) != 0 || local.result != 1) return false;
    *chosen = contentRelative(fullName, directory("Content"));
    return true;
}

}  // namespace korvalith
