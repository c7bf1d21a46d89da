// The process-wide list of registered images. Images are shared by path:
// acquiring a registered path raises its reference count; the last release
// destroys the image.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <atomic>
#include <mutex>
#include <string>

#include "core_image.h"
#include "host_lock.h"

namespace korvalith {

class ImageRegistry {
public:
    static ImageRegistry& instance();

    // Builds the registry lock once; it lives until the module shuts down.
    void ensureLock();
    // Destroys every image still registered and the lock, when the module
    // is unloaded: nothing can reach them afterwards.
    void shutdown();

    CoreImage* acquireImage(const char* path);
    void releaseImage(CoreImage* image);
    void addImageRef(CoreImage* image);
    bool replaceImageFile(CoreImage* image, const char* path);
    static bool isSupportedFile(const char* path);
    // Why this thread's last acquireImage, replaceImageFile or
    // isSupportedFile failed: the codec's reason, beginning with the path.
    static const std::string& lastFailure();

    int imageCount() const { return static_cast<int>(count_); }
    int imageIndex(CoreImage* image);
    CoreImage* imageAt(int position);
    const char* imageTitle(CoreImage* image);
    int choiceCount() const { return imageCount() + 2; }
    const char* choiceName(int index);

    // Bytes held by the image, or by all images for null (wraps at 4 GiB).
    uint32_t memoryUsed(CoreImage* image);
    // Frees everything cached for the image, or for all images for null.
    void freeMemory(CoreImage* image);

private:
    ImageRegistry() = default;
    HostLock& lock();

    std::mutex lockCreation_;
    std::atomic<HostLock*> lock_{nullptr};
    std::list<CoreImage*> images_;
    int64_t count_ = 0;
};

}  // namespace korvalith
