// The host's file dialog for choosing an image file.
#pragma once

#include <string>

namespace korvalith {

// The filter of every image file dialog.
inline constexpr const char* kImageFileFilter = "*.ecw;*.jp2;*.jpf;*.jpx;*.j2c;*.j2k;*.jpc";

// Asks the host's "File Request 2" for an image to load, starting in the
// host's "Images" directory. On confirmation stores the chosen path and
// answers true; a path inside the host's "Content" directory is stored
// relative to it (the prefix and one following separator removed).
bool requestImageFile(const char* title, std::string* chosen);

// The same request with a path and base name to start from (Replace Image
// starts at the image's own file); without them it starts in "Images".
struct ImageFileRequest {
    const char* title = "";
    const char* initialPath = nullptr;
    const char* initialBaseName = nullptr;
};
bool requestImageFile(const ImageFileRequest& request, std::string* chosen);

// The path relative to the content directory when it lies below it (at a
// separator boundary); any other path whole.
std::string contentRelative(const std::string& path, const std::string& contentDirectory);

}  // namespace korvalith
