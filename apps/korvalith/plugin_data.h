// A plug-in's data in a scene file: its blocks in the host's text form,
// with image file names relative to the scene's folder. Loading makes them
// absolute and remembers which were relative; saving writes those relative
// to the saved file's folder again.
#pragma once

#include <functional>
#include <string>

#include "host.h"
#include "lwhandler.h"
#include "scene_json.h"

namespace korvalith::app {

struct SceneFile;

// Loads a text into a plug-in: an error text, or "" when it loaded.
using TextLoader = std::function<std::string(const std::string& text)>;

// Loads a plug-in's data text through load, its relative image names made
// absolute in the scene's folder. An error load returns, or an error or
// question the plug-in shows the user meanwhile, refuses the scene at the
// place at; who (e.g. `surface "Planet", node "Texture (1)": `) stands
// before the reason. Empty data loads nothing.
void loadPluginText(const Reader& r, hostsim::Host& host, SceneFile& scene, std::string data, const std::string& at,
                    const std::string& who, const TextLoader& load);

// An instance's load callback fed with the text: its error, the text's, or "".
std::string loadInstance(const LWInstanceFuncs* funcs, LWInstance instance, const std::string& text);

// A plug-in's saved text as the scene file at folder writes it.
std::string writtenData(const SceneFile& scene, const std::string& text, const std::string& folder);

// An instance's data as it saves it now, as the scene file at folder writes
// it; kind names the server's kind in messages. Throws SceneError.
std::string savedData(const SceneFile& scene, const LWInstanceFuncs* funcs, LWInstance instance, const char* kind,
                      const std::string& server, const std::string& folder);

// path as the saved file should name it: relative to folder when it was
// written relative.
std::string written(const std::string& path, bool relative, const std::string& folder);

}  // namespace korvalith::app
