#include "registry.h"

#include <cstdio>
#include <cstring>

namespace korvalith {

ImageRegistry& ImageRegistry::instance() {
    static ImageRegistry registry;
    return registry;
}

void ImageRegistry::ensureLock() {
    if (lock_.load(std::memory_order_acquire)) return;
    std::lock_guard guard(lockCreation_);
    if (!lock_.load(std::memory_order_relaxed)) lock_.store(new HostLock, std::memory_order_release);
}

HostLock& ImageRegistry::lock() {
    ensureLock();
    return *lock_.load(std::memory_order_acquire);
}

void ImageRegistry::shutdown() {
    std::lock_guard guard(lockCreation_);
    for (CoreImage* image : images_) delete image;
    images_.clear();
    count_ = 0;
    delete lock_.exchange(nullptr, std::memory_order_acq_rel);
}

namespace {
// Per thread, so a reason always belongs to the caller that failed.
thread_local std::string t_lastFailure;

void noteFailure(const char* path, const std::string& reason) {
    try {
        t_lastFailure = reason.empty() ? std::string(path) + ": cannot be opened" : reason;
    } catch (...) {
        t_lastFailure.clear();
    }
}
}  // namespace

const std::string& ImageRegistry::lastFailure() { return t_lastFailure; }

bool ImageRegistry::isSupportedFile(const char* path) {
    if (!path || !*path) return false;
    codec::Status status = codec::Status::Ok;
    std::string why;
    auto file = codec::File::open(path, &status, &why);
    if (!file) noteFailure(path, why);
    return file && (file->info().reader == codec::Reader::Jpeg2000 || file->info().reader == codec::Reader::Ecw);
}

CoreImage* ImageRegistry::acquireImage(const char* path) {
    if (!path) return nullptr;
    ScopedHostLock guard(lock(), 0);
    for (CoreImage* image : images_) {
        const ImageSource* source = image->source();
        if (source && source->path() && std::strcmp(source->path(), path) == 0) {
            image->refCount++;
            return image;
        }
    }
    if (!*path) {
        noteFailure(path, "an empty file name");
        return nullptr;
    }
    // Opening the file is the test: a file the codec opens is supported,
    // and it is parsed once.
    auto image = std::make_unique<CoreImage>();
    std::string why;
    if (!image->load(path, &why)) {
        noteFailure(path, why);
        return nullptr;
    }
    images_.push_back(image.get());
    count_++;
    return image.release();
}

// Only images in the list are touched: a handle that was already destroyed
// or never registered is ignored instead of written to.
void ImageRegistry::releaseImage(CoreImage* image) {
    if (!image) return;
    ScopedHostLock guard(lock(), 0);
    for (auto it = images_.begin(); it != images_.end(); ++it) {
        if (*it != image) continue;
        if (--image->refCount == 0) {
            delete image;
            images_.erase(it);
            count_--;
        }
        return;
    }
}

void ImageRegistry::addImageRef(CoreImage* image) {
    if (!image) return;
    ScopedHostLock guard(lock(), 0);
    for (CoreImage* i : images_)
        if (i == image) image->refCount++;
}

bool ImageRegistry::replaceImageFile(CoreImage* image, const char* path) {
    if (!image || !path || !isSupportedFile(path)) return false;
    std::string why;
    if (image->load(path, &why)) return true;
    noteFailure(path, why);
    return false;
}

int ImageRegistry::imageIndex(CoreImage* image) {
    if (!image) return -2;
    ScopedHostLock guard(lock(), 0);
    int position = 0;
    for (CoreImage* i : images_) {
        if (i == image) return position;
        ++position;
    }
    return -2;
}

CoreImage* ImageRegistry::imageAt(int position) {
    if (position < 0) return nullptr;
    ScopedHostLock guard(lock(), 0);
    for (CoreImage* image : images_)
        if (position-- == 0) return image;
    return nullptr;
}

const char* ImageRegistry::imageTitle(CoreImage* image) {
    if (!image) return nullptr;
    ScopedHostLock guard(lock(), 0);
    const ImageSource* source = image->source();
    if (!source) return nullptr;
    std::snprintf(image->title, sizeof image->title, "%s (%i)", source->name() ? source->name() : "",
                  image->refCount);
    return image->title;
}

const char* ImageRegistry::choiceName(int index) {
    if (index == 0) return "(none)";
    if (index == 1) return "(load image)";
    CoreImage* image = imageAt(index - 2);
    return image ? imageTitle(image) : nullptr;
}

uint32_t ImageRegistry::memoryUsed(CoreImage* image) {
    if (image) return image->memoryUsed();
    ScopedHostLock guard(lock(), 0);
    uint32_t bytes = 0;
    for (CoreImage* i : images_) bytes += i->memoryUsed();
    return bytes;
}

void ImageRegistry::freeMemory(CoreImage* image) {
    if (image) {
        image->releaseAll();
        return;
    }
    ScopedHostLock guard(lock(), 0);
    for (CoreImage* i : images_) i->releaseAll();
}

}  // namespace korvalith
