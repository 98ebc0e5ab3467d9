// The web engine, loaded on first use.
//
// Qt WebEngine and Qt WebChannel cost tens of megabytes once mapped, so the program is not
// linked against them: the host that uses them (WebHost) lives in a module of its own,
// loaded the first time a host is made, and its pages are drawn in software, without loading
// OpenGL. The module
// sits in the executable's own folder (the build tree, the tests) or in ../lib/orvanta5
// beside it (an installed program). Once loaded it stays loaded; UI thread only.
#pragma once

#include <string>

class QWidget;

namespace orv {

class WebHost;

// The program's pages are small and mostly still: they are drawn in software, by Qt Quick's
// software renderer and, following it, by the engine without its GPU process, so that
// neither an OpenGL driver (with a software rasteriser, the largest part of the engine's cost
// in memory) nor a shared OpenGL context is loaded for them. This chooses so through Qt's
// environment settings, which Qt reads when the engine starts; a scene graph backend the
// user chose there is kept (with OpenGL unless it is the software one). Changing the
// environment is safe only while no other thread runs: call it at start-up, before the
// program's threads are made. LoadWebEngine calls it too, for programs that did not.
void ChooseWebRendering();

// Where the module is found; empty when it is not there. Loads nothing.
std::string FindWebModule();

// Whether a web page can be shown here: the engine's helper process and the module are
// installed. Loads nothing.
bool IsWebEngineInstalled();

// Loads the module (once; later calls report the first result). False, with the reason in
// `error`, when it cannot be loaded.
bool LoadWebEngine(std::string* error = nullptr);
bool IsWebEngineLoaded();

// A new host inside `parent`, loading the module first; null when it cannot be loaded.
WebHost* CreateWebHost(QWidget* parent);

}  // namespace orv
