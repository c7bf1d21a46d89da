// A file path kept relative to one of the host's directory types ("Images",
// "Content", ...). A path below the directory of its type is held as a
// sub-directory of that directory and follows it when the host's directory
// changes; any other path is held as an absolute directory. The base
// directory is what "Directory Info" answers for the type (empty without a
// type); the service is held only during each operation that asks it.
#pragma once

#include <optional>
#include <string>

#include "lwio.h"
#include "path_separator.h"

namespace korvalith {

// The file name with everything from its last "." replaced by extension
// (which carries its own dot); a name without "." just gets it appended.
std::string replaceExtension(const std::string& fileName, const std::string& extension);

// Host saver names end in their extension in parentheses, e.g.
// "Targa (.tga)": the text between the last "(" and the last ")", or empty
// when the name has no such pair.
std::string extensionOfSaver(const char* saverName);

// The part of path below directory, when path lies below it at a separator
// boundary (C:\Content2 is not below C:\Content): "" for the directory
// itself; nothing when path lies elsewhere or directory is empty. Trailing
// separators of directory do not count.
std::optional<std::string> pathBelow(const std::string& path, const std::string& directory, char separator);

class ContentPath {
public:
    // directoryType may be null (no base directory). The separator is the
    // platform's unless given.
    explicit ContentPath(const char* directoryType = nullptr, char separator = kPathSeparator);

    void setDirectoryType(const char* directoryType);
    char separator() const { return separator_; }

    // The parts. Changing one makes the full path no longer current.
    const std::string& fileName() const { return fileName_; }
    const std::string& subDirectory() const { return subDirectory_; }
    bool relative() const { return relative_; }
    void setFileName(const std::string& name);
    void setSubDirectory(const std::string& dir, bool relative);

    // The full path as last given or built, and whether it matches the parts.
    const std::string& fullPath() const { return fullPath_; }
    bool fullPathCurrent() const { return fullPathCurrent_; }
    // Sets the full path as given; splitPath() derives the parts from it.
    void setFullPath(const std::string& path);

    // File name = after the last separator; the directory before it is made
    // relative when it is the base directory or lies below it (the rest
    // starting at a separator), otherwise kept absolute.
    void splitPath();
    // The path built from the parts: base directory (when relative), the
    // sub-directory and the file name, joined by single separators.
    const std::string& composePath();
    // Full path := composePath(), now current.
    void composeFullPath();
    // Changes the file name's extension.
    void replaceExtension(const std::string& extension);

    // Takes text as the full path when a file or directory exists there,
    // else when one exists at base directory + separator + text. False,
    // and nothing changed, when neither exists.
    bool setPathFromFile(const std::string& text);

    // The path as one string at the state's position: load reads at most
    // 1023 characters and takes them with setPathFromFile (an empty string
    // changes nothing); save writes composePath().
    bool load(const LWLoadState* state);
    void save(const LWSaveState* state);

    // What "Directory Info" answers for the type now; empty without a type,
    // a host or an answer.
    std::string baseDirectory() const;

private:
    void splitWith(const std::string& base);
    std::string composeWith(const std::string& base) const;

    std::string directoryType_;
    bool hasType_ = false;
    char separator_;
    std::string fileName_;
    std::string subDirectory_;
    std::string fullPath_;
    std::string composed_;
    bool fullPathCurrent_ = false;
    bool relative_ = true;
};

}  // namespace korvalith
